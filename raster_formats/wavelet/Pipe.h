#pragma once
// The chain of wavelet levels that decodes one rectangle of an image at one resolution, row by
// row, top to bottom.
//
// Rows are made on demand: asking a level for its next output row makes it step, and a step that
// needs a row of the level's low input asks the next coarser level for it first (the coarsest
// level reads subband 0). Every level therefore reads each of its subband rows once, in
// increasing order, and the coarser levels step only as often as the finer ones need their rows.
// A decode that skips the finest levels (a reduced resolution) adds the refinement subband of the
// first level skipped to each output row; a chain without levels outputs subband 0 (plus
// subband 1 when levels are skipped).
//
// Levels whose image is a single sample have no high subbands: each only adds its refinement to
// the coarser level's sample. They are summed once into one sample per band instead of each
// holding rows per band, so that a file declaring far more levels than its image has costs no
// memory for them.

#include "PipeSeg.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class SubbandRowSource;

class Pipe {
public:
    // The window (inside the level image) through levelsToRun levels, levelsSkipped finer levels
    // not run, with the given kernels. Bands hold rows only once data reaches them (PipeSeg).
    // Throws std::bad_alloc.
    Pipe(const PipeSegWindow& window, std::uint8_t levelsToRun, std::uint8_t levelsSkipped,
         std::uint16_t bands, std::uint16_t subblockSize, const WaveletKernels& kernels);
    virtual ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // The subband sizes the chain reads, by subband index, for checking against the image.
    struct SubbandUse {
        std::uint8_t subband;
        std::uint32_t width;
        std::uint32_t height;
    };
    std::vector<SubbandUse> getSubbandUses() const;

    // Makes rows ya..yb, the next rows of the window and at most one pair (2k, 2k + 1) of them,
    // which row() then gives. KV_QG3_NOT_FOUND for rows that are not the next ones, lie beyond
    // the window or span two pairs, KV_QG3_OUT_OF_MEMORY when a band's rows cannot be made; a
    // failure (of the source too) is passed up and kept: every later call answers it again.
    KVStatus run(std::uint32_t ya, std::uint32_t yb, SubbandRowSource& source);
    // Row y of the last run of a band, the window's columns; valid until the next run.
    const std::int32_t* row(std::uint16_t band, std::uint32_t y) const;

private:
    KVStatus makeRow(std::size_t level, std::uint32_t y, SubbandRowSource& source);
    KVStatus fetch(std::uint8_t subband, std::uint32_t row, std::uint32_t x0, std::uint32_t x1,
                   SubbandRowSource& source);
    // Points input_ at row q, columns x0..x1, of the coarsest level's low input: subband 0, plus
    // the refinements of the single-sample levels when there are any.
    KVStatus coarsestInput(std::uint32_t q, std::uint32_t x0, std::uint32_t x1,
                           SubbandRowSource& source);
    KVStatus emitRow(std::uint32_t y, SubbandRowSource& source);

    PipeSegWindow window_;
    std::uint8_t levelsToRun_;
    std::uint8_t levelsSkipped_;
    std::uint16_t bands_;
    std::size_t width_;
    // Made before the levels, which use it.
    std::unique_ptr<PipeSegShared> shared_;
    // Level 0 is the finest level run.
    std::vector<std::unique_ptr<PipeSeg>> segs_;
    // The refinement subbands of the single-sample levels, coarsest first, their sum per band
    // and whether it is made.
    std::vector<std::uint8_t> singleRefinements_;
    std::vector<std::int32_t> singleSample_;
    bool singleSampleMade_ = false;
    // A chain without levels copies its rows here: a pair per band.
    std::vector<std::int32_t> rows_;
    std::uint32_t nextRow_;
    KVStatus failure_ = KV_OK;
    std::vector<const std::int32_t*> input_;
};

} // namespace Korvel
