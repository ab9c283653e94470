#pragma once
// A packet of a generation-3/4 file: a stored object whose type is a packet header.

#include "qg3/container/DBObject.h"
#include "qg3/container/QG3PacketType.h"

#include <cstdint>

namespace Korvel {

class QG3Packet : public DBObject {
public:
    // A packet header is kept in the packet itself; another type is cloned (and getType is null).
    explicit QG3Packet(const DBObjectType& type);

    virtual bool isEqual(const QG3Packet& other) const = 0;

    // Null when the packet has no type.
    const QG3PacketType* getType() const;
    std::uint32_t getPacketType() const;
    std::uint8_t getFlag1() const;
    std::uint8_t getFlag2() const;

private:
    // packetType: type as a packet header, or null.
    QG3Packet(const DBObjectType& type, const QG3PacketType* packetType);

    // The packet's copy of its header, as QG3PacketType::clone makes it (without keyC).
    QG3PacketType ownType_;
};

} // namespace Korvel
