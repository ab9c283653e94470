#pragma once
// Names one item of a planeset: a subblock of a subband, and a band and bit plane within it. The
// plane store, its position tables, the plane readers and the description iterators share it.

#include <cstdint>

namespace Korvel {

struct QG3SubblockKey {
    static constexpr std::uint32_t kNoSubblock = 0xFFFFFFFF;
    static constexpr std::uint16_t kAnyBand = 65535; // "none", or "any" when finding
    static constexpr std::uint8_t kNoSubband = 255;
    static constexpr std::uint8_t kAnyPlane = 255; // "none", or "any" when finding

    std::uint32_t subblock = kNoSubblock; // row-major index within the subband
    std::uint16_t band = kAnyBand;
    std::uint8_t subband = kNoSubband;
    std::uint8_t plane = kAnyPlane;

    bool operator==(const QG3SubblockKey&) const = default;
};

// Where the first item of a subblock was found; the meaning of the two offsets belongs to the
// plane reader that recorded them.
struct QG3SubblockPosition {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
};

} // namespace Korvel
