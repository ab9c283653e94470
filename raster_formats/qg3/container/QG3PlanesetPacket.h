#pragma once
// Packet type 4: the plane data of one image, preceded by its order, its layout and its total.
// The plane data stays in the stream; only where it starts is recorded.

#include "qg3/container/QG3Packet.h"

#include <cstdint>

namespace Korvel {

class QG3PlanesetPacket : public QG3Packet {
public:
    explicit QG3PlanesetPacket(const DBObjectType& type) : QG3Packet(type) {}

    // Copies kind, layout and total; not the start of the plane data.
    DBObject* clone() const override;
    // KV_QG3_BAD_FORMAT unless the header's flag1 is 0 and flag2 0 or 1; KV_QG3_READ_FAILED when
    // short.
    KVStatus readBody(KVIOStreamInf* stream, std::int64_t length) override;
    // Plane data cannot be written: KV_QG3_NOT_SUPPORTED.
    KVStatus writeBody(KVIOStreamInf* stream, std::int64_t headerPos) override;
    bool isEqual(const QG3Packet& other) const override;
    virtual KVStatus writePlaneData(KVIOStreamInf* stream, std::int64_t position);

    std::uint32_t planesetKind = 0;
    std::uint32_t planesetLayout = 5;
    std::uint64_t planesetTotal = 0;
    // Stream offset of the first byte of plane data, recorded by readBody.
    std::int64_t planeDataStart = 0;
    // Stream offset just past the body, recorded by readBody; -1 when the body runs to the end
    // of the stream. The plane readers never read beyond it.
    std::int64_t planeDataEnd = -1;
};

} // namespace Korvel
