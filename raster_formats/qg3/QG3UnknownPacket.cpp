#include "QG3UnknownPacket.h"

#include "QG3Status.h"
#include "QG3StreamIO.h"

#include <cstring>
#include <limits>
#include <new>

namespace Korvel {

DBObject* QG3UnknownPacket::clone() const {
    const DBObjectType* type = getObjectType();
    if (type == nullptr) return nullptr;
    std::unique_ptr<QG3UnknownPacket> copy(new (std::nothrow) QG3UnknownPacket(*type));
    if (!copy) return nullptr;
    if (count_ > 0) {
        copy->bytes_.reset(new (std::nothrow) std::uint8_t[count_]);
        if (!copy->bytes_) return nullptr;
        std::memcpy(copy->bytes_.get(), bytes_.get(), count_);
    }
    copy->count_ = count_;
    return copy.release();
}

KVStatus QG3UnknownPacket::readBody(KVIOStreamInf* stream, std::int64_t length) {
    std::int64_t size = 0;
    KVStatus status = qg3io::resolveBodyLength(stream, length, size);
    if (status != KV_OK) return status;
    if (size > std::numeric_limits<std::uint32_t>::max()) return KV_QG3_OUT_OF_MEMORY;
    const auto count = static_cast<std::uint32_t>(size);
    std::unique_ptr<std::uint8_t[]> bytes;
    if (count > 0) {
        bytes.reset(new (std::nothrow) std::uint8_t[count]);
        if (!bytes) return KV_QG3_OUT_OF_MEMORY;
        if (stream->read(bytes.get(), count) != count) return KV_QG3_READ_FAILED;
    }
    bytes_ = std::move(bytes);
    count_ = count;
    return KV_OK;
}

KVStatus QG3UnknownPacket::writeBody(KVIOStreamInf* stream, std::int64_t /*headerPos*/) {
    if (count_ > 0 && stream->write(bytes_.get(), count_) != count_) return KV_QG3_WRITE_FAILED;
    return KV_OK;
}

bool QG3UnknownPacket::isEqual(const QG3Packet& other) const {
    const auto* o = dynamic_cast<const QG3UnknownPacket*>(&other);
    return o != nullptr && other.getPacketType() == QG3_PACKET_UNKNOWN && count_ == o->count_ &&
           (count_ == 0 || std::memcmp(bytes_.get(), o->bytes_.get(), count_) == 0);
}

} // namespace Korvel
