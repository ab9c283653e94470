#pragma once
// One level of the row-pipelined inverse wavelet: from the level's low input rows (the coarser
// level's output plus the refinement subband) and its three high subbands it makes the level's
// output rows, in pairs, top to bottom, over a window of columns and rows.
//
// The level holds, per band, two even rows after the vertical update (the one being finished and
// the next), one odd row, the two output rows of the last pair after the horizontal synthesis, and
// copies of the previous high subband rows for when their strips move. Rows are kept split in a
// low half and a high half; each half carries one border sample on each side for the symmetric
// extension, so the lifting loops have no boundary tests.

#include "support/KVStatus.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class SubbandRowSource;
struct LiftingKernels;

// s / 4 and s / 2 rounded to the nearest integer, ties to even (arithmetic shifts).
inline std::int32_t rne4(std::int32_t s) {
    return (s >> 2) + (((s >> 2) | s) & (s >> 1) & 1);
}
inline std::int32_t rne2(std::int32_t s) {
    return (s >> 1) + ((s >> 1) & s & 1);
}

// The part of a level's output that is wanted: its size and an inclusive window in it.
struct PipeSegWindow {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t x0 = 0;
    std::uint32_t x1 = 0;
    std::uint32_t y0 = 0;
    std::uint32_t y1 = 0;
};

class PipeSeg {
public:
    // A level reconstructing a width x height image from subbands firstSubband (the refinement of
    // the low band) to firstSubband + 3. Throws std::bad_alloc.
    PipeSeg(std::uint16_t bands, const PipeSegWindow& window, std::uint8_t firstSubband,
            std::uint16_t subblockSize);
    virtual ~PipeSeg();
    PipeSeg(const PipeSeg&) = delete;
    PipeSeg& operator=(const PipeSeg&) = delete;

    // The window of the low input that the level reads: low columns and rows, inclusive.
    PipeSegWindow getInputWindow() const;

    bool holdsRow(std::uint32_t y) const;
    // No further step is possible: the last wanted row has been made.
    bool isDone() const;
    // Whether the next step reads a low input row, and which.
    bool needsInput() const;
    std::uint32_t getNextInputRow() const;
    // Primes the level or makes its next pair of output rows. lowInput holds one pointer per band
    // to the low input row getNextInputRow(), at the input window's first column (unused when
    // needsInput() is false). Statuses of the source are passed up.
    KVStatus step(const std::int32_t* const* lowInput, SubbandRowSource& source);
    // Output row y of a band (holdsRow(y)), at the window's first column; valid until the next
    // step.
    const std::int32_t* getRow(std::uint16_t band, std::uint32_t y) const;

private:
    KVStatus prime(const std::int32_t* const* lowInput, SubbandRowSource& source);
    KVStatus makePair(const std::int32_t* const* lowInput, SubbandRowSource& source);
    KVStatus fetch(std::vector<const std::int32_t*>& rows, std::uint8_t subband, std::uint32_t row,
                   bool high, SubbandRowSource& source);
    KVStatus fetchHighRows(std::uint32_t r, SubbandRowSource& source);
    KVStatus advanceHighRows(std::uint32_t r, SubbandRowSource& source);
    // The vertical update of an even row, and with odd the predict of the odd row between
    // evenAbove and it.
    void verticalStep(std::int32_t* const* even, std::int32_t* const* odd,
                      std::int32_t* const* evenAbove, const std::int32_t* const* lowInput) const;
    // The last odd row of a level of even height: the even row below mirrors the one above.
    void predictLastOdd(std::int32_t* const* odd, std::int32_t* const* even) const;
    void synthesize(std::int32_t* split, std::int32_t* out) const;

    std::uint16_t bands_;
    PipeSegWindow window_;
    std::uint8_t firstSubband_;
    std::uint32_t subblockSize_;
    // The lifting loops for this processor.
    const LiftingKernels* kernels_;

    // Columns: the split row holds lows j = lowFirst_ .. lowFirst_ + lowCount_ - 1 and highs
    // j = lowFirst_ - 1 .. lowFirst_ + lowCount_ - 1 (lowCount_ + 1 of them). Of these, realLows_
    // lows from index 0 and realHighs_ highs from index highOffset_ come from the subbands; the
    // others mirror samples inside the image (or are zero when the level has no high column).
    std::uint32_t lowFirst_ = 0;
    std::uint32_t lowCount_ = 0;
    std::uint32_t realLows_ = 0;
    std::uint32_t highFirst_ = 0; // first real high column in the subbands
    std::uint32_t realHighs_ = 0;
    std::uint32_t highOffset_ = 0;
    bool mirrorLeftHigh_ = false;
    bool mirrorRightLow_ = false;
    bool mirrorRightHigh_ = false;
    std::uint32_t rightHighSource_ = 0; // index the mirrored right high copies
    std::uint32_t splitLength_ = 0;     // lowCount_ + lowCount_ + 1
    std::uint32_t outLength_ = 0;       // 2 lowCount_ - 1: columns lowFirst_ * 2 onwards
    std::uint32_t outStart_ = 0;        // index of column x0 in an output row
    std::uint32_t highRows_ = 0;        // rows of the vertically high subbands

    // Schedule: the pair (2 nextPair_, 2 nextPair_ + 1) is made next; after a pair is made its
    // rows are held until the next step.
    bool primed_ = false;
    bool holding_ = false;
    bool holdingOdd_ = false;
    std::uint32_t nextPair_ = 0;
    std::uint32_t heldPair_ = 0;

    // Rows, per band: even_[0/1] alternate as the row being finished (evenIndex_) and the next.
    std::unique_ptr<std::int32_t[]> block_;
    std::vector<std::int32_t*> even_[2];
    std::vector<std::int32_t*> odd_;
    std::vector<std::int32_t*> outEven_;
    std::vector<std::int32_t*> outOdd_;
    std::vector<std::int32_t*> savedLH_;
    std::vector<std::int32_t*> savedHH_;
    std::int32_t* zeros_ = nullptr;
    unsigned evenIndex_ = 0;

    // Current subband rows per band: refinement and horizontally-high rows of the low input, and
    // the previous and current rows of the vertically-high subbands.
    std::vector<const std::int32_t*> ref_;
    std::vector<const std::int32_t*> hl_;
    std::vector<const std::int32_t*> lhPrev_;
    std::vector<const std::int32_t*> lhCur_;
    std::vector<const std::int32_t*> hhPrev_;
    std::vector<const std::int32_t*> hhCur_;
    bool prevInSource_ = false; // the previous high rows point into the source's strips
    bool curInSource_ = false;
    std::vector<std::int32_t*> fetched_;
};

} // namespace Korvel
