#include "qg3/container/QG3QG2Packet.h"

#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3StreamIO.h"
#include "support/KVStatusGuard.h"

#include <new>

namespace Korvel {

DBObject* QG3QG2Packet::clone() const {
    const DBObjectType* type = getObjectType();
    if (type == nullptr) return nullptr;
    auto* copy = new (std::nothrow) QG3QG2Packet(*type);
    if (copy != nullptr) {
        copy->start = start;
        copy->end = end;
    }
    return copy;
}

KVStatus QG3QG2Packet::readBody(KVIOStreamInf* stream, std::int64_t length) {
    const std::int64_t at = stream->tell();
    if (at < 0) return KV_QG3_READ_FAILED;
    std::int64_t size = 0;
    KV_RETURN_IF_FAILED(qg3io::resolveBodyLength(stream, length, size));
    start = static_cast<std::uint64_t>(at);
    end = start + static_cast<std::uint64_t>(size);
    return KV_OK;
}

KVStatus QG3QG2Packet::writeBody(KVIOStreamInf* /*stream*/, std::int64_t /*headerPos*/) {
    return KV_QG3_NOT_SUPPORTED;
}

bool QG3QG2Packet::isEqual(const QG3Packet& other) const {
    const auto* o = dynamic_cast<const QG3QG2Packet*>(&other);
    return o != nullptr && other.getPacketType() == QG3_PACKET_QG2 && start == o->start &&
           end == o->end;
}

} // namespace Korvel
