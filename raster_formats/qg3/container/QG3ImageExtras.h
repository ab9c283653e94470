#pragma once
// Per-image extras carried by a metadata packet: georeferencing, a spare word, and the no-data
// and background pixels.

#include "model/KVIPixel.h"
#include "streams/KVIOStreamInf.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class QG3ImageExtras {
public:
    // Presence bits of the record's first byte.
    static constexpr std::uint8_t HAS_GEOREF = 0x1;
    static constexpr std::uint8_t HAS_WORD = 0x2;
    static constexpr std::uint8_t HAS_NO_DATA = 0x4;
    static constexpr std::uint8_t HAS_BACKGROUND = 0x8;

    std::uint8_t presence = 0;
    bool hasGeoref = false;
    // x origin d0, y origin d1, x resolution d4, y resolution d5; d2 and d3 are not used.
    double geo[6] = {0, 0, 0, 0, 0, 0};
    std::uint32_t word = 0;
    std::unique_ptr<KVIPixel> noDataPixel;
    std::unique_ptr<KVIPixel> backgroundPixel;
};

// Reads an extras record from the stream's position; the pixels take the colour space of the
// image's colour-space code. KV_QG3_READ_FAILED short, KV_QG3_BAD_EXTRAS presence byte above 15,
// KV_QG3_OUT_OF_MEMORY when out of memory.
KVStatus readImageExtras(KVIOStreamInf* stream, std::uint32_t colorSpaceCode,
                         QG3ImageExtras& extras);
// The same from a record of count bytes in memory.
KVStatus readImageExtras(const std::uint8_t* bytes, std::uint32_t count,
                         std::uint32_t colorSpaceCode, QG3ImageExtras& extras);

} // namespace Korvel
