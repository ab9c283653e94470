#pragma once
// The subtractive dither of generation-2 band 0: a fixed tile of 128 x 128 single-precision values
// spread uniformly over [-0.25, 0.25), repeated over the subband. The tile is generated at compile
// time, so decoded values are the same on every build and every run:
//
//   x(0) = 0x51A7D17E;  x(n + 1) = (1664525 x(n) + 1013904223) mod 2^32
//   tile[row][column] = (x(1 + 128 row + column) >> 8) x 2^-25 - 0.25
//
// Each value is a multiple of 2^-25 and exact in single precision.

#include <cstdint>

namespace Korvel {

class QG2DitherTile {
public:
    static constexpr std::uint32_t kSize = 128;
    // The tile value at (row mod 128, column mod 128).
    static float value(std::uint64_t row, std::uint64_t column);
    // The 128 values of a tile row.
    static const float* row(std::uint64_t row);
};

// Where a rectangle of dequantised coefficients lies for the dither: the subband's two dither
// offsets and the rectangle's first column and row in subband coordinates.
struct QG2Dither {
    std::uint32_t columnOffset = 0;
    std::uint32_t rowOffset = 0;
    std::uint32_t column = 0;
    std::uint32_t row = 0;
};

} // namespace Korvel
