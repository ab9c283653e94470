#pragma once
// The decoded coefficients of one row of subblocks of one subband, over the columns a decode
// asks for: rows y0..y1 (one subblock row) and columns x0..x1, every selected band. A strip none
// of whose subblocks carries data holds nothing: its rows are handed out as null.
//
// The coefficients are kept compact, one tile per subblock column: each tile stores its part of
// the strip with the fewest bytes per coefficient that hold every value of it (one or two for
// most subblocks of 8-bit content, four only where a value needs them, none where all are zero).
// A row is handed out widened to 32 bits into one of kRowsHeld row buffers, used in turn, so that
// the last kRowsHeld rows handed out stay valid together.

#include "SubbandRowSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

// One subblock's part of a strip: strip columns first..first + width - 1, all the strip's rows,
// band by band and row by row, `bytes` per coefficient (1, 2 or 4 signed bytes; 0 when every
// coefficient is zero and nothing is stored).
struct SubbandStripTile {
    std::uint32_t first = 0;
    std::uint32_t width = 0;
    std::uint8_t bytes = 0;
    std::unique_ptr<std::byte[]> data;
    std::size_t capacity = 0; // bytes of data, which holds coefficients of `bytes` bytes only
};

struct SubbandStrip {
    static constexpr unsigned kRowsHeld = SubbandRowSource::kRowsHeld;

    std::uint32_t x0 = 0;
    std::uint32_t x1 = 0;
    std::uint32_t y0 = 0;
    std::uint32_t y1 = 0;
    // Set once every subblock of the strip is decoded (and colour transformed); a strip whose
    // filling failed is never used again.
    bool complete = false;
    bool zero = false;
    // Left to right; kept (with their data) while the columns stay the same.
    std::vector<SubbandStripTile> tiles;
    // kRowsHeld slots of one widened row per band (x0..x1 each); the next written is nextSlot.
    std::unique_ptr<std::int32_t[]> rows;
    std::size_t rowsCapacity = 0; // samples
    unsigned nextSlot = 0;

    std::size_t width() const { return std::size_t(x1) - x0 + 1; }
    std::size_t height() const { return std::size_t(y1) - y0 + 1; }
    bool holds(std::uint32_t row, std::uint32_t first, std::uint32_t last) const {
        return complete && first == x0 && last == x1 && row >= y0 && row <= y1;
    }
};

} // namespace Korvel
