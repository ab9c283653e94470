#include "QG3MetadataPacket.h"

#include "QG3Status.h"
#include "QG3StreamIO.h"

#include <cstring>
#include <new>

namespace Korvel {

DBObject* QG3MetadataPacket::clone() const {
    const DBObjectType* type = getObjectType();
    if (type == nullptr) return nullptr;
    std::unique_ptr<QG3MetadataPacket> copy(new (std::nothrow) QG3MetadataPacket(*type));
    if (!copy) return nullptr;
    if (count_ > 0) {
        copy->bytes_.reset(new (std::nothrow) std::uint8_t[count_]);
        if (!copy->bytes_) return nullptr;
        std::memcpy(copy->bytes_.get(), bytes_.get(), count_);
    }
    copy->count_ = count_;
    return copy.release();
}

KVStatus QG3MetadataPacket::readBody(KVIOStreamInf* stream, std::int64_t length) {
    bodyOffset_ = stream->tell();
    if (bodyOffset_ < 0) return KV_QG3_READ_FAILED;
    bodyLength_ = length;
    fromFile_ = true;
    // N is checked against the bytes that are there before it sizes anything.
    std::int64_t available = 0;
    KVStatus status = qg3io::resolveBodyLength(stream, length, available);
    if (status != KV_OK) return status;
    qg3io::BodyReader in(stream, available);
    std::uint32_t count = 0;
    if ((status = in.read(count)) != KV_OK) return status;
    if (!in.has(count)) return KV_QG3_READ_FAILED;
    std::unique_ptr<std::uint8_t[]> bytes;
    if (count > 0) {
        bytes.reset(new (std::nothrow) std::uint8_t[count]);
        if (!bytes) return KV_QG3_OUT_OF_MEMORY;
        if ((status = in.readBytes(bytes.get(), count)) != KV_OK) return status;
    }
    bytes_ = std::move(bytes);
    count_ = count;
    return KV_OK;
}

KVStatus QG3MetadataPacket::writeBody(KVIOStreamInf* stream, std::int64_t /*headerPos*/) {
    if (!qg3io::writeBE(stream, count_, 4)) return KV_QG3_WRITE_FAILED;
    if (count_ > 0 && stream->write(bytes_.get(), count_) != count_) return KV_QG3_WRITE_FAILED;
    return KV_OK;
}

bool QG3MetadataPacket::isEqual(const QG3Packet& other) const {
    const auto* o = dynamic_cast<const QG3MetadataPacket*>(&other);
    return o != nullptr && other.getPacketType() == QG3_PACKET_METADATA && count_ == o->count_ &&
           (count_ == 0 || std::memcmp(bytes_.get(), o->bytes_.get(), count_) == 0);
}

} // namespace Korvel
