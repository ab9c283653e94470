#include "model/KVIPixelLookupTable.h"

#include "support/KVStatusGuard.h"
#include "support/KVUtilException.h"

#include <cstring>
#include <new>

namespace Korvel {

namespace {

// Tables are at most 2 GiB; anything larger is treated as memory that cannot be had.
constexpr std::uint64_t kMaxTableBytes = 0x7FFFFFFF;

std::size_t tableBytes(const KVIPixel& pixel, std::uint32_t tableSize) {
    std::uint64_t perEntry = 0;
    for (std::uint16_t band = 0; band < pixel.getNumBands(); ++band)
        perEntry += pixel.getSample(band).getNumBytes();
    // perEntry < 2^19 and tableSize < 2^32, so the product fits in 64 bits.
    const std::uint64_t total = perEntry * tableSize;
    if (total > kMaxTableBytes) throw KVUtilException(KV_OUT_OF_MEMORY);
    return static_cast<std::size_t>(total);
}

} // namespace

KVIPixelLookupTable::KVIPixelLookupTable(const KVIPixel& pixel, std::uint32_t tableSize)
    : KVIPixel(pixel), tableSize_(tableSize) {
    const std::size_t bytes = tableBytes(pixel, tableSize);
    kvThrowOutOfMemory([&] { entries_.assign(bytes, 0); });
}

KVIPixelLookupTable::KVIPixelLookupTable(const KVIPixelLookupTable& other) try
    : KVIPixel(other), tableSize_(other.tableSize_), entries_(other.entries_) {
} catch (const std::bad_alloc&) {
    throw KVUtilException(KV_OUT_OF_MEMORY);
}

KVIPixelLookupTable& KVIPixelLookupTable::operator=(const KVIPixelLookupTable& other) {
    if (this == &other) return *this;
    kvThrowOutOfMemory([&] {
        // Copy first so that a failed copy leaves this table as it was.
        KVIPixel pixel(other);
        std::vector<std::uint8_t> entries(other.entries_);
        KVIPixel::operator=(pixel);
        entries_.swap(entries);
        tableSize_ = other.tableSize_;
    });
    return *this;
}

void KVIPixelLookupTable::setEntries(const void* bytes) {
    if (bytes != nullptr && !entries_.empty()) std::memcpy(entries_.data(), bytes, entries_.size());
}

} // namespace Korvel
