#pragma once
// The pipe order of the subblocks of an image (planeset kind 1): the order in which a row-by-row
// wavelet synthesis first needs them. Rows of the four subbands of a level are interleaved, and
// the rows of coarser levels are slotted in as soon as the finer rows below them need them; the
// last, partial rows of all subbands come at the end, in subband order.
//
// rank gives the sequence number of a subblock; locate is its inverse, built from groups of runs
// (one group per row of the finest subband) and a lookup cache so that consecutive numbers cost
// only a short walk. locate inverts rank for subblock sizes of 3 and more; for sizes 1 and 2 with
// many levels it does not, and such images are refused where plane data is opened
// (checkPlaneset).

#include "qg3/planes/Ordering.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class OrderingPipe : public Ordering {
public:
    // Null when the tables cannot be allocated or the image has 2^32 subblocks or more.
    static std::unique_ptr<OrderingPipe> create(std::uint16_t subblockSize, std::uint8_t levels,
                                                std::uint32_t height, std::uint32_t width);

    // Sequence number of the subblock in row, column of subband; the arguments must name a
    // subblock of the image.
    std::uint32_t rank(std::uint8_t subband, std::uint16_t row, std::uint16_t column) const;
    // The subblock with sequence number n (below getTotal()); false when n is out of range or
    // the runs do not hold it (which rank-consistent geometries never give).
    bool locate(std::uint32_t n, std::uint8_t& subband, std::uint16_t& row, std::uint16_t& column);

    std::uint64_t getTotal() const { return total_; }
    std::uint64_t getTotalFull() const { return totalFull_; }

private:
    struct Run {
        std::uint32_t first; // first subband
        std::uint64_t row;
        std::uint64_t start;
        std::uint64_t end;
    };
    struct Pair {
        std::uint32_t first; // first subband of the run (0 for level 1's first pair)
        std::uint32_t level;
        std::uint64_t firstRow;
        std::uint64_t phase;
    };

    OrderingPipe(std::uint16_t subblockSize, std::uint8_t levels, std::uint32_t height,
                 std::uint32_t width)
        : Ordering(subblockSize, levels, height, width) {}
    void makeTables();
    std::uint64_t rankOf(std::uint32_t s, std::uint64_t r, std::uint64_t c) const;
    std::uint64_t runSize(const Pair& pair) const;
    void buildGroup(std::uint64_t t);
    std::uint64_t fineRowOf(std::uint64_t n) const;

    // Per subband.
    std::vector<std::uint64_t> heights_, columns_, fullRows_, rows_, tail_;
    // Per level 0..L (entry 0 unused).
    std::vector<std::uint64_t> levelColumns_, cumulative_, rowWeight_;
    // Pairs in the order level 1 to L, first before second.
    std::vector<Pair> pairs_;
    std::uint64_t totalFull_ = 0;
    std::uint64_t total_ = 0;
    std::uint32_t shortcutDepth_ = 0;
    std::uint32_t fine_ = 0; // the finest low band, whose rows define the groups

    // Lookup cache: the last run found and the runs of the last group.
    Run lastRun_{0, 0, 1, 0};
    std::uint64_t groupRow_ = 0;
    std::uint64_t groupStart_ = 1;
    std::uint64_t groupEnd_ = 0;
    std::vector<Run> runs_;     // capacity reserved at creation
    std::vector<Pair> scratch_; // pairs of a middle group, capacity reserved
};

} // namespace Korvel
