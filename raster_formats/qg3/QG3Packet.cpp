#include "QG3Packet.h"

namespace Korvel {

namespace {

const QG3PacketType* asPacketType(const DBObjectType& type) {
    return dynamic_cast<const QG3PacketType*>(&type);
}

QG3PacketType copyOf(const DBObjectType& type) {
    const QG3PacketType* from = asPacketType(type);
    QG3PacketType copy =
        from ? *from : QG3PacketType(QG3_PACKET_UNKNOWN, QG3_ANY, QG3_ANY, QG3_ANY, 0xFF, 0xFF);
    copy.keyC = 0;
    return copy;
}

} // namespace

QG3Packet::QG3Packet(const DBObjectType& type)
    : DBObject(type, asPacketType(type) ? &ownType_ : nullptr), ownType_(copyOf(type)) {}

const QG3PacketType* QG3Packet::getType() const {
    const DBObjectType* type = getObjectType();
    return type == &ownType_ ? &ownType_ : dynamic_cast<const QG3PacketType*>(type);
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
