#pragma once
// The packet database of a generation-3/4 file: the 8-byte file header, then the packets.

#include "DB.h"
#include "QG3FileHeader.h"

#include <cstdint>
#include <utility>
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

    // The one packet matching the pattern, loaded; null when none or several match. The status is
    // that of loading it. A pattern of one packet type and one image number is looked up in an
    // index of the packets read, so that a query per image costs no walk of the whole file.
    KVStatus findPacket(const QG3PacketType& pattern, QG3Packet*& packet);

    const QG3FileVersion& getFileVersion() const { return version_; }

private:
    // The packets sorted by packet type and image number, in file order within each pair: one
    // entry of 16 bytes per packet, so that a file of many small images stays small in memory.
    void buildIndex();
    DBObjectProxy* findIndexed(const QG3PacketType& pattern) const;

    QG3FileVersion version_ = QG3_VERSION_GEN4_RASTER;
    std::vector<std::pair<std::uint64_t, DBObjectProxy*>> index_;
    bool indexed_ = false;
};

} // namespace Korvel
