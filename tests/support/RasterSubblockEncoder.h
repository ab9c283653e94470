#pragma once
// The bit-plane coder of raster subblocks, for writing test files: one band of one subblock in,
// its 32 plane records out (record p holds the magnitude bit of weight 2^(31 - p); record 0, the
// sign position, is never filled).
//
// From the first plane holding a bit down to the last plane kept, each plane is one raster pass
// over the coded rectangle: a coefficient already significant codes its refinement bit, any
// other its significance bit and, when that is 1, its sign (XOR the sign rule's bit). Each
// arithmetic-coded plane is one MQ segment (INITENC to FLUSH) whose 19 contexts start as in
// Table D.7 and carry over from plane to plane, flushed without a marker (a final 0xFF is
// dropped: the decoder reads 1-bits past the end, and would read a marker as data); a raw plane
// holds the same bits plainly, most significant bit first. Contexts follow the JPEG 2000 rules over
// the neighbours significant so far, where a coefficient that became significant in a raw plane is
// not seen by its diagonal neighbours. Planes below the last kept one are dropped (a lossy
// subblock).

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn_test {

struct RasterPlane {
    std::vector<std::uint8_t> bytes;
    bool filled = false;
    bool raw = false;
};
using RasterPlanes = std::array<RasterPlane, 32>;

struct RasterSubblockOptions {
    unsigned subband = 0;        // the subband index, which chooses the zero-coding rules
    std::uint32_t rawPlanes = 0; // bit p set: plane p is written raw
    unsigned lastPlane = 31;     // planes below it are dropped; 31 keeps every bit
    unsigned firstPlane = 0;     // 0: from the highest plane holding a bit; else from this one
    bool trimRaw = false;        // raw planes lose their trailing zero bytes
};

// The rectangle coded, inclusive, within the subblock; an empty one codes nothing.
struct RasterRect {
    int x0 = 0;
    int y0 = 0;
    int x1 = -1;
    int y1 = -1;
};

struct RasterSubblockCode {
    RasterPlanes planes;
    std::uint64_t decisions = 0; // arithmetic-coded decisions
};

// coefficients: the subblock's height rows of width values, rows stride apart; magnitudes up to
// 2^31 - 1.
RasterSubblockCode encodeRasterSubblock(const std::int32_t* coefficients, std::size_t stride,
                                        unsigned width, unsigned height, const RasterRect& rect,
                                        const RasterSubblockOptions& options);

} // namespace quarn_test
