#include "qg3/container/QG3UnknownPacket.h"

#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3StreamIO.h"
#include "support/KVStatusGuard.h"

#include <cstring>
#include <limits>
#include <new>

namespace Korvel {

DBObject* QG3UnknownPacket::clone() const {
    const DBObjectType* type = getObjectType();
    if (type == nullptr) return nullptr;
    std::unique_ptr<QG3UnknownPacket> copy(new (std::nothrow) QG3UnknownPacket(*type));
    if (!copy) return nullptr;
    if (!copy->bytes_.copyFrom(bytes_)) return nullptr;
    return copy.release();
}

KVStatus QG3UnknownPacket::readBody(KVIOStreamInf* stream, std::int64_t length) {
    std::int64_t size = 0;
    KV_RETURN_IF_FAILED(qg3io::resolveBodyLength(stream, length, size));
    if (size > std::numeric_limits<std::uint32_t>::max()) return KV_QG3_OUT_OF_MEMORY;
    const auto count = static_cast<std::uint32_t>(size);
    return bytes_.assign(count, KV_QG3_OUT_OF_MEMORY, [&](std::uint8_t* out) {
        return stream->read(out, count) == count ? KV_OK : KV_QG3_READ_FAILED;
    });
}

KVStatus QG3UnknownPacket::writeBody(KVIOStreamInf* stream, std::int64_t /*headerPos*/) {
    return bytes_.write(stream) ? KV_OK : KV_QG3_WRITE_FAILED;
}

bool QG3UnknownPacket::isEqual(const QG3Packet& other) const {
    const auto* o = dynamic_cast<const QG3UnknownPacket*>(&other);
    return o != nullptr && other.getPacketType() == QG3_PACKET_UNKNOWN && bytes_ == o->bytes_;
}

} // namespace Korvel
