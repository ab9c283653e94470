#pragma once
// One level of the row-pipelined inverse wavelet: from the level's low input rows (the coarser
// level's output plus the refinement subband) and its three high subbands it makes the level's
// output rows, in pairs, top to bottom, over a window of columns and rows.
//
// A band holds at a level the even row after the vertical update that the next pair starts
// from, the two output rows of the last pair after the horizontal synthesis, and copies of the
// previous high subband rows for when their strips move: about four rows of the window's width,
// made when data first reaches the band. Until then every row of the band is zero and the band
// holds nothing: rows of zeros travel as null pointers, in and out. The odd row and the next
// even row are built in rows that the bands use in turn (the odd row in one that the levels
// share, the next even row in a spare row, which then changes places with the band's even row).
// Rows are kept split in a low half and a high half; each half carries one border sample on each
// side for the symmetric extension, so the lifting loops have no boundary tests.

#include "model/KVIRect.h"
#include "support/KVStatus.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class SubbandRowSource;
struct WaveletKernels;

// s / 4 and s / 2 rounded to the nearest integer, ties to even (arithmetic shifts).
inline std::int32_t rne4(std::int32_t s) {
    return (s >> 2) + (((s >> 2) | s) & (s >> 1) & 1);
}
inline std::int32_t rne2(std::int32_t s) {
    return (s >> 1) + ((s >> 1) & s & 1);
}

// The part of a level's output that is wanted: the level image's size and a window inside it.
struct PipeSegWindow {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    KVIRect rect;
};

// The columns a level works on for a window. The split row holds lows j = lowFirst ..
// lowFirst + lowCount - 1 and highs j = lowFirst - 1 .. lowFirst + lowCount - 1 (lowCount + 1
// of them). Of these, realLows lows from index 0 and realHighs highs from index highOffset come
// from the subbands; the others mirror samples inside the image (or are zero when the level has
// no high column).
struct PipeSegColumns {
    std::uint32_t lowFirst = 0;
    std::uint32_t lowCount = 0;
    std::uint32_t realLows = 0;
    std::uint32_t highFirst = 0; // first real high column in the subbands
    std::uint32_t realHighs = 0;
    std::uint32_t highOffset = 0;
    bool mirrorLeftHigh = false;
    bool mirrorRightLow = false;
    bool mirrorRightHigh = false;
    std::uint32_t rightHighSource = 0; // index the mirrored right high copies

    explicit PipeSegColumns(const PipeSegWindow& window);
    std::uint32_t splitLength() const { return 2 * lowCount + 1; }
    // Columns lowFirst * 2 onwards.
    std::uint32_t outLength() const { return 2 * lowCount - 1; }
};

// What the levels of one chain share: rows a step uses only while it runs, and the subband rows
// it fetched, per band.
struct PipeSegShared {
    // Rows of rowLength samples; pointers for bands.
    PipeSegShared(std::uint16_t bands, std::size_t rowLength);

    std::unique_ptr<std::int32_t[]> zeros; // a row of zeros
    std::unique_ptr<std::int32_t[]> odd;   // the odd row being built
    std::vector<const std::int32_t*> refinement;
    std::vector<const std::int32_t*> highLow; // horizontally high, vertically low
    std::vector<const std::int32_t*> lowHigh; // vertically high
    std::vector<const std::int32_t*> highHigh;
    std::vector<std::int32_t*> fetched;
};

class PipeSeg {
public:
    // A level reconstructing a window of an image from subbands firstSubband (the refinement of
    // the low band) to firstSubband + 3. shared must hold rows of the split length and outlive
    // the level. Throws std::bad_alloc.
    PipeSeg(std::uint16_t bands, const PipeSegWindow& window, std::uint8_t firstSubband,
            std::uint16_t subblockSize, PipeSegShared& shared, const WaveletKernels& kernels);
    virtual ~PipeSeg();
    PipeSeg(const PipeSeg&) = delete;
    PipeSeg& operator=(const PipeSeg&) = delete;

    // The window of the low input that a level over window reads: low columns and rows.
    static PipeSegWindow inputWindowOf(const PipeSegWindow& window, const PipeSegColumns& columns);
    PipeSegWindow getInputWindow() const { return inputWindowOf(window_, columns_); }

