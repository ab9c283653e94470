#pragma once
// A packet of a generation-3/4 file: a stored object whose type is a packet header.

#include "DBObject.h"
#include "QG3PacketType.h"

#include <cstdint>

namespace Korvel {

class QG3Packet : public DBObject {
public:
    explicit QG3Packet(const DBObjectType& type) : DBObject(type) {}

    virtual bool isEqual(const QG3Packet& other) const = 0;

    // Null when the packet has no type.
    const QG3PacketType* getType() const;
    std::uint32_t getPacketType() const;
    std::uint8_t getFlag1() const;
    std::uint8_t getFlag2() const;
};

} // namespace Korvel
