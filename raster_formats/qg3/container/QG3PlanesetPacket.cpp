#include "qg3/container/QG3PlanesetPacket.h"

#include "qg3/container/QG3Status.h"
#include "streams/KVIOBodyReader.h"

#include <new>

namespace Korvel {

DBObject* QG3PlanesetPacket::clone() const {
    const DBObjectType* type = getObjectType();
    if (type == nullptr) return nullptr;
    auto* copy = new (std::nothrow) QG3PlanesetPacket(*type);
    if (copy != nullptr) {
        copy->planesetKind = planesetKind;
        copy->planesetLayout = planesetLayout;
        copy->planesetTotal = planesetTotal;
    }
    return copy;
}

KVStatus QG3PlanesetPacket::readBody(KVIOStreamInf* stream, std::int64_t length) {
    if (getFlag1() != 0 || getFlag2() > 1) return KV_QG3_BAD_FORMAT;
    KVIOBodyReader in(stream, KVIOBodyReader::kHere, length, KV_QG3_READ_FAILED,
                      KV_QG3_SEEK_FAILED);
    std::uint8_t kind = 0;
    std::uint8_t layout = 0;
    KVStatus status = KV_OK;
    if ((status = in.read(kind)) != KV_OK || (status = in.read(layout)) != KV_OK ||
        (status = in.read(planesetTotal)) != KV_OK)
        return status;
    planesetKind = kind;
    planesetLayout = layout;
    planeDataStart = stream->tell();
    if (planeDataStart < 0) return KV_QG3_READ_FAILED;
    // The ten bytes just read belong to the body as well.
    planeDataEnd = length < 0 ? -1 : planeDataStart - 10 + length;
    return KV_OK;
}

KVStatus QG3PlanesetPacket::writeBody(KVIOStreamInf* stream, std::int64_t /*headerPos*/) {
    const std::int64_t position = stream->tell();
    if (position < 0) return KV_QG3_WRITE_FAILED;
    return writePlaneData(stream, position);
}

KVStatus QG3PlanesetPacket::writePlaneData(KVIOStreamInf* /*stream*/, std::int64_t /*position*/) {
    return KV_QG3_NOT_SUPPORTED;
}

bool QG3PlanesetPacket::isEqual(const QG3Packet& other) const {
    const auto* o = dynamic_cast<const QG3PlanesetPacket*>(&other);
    return o != nullptr && other.getPacketType() == QG3_PACKET_PLANESET &&
           planesetKind == o->planesetKind && planesetLayout == o->planesetLayout &&
           planesetTotal == o->planesetTotal;
}

} // namespace Korvel