    bool holdsRow(std::uint32_t y) const;
    // No further step is possible: the last wanted row has been made.
    bool isDone() const;
    // Whether the next step reads a low input row, and which.
    bool needsInput() const;
    std::uint32_t getNextInputRow() const;
    // Primes the level or makes its next pair of output rows. lowInput holds one pointer per band
    // to the low input row getNextInputRow(), at the input window's first column, null for a row
    // of zeros (unused when needsInput() is false). Statuses of the source are passed up.
    KVStatus step(const std::int32_t* const* lowInput, SubbandRowSource& source);
    // Output row y of a band (holdsRow(y)), at the window's first column, null when it is zero;
    // valid until the next step.
    const std::int32_t* getRow(std::uint16_t band, std::uint32_t y) const;
    // The same row made writable (rows of zeros made real), for the chain's finest level, whose
    // rows nothing else reads. Throws std::bad_alloc.
    std::int32_t* makeRowWritable(std::uint16_t band, std::uint32_t y);

private:
    // A band's rows at the level, once data has reached it. block holds perBand_ samples: a
    // split row, the two output rows and the saved high rows (low part, then high part). even is
    // the split row holding the band's even row: its own or any other, as the spare changes
    // places with it. High rows are null when zero.
    struct Band {
        std::unique_ptr<std::int32_t[]> block;
        std::int32_t* even = nullptr;
        const std::int32_t* lhPrev = nullptr;
        const std::int32_t* lhCur = nullptr;
        const std::int32_t* hhPrev = nullptr;
        const std::int32_t* hhCur = nullptr;
    };

    KVStatus prime(const std::int32_t* const* lowInput, SubbandRowSource& source);
    KVStatus makePair(const std::int32_t* const* lowInput, SubbandRowSource& source);
    KVStatus fetch(std::vector<const std::int32_t*>& rows, std::uint8_t subband, std::uint32_t row,
                   bool high, SubbandRowSource& source);
    // Row r of both vertically-high subbands becomes the current high rows; with previous, the
    // current ones become the previous ones first, copied when row r starts a row of subblocks
    // (its fetch may move the strips they point into).
    KVStatus fetchHighRows(std::uint32_t r, bool previous, SubbandRowSource& source);
    KVStatus advanceHighRows(std::uint32_t r, SubbandRowSource& source);
    // The band's rows, made (all zero) when they do not exist yet.
    Band& bandRows(std::uint16_t band);
    // The vertical update of a band's even row into even, and with odd the predict of the odd
    // row between evenAbove and it.
    void verticalStep(const Band& rows, std::int32_t* even, std::int32_t* odd,
                      const std::int32_t* evenAbove, const std::int32_t* lowInput,
                      std::uint16_t band) const;
    // Fills the border samples of a split row by symmetric extension, then synthesises it.
    void synthesize(std::int32_t* split, std::int32_t* out) const;
    std::int32_t* outRows(const Band& rows) const {
        return rows.block.get() + columns_.splitLength();
    }
    const std::int32_t* orZeros(const std::int32_t* row) const {
        return row != nullptr ? row : shared_.zeros.get();
    }

    std::uint16_t bands_;
    PipeSegWindow window_;
    PipeSegColumns columns_;
    std::uint8_t firstSubband_;
    std::uint32_t subblockSize_;
    PipeSegShared& shared_;
    const WaveletKernels& kernels_;
    std::uint32_t outStart_ = 0; // index of column x0 in an output row
    std::uint32_t highRows_ = 0; // rows of the vertically high subbands
    std::size_t perBand_ = 0;

    // Schedule: the pair (2 nextPair_, 2 nextPair_ + 1) is made next; after a pair is made its
    // rows are held until the next step.
    bool primed_ = false;
    bool holding_ = false;
    bool holdingOdd_ = false;
    std::uint32_t nextPair_ = 0;
    std::uint32_t heldPair_ = 0;

    // Null for a band that no data has reached.
    std::vector<std::unique_ptr<Band>> bandRows_;
    std::unique_ptr<std::int32_t[]> spareRow_;
    std::int32_t* spare_ = nullptr;
};

} // namespace Korvel
