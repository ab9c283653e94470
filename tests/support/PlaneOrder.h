#pragma once
// The subband geometry of a generation-3/4 image and the two orders in which its plane data
// describes the subblocks, written plainly from the layouts for the test writers:
//
//   subbands   level by level from the finest: a w x h band splits into low-low ((w+1)/2,
//              (h+1)/2), high-low (w/2, (h+1)/2), low-high ((w+1)/2, h/2), high-high (w/2,
//              h/2) at indices 4k-3 .. 4k; index 0 is the coarsest low band. Subblocks of size
//              S, row by row within a subband.
//   kind 5     subband by subband, each row by row.
//   kind 1     pipe order: every subblock gets its sequence number from the rank formula
//              (below, in PlaneOrder.cpp), and the subblocks are sorted by it.

#include <cstdint>
#include <vector>

namespace quarn_test {

struct PlaneGeometry {
    std::uint32_t width = 16;
    std::uint32_t height = 16;
    std::uint32_t levels = 0;
    std::uint32_t subblockSize = 8;
};

struct SubbandSize {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t rows;
    std::uint32_t columns;
};

struct SubblockRef {
    std::uint32_t subband;
    std::uint32_t subblock; // row x columns + column
    bool operator==(const SubblockRef&) const = default;
};

std::vector<SubbandSize> subbandSizes(const PlaneGeometry& g);
// The pipe-order sequence number of the subblock in row r, column c of subband s.
std::uint64_t pipeRank(const PlaneGeometry& g, std::uint32_t s, std::uint64_t r, std::uint64_t c);
// Every subblock in the order of planeset kind 1 or 5.
std::vector<SubblockRef> subblockOrder(const PlaneGeometry& g, std::uint32_t kind);

} // namespace quarn_test
