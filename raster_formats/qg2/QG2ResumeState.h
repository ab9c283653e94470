#pragma once
// Where the decoding of a coded block stopped when only its upper part was wanted: the next
// strip's decode continues from here instead of starting the block again.

#include <cstdint>

namespace Korvel {

struct QG2ResumeState {
    // Index within the block's bytes of the byte being read (2 or more: after the 0xFF 0xA3).
    std::uint32_t bytePosition = 0;
    // The byte being read, as found at bytePosition.
    std::uint32_t currentByte = 0;
    // Bits of that byte already consumed, 0 to 7.
    std::uint32_t bitPosition = 0;
    // The coefficient position reached, in the block's raster order.
    std::uint32_t coefficientPosition = 0;

    bool operator==(const QG2ResumeState&) const = default;
};

} // namespace Korvel
