#pragma once
// A colour map shaped like a pixel: for each band of the pixel, tableSize entries of the pixel's
// data type, stored band by band (all entries of band 0, then band 1, ...).

#include "model/KVIPixel.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Korvel {

class KVIPixelLookupTable : public KVIPixel {
public:
    // Zeroed entries. A table too large to hold throws KVUtilException with KV_OUT_OF_MEMORY.
    KVIPixelLookupTable(const KVIPixel& pixel, std::uint32_t tableSize);
    KVIPixelLookupTable(const KVIPixelLookupTable& other);
    KVIPixelLookupTable& operator=(const KVIPixelLookupTable& other);
    ~KVIPixelLookupTable() override = default;

    std::uint32_t getTableSize() const { return tableSize_; }
    // Bytes of the whole table: bands x bytes per sample x table size.
    std::size_t getEntriesSize() const { return entries_.size(); }
    const std::uint8_t* getEntries() const { return entries_.data(); }
    std::uint8_t* getEntries() { return entries_.data(); }
    // Copies getEntriesSize() bytes; a null source does nothing.
    void setEntries(const void* bytes);

private:
    std::uint32_t tableSize_;
    std::vector<std::uint8_t> entries_;
};

} // namespace Korvel
