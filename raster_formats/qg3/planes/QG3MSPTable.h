#pragma once
// A subblock position table: where the first item of each subblock with data lies in the plane
// data. Filled by the plane store during its one scan, then only searched. Every byte a table
// allocates is counted against a cap, so that no geometry or plane data can make it grow
// without bound: passing the cap is out of memory (KV_QG3_OUT_OF_MEMORY).

#include "qg3/planes/QG3SubblockKey.h"
#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class QG3FilePlaneReader;
class QG3ImageInfo;

// The most a position table may hold.
inline constexpr std::uint64_t QG3_MSP_TABLE_MEMORY_CAP = std::uint64_t(1) << 30;

class QG3MSPTable {
public:
    QG3MSPTable(const QG3ImageInfo& info, std::uint64_t memoryCap)
        : info_(&info), memoryCap_(memoryCap) {}
    QG3MSPTable(const QG3MSPTable&) = delete;
    QG3MSPTable& operator=(const QG3MSPTable&) = delete;
    virtual ~QG3MSPTable() = default;

    // Records the position of key's subblock when it has none yet; keys outside the image are
    // passed over.
    virtual KVStatus insert(const QG3SubblockKey& key, const QG3SubblockPosition& position) = 0;
    // Finds key's subblock. found: the position and the key of the item it stands at (the
    // subblock's, with the band and plane found); a key band of 65535 and plane of 255 take any.
    // Not finding is no failure.
    virtual KVStatus find(const QG3SubblockKey& key, QG3FilePlaneReader& reader, bool& found,
                          QG3SubblockKey& at, QG3SubblockPosition& position) = 0;

    // Bytes allocated by the table.
    std::uint64_t getMemory() const { return memory_; }

protected:
    // Counts bytes against the cap; false when they would pass it.
    bool reserve(std::uint64_t bytes) {
        if (bytes > memoryCap_ - memory_) return false;
        memory_ += bytes;
        return true;
    }

    const QG3ImageInfo* info_;

private:
    std::uint64_t memoryCap_;
    std::uint64_t memory_ = 0;
};

} // namespace Korvel
