#include "QG3PacketDB.h"

#include "QG3ContentsPacket.h"
#include "QG3HeaderPacket.h"
#include "QG3MetadataPacket.h"
#include "QG3PacketType.h"
#include "QG3PlanesetPacket.h"
#include "QG3QG2Packet.h"
#include "QG3UnknownPacket.h"

#include <algorithm>
#include <new>

namespace Korvel {

namespace {

std::uint64_t indexKey(std::uint32_t packetType, std::uint32_t imageNumber) {
    return std::uint64_t{packetType} << 32 | imageNumber;
}

} // namespace

KVStatus QG3PacketDB::read(KVIOStreamInf* stream) {
    KVStatus status = readFileHeader(stream, version_);
    if (status != KV_OK) return status;
    status = DB::read(stream, -1);
    buildIndex();
    return status;
}

void QG3PacketDB::buildIndex() {
    index_.clear();
    indexed_ = false;
    try {
        index_.reserve(getObjects().size());
        for (DBObjectProxy* proxy : getObjects().items())
            if (const auto* type = dynamic_cast<const QG3PacketType*>(proxy->getType()))
                index_.emplace_back(indexKey(type->packetType, type->imageNumber), proxy);
        std::stable_sort(index_.begin(), index_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        indexed_ = true;
    } catch (const std::bad_alloc&) {
        // Without the index every search walks the list.
        index_.clear();
        index_.shrink_to_fit();
    }
}

// The packets of the pattern's type whose image number is the pattern's or the wildcard (a
// stored header may carry it); exactly one of them must match, as in findOne.
DBObjectProxy* QG3PacketDB::findIndexed(const QG3PacketType& pattern) const {
    DBObjectProxy* found = nullptr;
    std::size_t matches = 0;
    for (const std::uint32_t image : {pattern.imageNumber, QG3_ANY}) {
        const std::uint64_t key = indexKey(pattern.packetType, image);
        auto it =
            std::lower_bound(index_.begin(), index_.end(), key,
                             [](const auto& entry, std::uint64_t k) { return entry.first < k; });
        for (; it != index_.end() && it->first == key; ++it) {
            DBObjectProxy* proxy = it->second;
            if (proxy->getType() == nullptr || !pattern.matches(*proxy->getType())) continue;
            found = proxy;
            if (++matches > 1) return nullptr;
        }
    }
    return found;
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
    if (indexed_ && pattern.packetType != QG3_ANY && pattern.imageNumber != QG3_ANY)
        proxy = findIndexed(pattern);
    else
        findOne(pattern, proxy, &QG3PacketType::compare);
    if (proxy == nullptr) return KV_OK;
    DBObject* object = nullptr;
    const KVStatus status = proxy->getObject(object);
    packet = dynamic_cast<QG3Packet*>(object);
    return status;
}

} // namespace Korvel
