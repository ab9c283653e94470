#include "qg3/container/QG3MetadataPacket.h"

#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3StreamIO.h"
#include "support/KVStatusGuard.h"

#include <cstring>
#include <new>

namespace Korvel {

DBObject* QG3MetadataPacket::clone() const {
    const DBObjectType* type = getObjectType();
    if (type == nullptr) return nullptr;
    std::unique_ptr<QG3MetadataPacket> copy(new (std::nothrow) QG3MetadataPacket(*type));
    if (!copy) return nullptr;
    if (!copy->bytes_.copyFrom(bytes_)) return nullptr;
    return copy.release();
}

KVStatus QG3MetadataPacket::readBody(KVIOStreamInf* stream, std::int64_t length) {
    bodyOffset_ = stream->tell();
    if (bodyOffset_ < 0) return KV_QG3_READ_FAILED;
    bodyLength_ = length;
    fromFile_ = true;
    // N is checked against the bytes that are there before it sizes anything.
    std::int64_t available = 0;
    KV_RETURN_IF_FAILED(qg3io::resolveBodyLength(stream, length, available));
    KVIOBodyReader in(stream, KVIOBodyReader::kHere, available, KV_QG3_READ_FAILED,
                      KV_QG3_SEEK_FAILED);
    std::uint32_t count = 0;
    KV_RETURN_IF_FAILED(in.read(count));
    if (!in.has(count)) return KV_QG3_READ_FAILED;
    return bytes_.assign(count, KV_QG3_OUT_OF_MEMORY,
                         [&](std::uint8_t* out) { return in.read(out, count); });
}

KVStatus QG3MetadataPacket::writeBody(KVIOStreamInf* stream, std::int64_t /*headerPos*/) {
    if (!writeBE(stream, bytes_.count(), 4)) return KV_QG3_WRITE_FAILED;
    return bytes_.write(stream) ? KV_OK : KV_QG3_WRITE_FAILED;
}

bool QG3MetadataPacket::isEqual(const QG3Packet& other) const {
    const auto* o = dynamic_cast<const QG3MetadataPacket*>(&other);
    return o != nullptr && other.getPacketType() == QG3_PACKET_METADATA && bytes_ == o->bytes_;
}

} // namespace Korvel
