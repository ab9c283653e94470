#include "qg3/container/QG3Packet.h"

namespace Korvel {

namespace {

QG3PacketType copyOf(const QG3PacketType* from) {
    QG3PacketType copy =
        from ? *from : QG3PacketType(QG3_PACKET_UNKNOWN, QG3_ANY, QG3_ANY, QG3_ANY, 0xFF, 0xFF);
    copy.keyC = 0;
    return copy;
}

} // namespace

QG3Packet::QG3Packet(const DBObjectType& type)
    : QG3Packet(type, QG3PacketType::asPacketType(type)) {}

QG3Packet::QG3Packet(const DBObjectType& type, const QG3PacketType* packetType)
    : DBObject(type, packetType ? &ownType_ : nullptr), ownType_(copyOf(packetType)) {}

const QG3PacketType* QG3Packet::getType() const {
    // A type of another kind was cloned instead of kept.
    return getObjectType() == &ownType_ ? &ownType_ : nullptr;
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
