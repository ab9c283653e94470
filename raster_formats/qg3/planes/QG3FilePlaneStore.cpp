#include "qg3/planes/QG3FilePlaneStore.h"

#include "qg3/container/QG3BandSet.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3FilePlaneReader.h"
#include "qg3/planes/QG3FullMSPTable.h"
#include "qg3/planes/QG3PartialMSPTable.h"
#include "qg3/planes/QG3PlaneRecord.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

QG3FilePlaneStore::QG3FilePlaneStore(const QG3ImageInfo& info, std::uint32_t memoryModel,
                                     std::uint64_t memoryCap)
    : QG3PlaneStore(info), memoryModel_(memoryModel), memoryCap_(memoryCap) {}

QG3FilePlaneStore::~QG3FilePlaneStore() = default;

KVStatus QG3FilePlaneStore::initialize(QG3FilePlaneReader& reader) {
    const QG3ImageInfo& info = *info_;
    if (!info.subbands) return KV_QG3_BAD_FORMAT;
    table_.reset();
    lastValid_ = false;
    KVStatus status = kvGuard(
        [&]() -> KVStatus {
            counts_.reset(new std::uint32_t[info.numSubbands]);
            for (std::uint64_t s = 0; s < info.numSubbands; ++s)
                counts_[s] = info.subbands[s].subblockCount();
            if (memoryModel_ == QG3_MEMORY_MODEL_FULL)
                table_ = std::make_unique<QG3FullMSPTable>(info, counts_.get(), memoryCap_);
            else if (memoryModel_ == QG3_MEMORY_MODEL_PARTIAL)
                table_ = std::make_unique<QG3PartialMSPTable>(info, memoryCap_);
            else
                return KV_QG3_NOT_AVAILABLE;
            return KV_OK;
        },
        KV_QG3_OUT_OF_MEMORY);
    KV_RETURN_IF_FAILED(status);

    KV_RETURN_IF_FAILED(reader.openStream());
    status = reader.scan(*this, reader.getPlanesetPacket().planeDataStart);
    const KVStatus closed = reader.closeStream();
    return status != KV_OK ? status : closed;
}

KVStatus QG3FilePlaneStore::insert(const QG3SubblockKey& key, const QG3SubblockPosition& position) {
    if (lastValid_ && key.subblock == last_.subblock && key.subband == last_.subband) return KV_OK;
    last_ = key;
    lastValid_ = true;
    return table_ ? table_->insert(key, position) : KV_QG3_NO_OBJECT;
}

KVStatus QG3FilePlaneStore::find(const QG3SubblockKey& key, QG3FilePlaneReader& reader, bool& found,
                                 QG3SubblockKey& at, QG3SubblockPosition& position) {
    found = false;
    return table_ ? table_->find(key, reader, found, at, position) : KV_OK;
}

KVStatus QG3FilePlaneStore::readSubblock(const QG3SubblockKey& key, const QG3BandSet& bands,
                                         QG3FilePlaneReader& reader, bool& found,
                                         QG3PlaneRecord* records) {
    found = false;
    const std::uint32_t count =
        std::uint32_t(bands.getSetCount()) * QG3PlaneRecord::kRecordsPerBand;
    for (std::uint32_t i = 0; i < count; ++i)
        records[i].reset();
    QG3SubblockKey at;
    QG3SubblockPosition position;
    KV_RETURN_IF_FAILED(find(key, reader, found, at, position));
    if (!found) return KV_OK;
    return reader.readSubblock(position, at, bands, records);
}

} // namespace Korvel
