#include "qg3/container/QG3PacketDB.h"

#include "qg3/container/QG3ContentsPacket.h"
#include "qg3/container/QG3HeaderPacket.h"
#include "qg3/container/QG3MetadataPacket.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/container/QG3QG2Packet.h"
#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3UnknownPacket.h"

#include "support/KVStatusGuard.h"

#include <algorithm>
#include <limits>
#include <new>
#include <numeric>

namespace Korvel {

namespace {

std::uint64_t indexKey(std::uint32_t packetType, std::uint32_t imageNumber) {
    return std::uint64_t{packetType} << 32 | imageNumber;
}

std::uint64_t indexKey(const DBObjectKey& key) {
    return indexKey(key.bytes[0], key.words[2]);
}

} // namespace

KVStatus QG3PacketDB::read(KVIOStreamInf* stream) {
    KV_RETURN_IF_FAILED(readFileHeader(through(stream), version_));
    const KVStatus status = DB::read(stream, -1);
    buildIndex();
    return status;
}

QG3PacketType QG3PacketDB::getPacketType(std::size_t i) const {
    QG3PacketType type(QG3_PACKET_UNKNOWN, QG3_ANY, QG3_ANY, QG3_ANY, 0xFF, 0xFF);
    getType(i, type);
    return type;
}

void QG3PacketDB::buildIndex() {
    index_.clear();
    indexed_ = false;
    // The database never lists more than DB_MAX_OBJECTS packets, far below 2^32.
    if (getCount() > std::numeric_limits<std::uint32_t>::max()) return;
    const KVStatus built = kvGuard([&] {
        // Placed by packet type in file order, then each type's run sorted stably by image
        // number, which a file written image by image has already.
        std::array<std::uint32_t, 257> first{};
        for (std::size_t i = 0; i < getCount(); ++i)
            ++first[getKey(i).bytes[0] + 1u];
        std::partial_sum(first.begin(), first.end(), first.begin());
        index_.resize(getCount());
        std::array<std::uint32_t, 256> next;
        std::copy(first.begin(), first.end() - 1, next.begin());
        for (std::size_t i = 0; i < getCount(); ++i)
            index_[next[getKey(i).bytes[0]]++] = static_cast<std::uint32_t>(i);
        const auto byImage = [this](std::uint32_t a, std::uint32_t b) {
            return getKey(a).words[2] < getKey(b).words[2];
        };
        for (std::size_t t = 0; t < 256; ++t) {
            const auto from = index_.begin() + first[t];
            const auto to = index_.begin() + first[t + 1];
            if (!std::is_sorted(from, to, byImage)) std::stable_sort(from, to, byImage);
        }
        wildcardImages_ = false;
        for (std::size_t i = 0; i < getCount() && !wildcardImages_; ++i)
            wildcardImages_ = getKey(i).words[2] == QG3_ANY;
        indexed_ = true;
    });
    if (built != KV_OK) {
        // Without the index every search walks the list.
        index_.clear();
        index_.shrink_to_fit();
    }
}

std::size_t QG3PacketDB::lowerBound(std::uint64_t key) const {
    const auto below = [this](std::uint32_t entry, std::uint64_t k) {
        return indexKey(getKey(entry)) < k;
    };
    const std::size_t n = index_.size();
    std::atomic<std::uint32_t>& hint = hints_[(key >> 32) & 15];
    const std::size_t last = hint.load(std::memory_order_relaxed);
    // The same place as last time, or the next one.
    for (const std::size_t at : {last, last + 1})
        if (at <= n && (at == 0 || below(index_[at - 1], key)) &&
            (at == n || !below(index_[at], key))) {
            hint.store(static_cast<std::uint32_t>(at), std::memory_order_relaxed);
            return at;
        }
    const std::size_t at = static_cast<std::size_t>(
        std::lower_bound(index_.begin(), index_.end(), key, below) - index_.begin());
    hint.store(static_cast<std::uint32_t>(at), std::memory_order_relaxed);
    return at;
}

// The packets of the pattern's type whose image number is the pattern's or the wildcard (a
// stored header may carry it); exactly one of them must match, as in findOne.
bool QG3PacketDB::findIndex(const QG3PacketType& pattern, std::size_t& found,
                            QG3PacketType& foundType) const {
    std::size_t matches = 0;
    QG3PacketType type(QG3_PACKET_UNKNOWN, QG3_ANY, QG3_ANY, QG3_ANY, 0xFF, 0xFF);
    for (const std::uint32_t image : {pattern.imageNumber, QG3_ANY}) {
        if (image == QG3_ANY && !wildcardImages_) break;
        const std::uint64_t key = indexKey(pattern.packetType, image);
        auto it = index_.begin() + static_cast<std::ptrdiff_t>(lowerBound(key));
        for (; it != index_.end() && indexKey(getKey(*it)) == key; ++it) {
            getType(*it, type);
            if (!pattern.matches(type)) continue;
            found = *it;
            foundType = type;
            if (++matches > 1) return false;
        }
    }
    return matches == 1;
}

bool QG3PacketDB::hasPacket(std::uint32_t packetType, std::uint32_t keyA, std::uint32_t keyB,
                            std::uint32_t imageNumber) const {
    const auto same = [&](std::size_t i) {
        const DBObjectKey& key = getKey(i);
        return key.bytes[0] == packetType && key.words[0] == keyA && key.words[1] == keyB &&
               key.words[2] == imageNumber;
    };
    if (!indexed_) {
        for (std::size_t i = 0; i < getCount(); ++i)
            if (same(i)) return true;
        return false;
    }
    const std::uint64_t wanted = indexKey(packetType, imageNumber);
    auto it = index_.begin() + static_cast<std::ptrdiff_t>(lowerBound(wanted));
    for (; it != index_.end() && indexKey(getKey(*it)) == wanted; ++it)
        if (same(*it)) return true;
    return false;
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
    const auto* packetType = QG3PacketType::asPacketType(type);
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
    const auto* packetType = QG3PacketType::asPacketType(type);
    return packetType != nullptr && packetType->packetType == QG3_PACKET_CONTENTS &&
           packetType->flag1 == 1;
}

bool QG3PacketDB::readsBodyInOrder(const DBObjectType& type) const {
    const auto* packetType = QG3PacketType::asPacketType(type);
    if (packetType == nullptr) return false;
    switch (packetType->packetType) {
    case QG3_PACKET_HEADER:
    case QG3_PACKET_METADATA:
    case QG3_PACKET_PLANESET:
        return true;
    default:
        return false;
    }
}

KVStatus QG3PacketDB::findPacket(const QG3PacketType& pattern, QG3Packet*& packet) {
    packet = nullptr;
    DBObjectProxy* proxy = nullptr;
    if (indexed_ && pattern.packetType != QG3_ANY && pattern.imageNumber != QG3_ANY) {
        std::size_t found = 0;
        QG3PacketType type(QG3_PACKET_UNKNOWN, QG3_ANY, QG3_ANY, QG3_ANY, 0xFF, 0xFF);
        if (findIndex(pattern, found, type) && (proxy = getProxy(found)) == nullptr)
            return KV_QG3_OUT_OF_MEMORY;
    } else {
        KV_RETURN_IF_FAILED(findOne(pattern, proxy, &QG3PacketType::compare));
    }
    if (proxy == nullptr) return KV_OK;
    DBObject* object = nullptr;
    const KVStatus status = proxy->getObject(object);
    packet = dynamic_cast<QG3Packet*>(object);
    return status;
}

KVStatus QG3PacketDB::readPacket(const QG3PacketType& pattern, std::unique_ptr<QG3Packet>& packet) {
    packet.reset();
    std::size_t found = 0;
    QG3PacketType foundType(QG3_PACKET_UNKNOWN, QG3_ANY, QG3_ANY, QG3_ANY, 0xFF, 0xFF);
    if (indexed_ && pattern.packetType != QG3_ANY && pattern.imageNumber != QG3_ANY) {
        if (!findIndex(pattern, found, foundType)) return KV_OK;
    } else {
        std::size_t matches = 0;
        QG3PacketType type(QG3_PACKET_UNKNOWN, QG3_ANY, QG3_ANY, QG3_ANY, 0xFF, 0xFF);
        for (std::size_t i = 0; i < getCount() && matches < 2; ++i) {
            getType(i, type);
            if (pattern.matches(type)) {
                found = i;
                foundType = type;
                ++matches;
            }
        }
        if (matches != 1) return KV_OK;
    }
    // The header found is the one the packet is made for: no other is unpacked.
    std::unique_ptr<DBObject> object;
    const KVStatus status = readObject(found, foundType, object);
    packet.reset(dynamic_cast<QG3Packet*>(object.get()));
    if (packet) object.release();
    return status;
}

} // namespace Korvel
