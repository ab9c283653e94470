#include "QG3PacketDB.h"

#include "QG3ContentsPacket.h"
#include "QG3HeaderPacket.h"
#include "QG3MetadataPacket.h"
#include "QG3PacketType.h"
#include "QG3PlanesetPacket.h"
#include "QG3QG2Packet.h"
#include "QG3UnknownPacket.h"

#include <new>

namespace Korvel {

KVStatus QG3PacketDB::read(KVIOStreamInf* stream) {
    const KVStatus status = readFileHeader(stream, version_);
    return status != KV_OK ? status : DB::read(stream, -1);
}

KVStatus QG3PacketDB::write(KVIOStreamInf* stream) {
    const KVStatus status = writeFileHeader(version_, stream);
    return status != KV_OK ? status : DB::write(stream);
}

DBObjectType* QG3PacketDB::createType() const {
    return new (std::nothrow)
        QG3PacketType(QG3_PACKET_UNKNOWN, QG3_ANY, QG3_ANY, QG3_ANY, 0xFF, 0xFF);
}

DBObject* QG3PacketDB::createObject(const DBObjectType& type) {
    const auto* packetType = dynamic_cast<const QG3PacketType*>(&type);
    if (packetType == nullptr) return nullptr;
    QG3Packet* packet = nullptr;
    switch (packetType->packetType) {
    case QG3_PACKET_UNKNOWN:
        packet = new (std::nothrow) QG3UnknownPacket(type);
        break;
    case QG3_PACKET_HEADER:
        packet = new (std::nothrow) QG3HeaderPacket(type);
        break;
    case QG3_PACKET_METADATA:
        packet = new (std::nothrow) QG3MetadataPacket(type);
        break;
    case QG3_PACKET_PLANESET:
        packet = new (std::nothrow) QG3PlanesetPacket(type);
        break;
    case QG3_PACKET_CONTENTS:
        packet = new (std::nothrow) QG3ContentsPacket(type, this);
        break;
    case QG3_PACKET_QG2:
        packet = new (std::nothrow) QG3QG2Packet(type);
        break;
    default:
        return nullptr;
    }
    // A packet that could not keep its type is as good as none.
    if (packet != nullptr && packet->getObjectType() == nullptr) {
        delete packet;
        return nullptr;
    }
    return packet;
}

bool QG3PacketDB::isContentsType(const DBObjectType& type) const {
    const auto* packetType = dynamic_cast<const QG3PacketType*>(&type);
    return packetType != nullptr && packetType->packetType == QG3_PACKET_CONTENTS &&
           packetType->flag1 == 1;
}

KVStatus QG3PacketDB::findPacket(const QG3PacketType& pattern, QG3Packet*& packet) {
    packet = nullptr;
    DBObjectProxy* proxy = nullptr;
    findOne(pattern, proxy, &QG3PacketType::compare);
    if (proxy == nullptr) return KV_OK;
    DBObject* object = nullptr;
    const KVStatus status = proxy->getObject(object);
    packet = dynamic_cast<QG3Packet*>(object);
    return status;
}

} // namespace Korvel
