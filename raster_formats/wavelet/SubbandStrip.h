#pragma once
// The decoded coefficients of one row of subblocks of one subband, over the columns a decode
// asks for: rows y0..y1 (one subblock row) and columns x0..x1, one plane per selected band in one
// block. A strip none of whose subblocks carries data holds no block: its rows are the shared
// row of zeros.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Korvel {

struct SubbandStrip {
    std::uint32_t x0 = 0;
    std::uint32_t x1 = 0;
    std::uint32_t y0 = 0;
    std::uint32_t y1 = 0;
    // Set once every subblock of the strip is decoded (and colour transformed); a strip whose
    // filling failed is never used again.
    bool complete = false;
    bool zero = false;
    std::unique_ptr<std::int32_t[]> block;
    std::size_t capacity = 0; // samples the block holds

    std::size_t width() const { return std::size_t(x1) - x0 + 1; }
    std::size_t height() const { return std::size_t(y1) - y0 + 1; }
    std::size_t planeSize() const { return width() * height(); }
    bool holds(std::uint32_t row, std::uint32_t first, std::uint32_t last) const {
        return complete && first == x0 && last == x1 && row >= y0 && row <= y1;
    }
};

} // namespace Korvel
