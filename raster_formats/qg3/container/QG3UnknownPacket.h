#pragma once
// Packet type 0: a body this reader does not interpret, kept and written back unchanged.

#include "qg3/container/QG3Packet.h"
#include "qg3/container/QG3PacketBytes.h"

#include <cstdint>

namespace Korvel {

class QG3UnknownPacket : public QG3Packet {
public:
    explicit QG3UnknownPacket(const DBObjectType& type) : QG3Packet(type) {}

    DBObject* clone() const override;
    // KV_QG3_READ_FAILED when the stream does not hold length bytes, KV_QG3_OUT_OF_MEMORY when they
    // cannot be held.
    KVStatus readBody(KVIOStreamInf* stream, std::int64_t length) override;
    KVStatus writeBody(KVIOStreamInf* stream, std::int64_t headerPos) override;
    bool isEqual(const QG3Packet& other) const override;

    std::uint32_t getCount() const { return bytes_.count(); }
    const std::uint8_t* getBytes() const { return bytes_.data(); }

private:
    QG3PacketBytes bytes_;
};

} // namespace Korvel
