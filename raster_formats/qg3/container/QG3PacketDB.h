#pragma once
// The packet database of a generation-3/4 file: the 8-byte file header, then the packets.

#include "qg3/container/DB.h"
#include "qg3/container/QG3FileHeader.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class QG3Packet;
class QG3PacketType;

class QG3PacketDB : public DB {
public:
    // A new database carries the generation-4 raster version.
    QG3PacketDB() = default;

    using DB::read;
    // Reads and checks the file header, then every packet after it.
    KVStatus read(KVIOStreamInf* stream) override;
    KVStatus write(KVIOStreamInf* stream) override;
    // Packet type 0, wildcard keys, both flags 0xFF.
    DBObjectType* createType() const override;
    // The packet for the header's type; null for types 3, 5 and 8 to 15.
    DBObject* createObject(const DBObjectType& type) override;
    // Packet type 6 with flag1 = 1.
    bool isContentsType(const DBObjectType& type) const override;
    // Header, metadata and planeset packets.
    bool readsBodyInOrder(const DBObjectType& type) const override;

    // The one packet matching the pattern, loaded; null when none or several match. The status is
    // that of loading it. A pattern of one packet type and one image number is looked up in an
    // index of the packets read, so that a query per image costs no walk of the whole file.
    KVStatus findPacket(const QG3PacketType& pattern, QG3Packet*& packet);
    // The same packet read afresh and owned by the caller, who drops it when done: no proxy is
    // made and nothing stays loaded. Null and 0 when none or several match.
    KVStatus readPacket(const QG3PacketType& pattern, std::unique_ptr<QG3Packet>& packet);
    // The header of packet i.
    QG3PacketType getPacketType(std::size_t i) const;
    // Whether a packet with exactly these type, keys and image number is listed.
    bool hasPacket(std::uint32_t packetType, std::uint32_t keyA, std::uint32_t keyB,
                   std::uint32_t imageNumber) const;

    const QG3FileVersion& getFileVersion() const { return version_; }

private:
    // The packets sorted by packet type and image number, in file order within each pair: one
    // entry of 4 bytes per packet, so that a file of many small images stays small in memory.
    void buildIndex();
    // The index and header of the one packet matching the pattern; false when none or several
    // match.
    bool findIndex(const QG3PacketType& pattern, std::size_t& found,
                   QG3PacketType& foundType) const;
    // The first place in the index whose key is not below key.
    std::size_t lowerBound(std::uint64_t key) const;

    QG3FileVersion version_ = QG3_VERSION_GEN4_RASTER;
    std::vector<std::uint32_t> index_;
    // The place of the last lookup of each packet type (modulo 16): images are mostly asked for
    // in order, so the next lookup of a type usually lands at or just after it. Only a hint,
    // read and written without a lock.
    mutable std::array<std::atomic<std::uint32_t>, 16> hints_{};
    // Whether some packet carries the wildcard image number, which every search must then visit.
    bool wildcardImages_ = false;
    bool indexed_ = false;
};

} // namespace Korvel
