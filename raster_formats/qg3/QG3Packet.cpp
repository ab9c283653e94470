#include "QG3Packet.h"

namespace Korvel {

const QG3PacketType* QG3Packet::getType() const {
    return dynamic_cast<const QG3PacketType*>(getObjectType());
}

std::uint32_t QG3Packet::getPacketType() const {
    const QG3PacketType* type = getType();
    return type ? type->packetType : QG3_ANY;
}

std::uint8_t QG3Packet::getFlag1() const {
    const QG3PacketType* type = getType();
    return type ? type->flag1 : 0;
}

std::uint8_t QG3Packet::getFlag2() const {
    const QG3PacketType* type = getType();
    return type ? type->flag2 : 0;
}

} // namespace Korvel
