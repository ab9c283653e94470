#include "qg3/container/QG3FileSimpleContainer.h"

#include "qg3/container/QG3PacketDB.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3QG2Packet.h"
#include "qg3/container/QG3Status.h"
#include "streams/KVIOStreamUtils.h"
#include "streams/KVIOSubStream.h"
#include "support/KVStatusGuard.h"

#include <memory>

namespace Korvel {

QG3FileSimpleContainer::QG3FileSimpleContainer(KVIOStreamInf* stream, bool keepOpen)
    : stream_(stream), buffered_(stream), keepOpen_(keepOpen) {}

QG3FileSimpleContainer::~QG3FileSimpleContainer() = default;

KVStatus QG3FileSimpleContainer::open() {
    if (stream_ == nullptr) return KV_BAD_ARGUMENT;
    KV_RETURN_IF_FAILED(openStream());
    KVStatus status = QG3Container::open();
    if (status == KV_OK) {
        endPosition_ = buffered_.tell();
        if (endPosition_ < 0) status = KV_QG3_READ_FAILED;
    }
    const KVStatus closed = closeStream();
    return status != KV_OK ? status : closed;
}

KVStatus QG3FileSimpleContainer::readDatabase() {
    KV_RETURN_IF_FAILED(buffered_.seek(0, KVIO_SEEK_SET));
    getDatabase()->setReadAhead(&buffered_);
    return getDatabase()->read(stream_);
}

KVStatus QG3FileSimpleContainer::openStream() {
    return buffered_.isOpen() ? KV_OK : buffered_.open();
}

KVStatus QG3FileSimpleContainer::closeStream() {
    // A stream kept open is left where the reads of the access left it all the same.
    if (keepOpen_ || !buffered_.isOpen()) {
        buffered_.settle();
        return KV_OK;
    }
    return buffered_.close();
}

KVIOStreamInf* QG3FileSimpleContainer::duplicateStream() {
    return duplicateAtPosition(&buffered_);
}

KVStatus QG3FileSimpleContainer::getQG2ImageStream(std::uint32_t imageNumber,
                                                   KVIOStreamInf*& stream) {
    stream = nullptr;
    KV_RETURN_IF_FAILED(openStream());
    QG3Packet* packet = nullptr;
    const KVStatus status =
        findPacket(QG3PacketType(QG3_PACKET_QG2, 0, 0, imageNumber, 0, 0), packet);
    const KVStatus closed = closeStream();
    KV_RETURN_IF_FAILED(status);
    KV_RETURN_IF_FAILED(closed);
    const auto* qg2 = dynamic_cast<const QG3QG2Packet*>(packet);
    if (qg2 == nullptr) return KV_QG3_NO_OBJECT;

    std::unique_ptr<KVIOStreamInf> duplicate(duplicateStream());
    if (!duplicate) return KV_FAILURE;
    std::unique_ptr<KVIOSubStream> range;
    KV_RETURN_IF_FAILED(
        kvGuard([&] { range = std::make_unique<KVIOSubStream>(); }, KV_QG3_OUT_OF_MEMORY));
    KV_RETURN_IF_FAILED(range->initialize(duplicate.get(), static_cast<std::int64_t>(qg2->start),
                                          static_cast<std::int64_t>(qg2->end), true));
    duplicate.release();
    stream = range.release();
    return KV_OK;
}

} // namespace Korvel
