#include "qg3/container/QG3FileSimpleContainer.h"

#include "qg3/container/QG3PacketDB.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3QG2Packet.h"
#include "qg3/container/QG3Status.h"
#include "streams/KVIOStreamUtils.h"
#include "streams/KVIOSubStream.h"

#include <memory>
#include <new>

namespace Korvel {

QG3FileSimpleContainer::QG3FileSimpleContainer(KVIOStreamInf* stream, bool keepOpen)
    : stream_(stream), keepOpen_(keepOpen) {}

QG3FileSimpleContainer::~QG3FileSimpleContainer() = default;

KVStatus QG3FileSimpleContainer::open() {
    if (stream_ == nullptr) return KV_BAD_ARGUMENT;
    KVStatus status = openStream();
    if (status != KV_OK) return status;
    status = QG3Container::open();
    if (status == KV_OK) {
        endPosition_ = stream_->tell();
        if (endPosition_ < 0) status = KV_QG3_READ_FAILED;
    }
    const KVStatus closed = closeStream();
    return status != KV_OK ? status : closed;
}

KVStatus QG3FileSimpleContainer::readDatabase() {
    if (const KVStatus status = stream_->seek(0, KVIO_SEEK_SET); status != KV_OK) return status;
    return getDatabase()->read(stream_);
}

KVStatus QG3FileSimpleContainer::openStream() {
    return stream_->isOpen() ? KV_OK : stream_->open();
}

KVStatus QG3FileSimpleContainer::closeStream() {
    if (keepOpen_ || !stream_->isOpen()) return KV_OK;
    return stream_->close();
}

KVIOStreamInf* QG3FileSimpleContainer::duplicateStream() {
    return duplicateAtPosition(stream_);
}

KVStatus QG3FileSimpleContainer::getQG2ImageStream(std::uint32_t imageNumber,
                                                   KVIOStreamInf*& stream) {
    stream = nullptr;
    KVStatus status = openStream();
    if (status != KV_OK) return status;
    QG3Packet* packet = nullptr;
    status = findPacket(QG3PacketType(QG3_PACKET_QG2, 0, 0, imageNumber, 0, 0), packet);
    const KVStatus closed = closeStream();
    if (status != KV_OK) return status;
    if (closed != KV_OK) return closed;
    const auto* qg2 = dynamic_cast<const QG3QG2Packet*>(packet);
    if (qg2 == nullptr) return KV_QG3_NO_OBJECT;

    std::unique_ptr<KVIOStreamInf> duplicate(duplicateStream());
    if (!duplicate) return KV_FAILURE;
    std::unique_ptr<KVIOSubStream> range(new (std::nothrow) KVIOSubStream());
    if (!range) return KV_QG3_OUT_OF_MEMORY;
    status = range->initialize(duplicate.get(), static_cast<std::int64_t>(qg2->start),
                               static_cast<std::int64_t>(qg2->end), true);
    if (status != KV_OK) return status;
    duplicate.release();
    stream = range.release();
    return KV_OK;
}

} // namespace Korvel
