#include "Pipe.h"

#include "SubbandRowSource.h"
#include "WrappingArithmetic.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <utility>

namespace Korvel {

Pipe::Pipe(const PipeSegWindow& window, std::uint8_t levelsToRun, std::uint8_t levelsSkipped,
           std::uint16_t bands, std::uint16_t subblockSize, const WaveletKernels& kernels)
    : window_(window), levelsToRun_(levelsToRun), levelsSkipped_(levelsSkipped), bands_(bands),
      width_(static_cast<std::size_t>(window.rect.width())),
      nextRow_(static_cast<std::uint32_t>(window.rect.y0)) {
    // Level k (0 the finest run) reconstructs from subbands 4m + 1 .. 4m + 4, m = L' - 1 - k, and
    // reads the window its finer neighbour needs of its output.
    // A level of one sample has an input of one sample, so all levels from the first such are.
    std::vector<PipeSegWindow> windows;
    std::size_t rowLength = 1;
    PipeSegWindow levelWindow = window;
    for (std::uint32_t k = 0; k < levelsToRun; ++k) {
        const auto firstSubband = static_cast<std::uint8_t>(4 * (levelsToRun - 1 - k) + 1);
        if (levelWindow.width == 1 && levelWindow.height == 1) {
            singleRefinements_.insert(singleRefinements_.begin(), firstSubband);
            continue;
        }
        const PipeSegColumns columns(levelWindow);
        windows.push_back(levelWindow);
        rowLength = std::max<std::size_t>(rowLength, columns.splitLength());
        levelWindow = PipeSeg::inputWindowOf(levelWindow, columns);
    }
    // The row of zeros also stands for a zero output row of the window.
    rowLength = std::max(rowLength, width_);
    shared_ = std::make_unique<PipeSegShared>(bands, rowLength);
    for (std::size_t k = 0; k < windows.size(); ++k) {
        const auto firstSubband = static_cast<std::uint8_t>(4 * (levelsToRun - 1 - k) + 1);
        segs_.push_back(std::make_unique<PipeSeg>(bands, windows[k], firstSubband, subblockSize,
                                                  *shared_, kernels));
    }
    if (!singleRefinements_.empty()) singleSample_.assign(bands, 0);
    if (segs_.empty()) rows_.assign(2 * std::size_t(bands) * width_, 0);
    input_.assign(bands, nullptr);
}

Pipe::~Pipe() = default;

std::vector<Pipe::SubbandUse> Pipe::getSubbandUses() const {
    std::vector<SubbandUse> uses;
    std::uint32_t w = window_.width;
    std::uint32_t h = window_.height;
    if (levelsSkipped_ > 0) uses.push_back({static_cast<std::uint8_t>(4 * levelsToRun_ + 1), w, h});
    for (std::uint32_t k = 0; k < levelsToRun_; ++k) {
        const auto first = static_cast<std::uint8_t>(4 * (levelsToRun_ - 1 - k) + 1);
        const std::uint32_t lw = (w + 1) >> 1;
        const std::uint32_t lh = (h + 1) >> 1;
        uses.push_back({first, lw, lh});
        uses.push_back({static_cast<std::uint8_t>(first + 1), w >> 1, lh});
        uses.push_back({static_cast<std::uint8_t>(first + 2), lw, h >> 1});
        uses.push_back({static_cast<std::uint8_t>(first + 3), w >> 1, h >> 1});
        w = lw;
        h = lh;
    }
    uses.push_back({0, w, h});
    return uses;
}

KVStatus Pipe::fetch(std::uint8_t subband, std::uint32_t row, std::uint32_t x0, std::uint32_t x1,
                     SubbandRowSource& source) {
    return source.getSubbandRow(shared_->fetched.data(), subband, row, x0, x1);
}

KVStatus Pipe::coarsestInput(std::uint32_t q, std::uint32_t x0, std::uint32_t x1,
                             SubbandRowSource& source) {
    const std::vector<std::int32_t*>& fetched = shared_->fetched;
    if (singleRefinements_.empty()) {
        KV_RETURN_IF_FAILED(fetch(0, q, x0, x1, source));
        std::copy(fetched.begin(), fetched.end(), input_.begin());
        return KV_OK;
    }
    if (q != 0 || x0 != 0 || x1 != 0) return KV_QG3_NOT_FOUND;
    if (!singleSampleMade_) {
        KV_RETURN_IF_FAILED(fetch(0, 0, 0, 0, source));
        for (std::uint16_t b = 0; b < bands_; ++b)
            singleSample_[b] = fetched[b] ? fetched[b][0] : 0;
        for (const std::uint8_t refinement : singleRefinements_) {
            KV_RETURN_IF_FAILED(fetch(refinement, 0, 0, 0, source));
            for (std::uint16_t b = 0; b < bands_; ++b)
                if (fetched[b]) singleSample_[b] = wrapAdd(singleSample_[b], fetched[b][0]);
        }
        singleSampleMade_ = true;
    }
    for (std::uint16_t b = 0; b < bands_; ++b)
        input_[b] = singleSample_[b] != 0 ? &singleSample_[b] : nullptr;
    return KV_OK;
}

// Steps level `level` until it holds output row y, pulling the rows of its low input from the
// coarser level (or subband 0) as its steps need them.
KVStatus Pipe::makeRow(std::size_t level, std::uint32_t y, SubbandRowSource& source) {
    PipeSeg& seg = *segs_[level];
    while (!seg.holdsRow(y)) {
        if (seg.isDone()) return KV_QG3_NOT_FOUND;
        const std::int32_t* const* input = nullptr;
        if (seg.needsInput()) {
            const std::uint32_t q = seg.getNextInputRow();
            if (level + 1 < segs_.size()) {
                KV_RETURN_IF_FAILED(makeRow(level + 1, q, source));
                const PipeSeg& coarser = *segs_[level + 1];
                for (std::uint16_t b = 0; b < bands_; ++b)
                    input_[b] = coarser.getRow(b, q);
            } else {
                const KVIRect in = seg.getInputWindow().rect;
                KV_RETURN_IF_FAILED(
                    coarsestInput(q, std::uint32_t(in.x0), std::uint32_t(in.x1), source));
            }
            input = input_.data();
        }
        KV_RETURN_IF_FAILED(seg.step(input, source));
    }
    return KV_OK;
}

const std::int32_t* Pipe::row(std::uint16_t band, std::uint32_t y) const {
    if (segs_.empty()) return rows_.data() + (2 * std::size_t(band) + (y & 1)) * width_;
    const std::int32_t* row = std::as_const(*segs_[0]).getRow(band, y);
    return row != nullptr ? row : shared_->zeros.get();
}

// The finest level's rows are only read here, so the refinement of a reduced resolution is added
// to them in place.
KVStatus Pipe::emitRow(std::uint32_t y, SubbandRowSource& source) {
    const auto x0 = static_cast<std::uint32_t>(window_.rect.x0);
    const auto x1 = static_cast<std::uint32_t>(window_.rect.x1);
    if (segs_.empty()) {
        KV_RETURN_IF_FAILED(coarsestInput(y, x0, x1, source));
        for (std::uint16_t b = 0; b < bands_; ++b) {
            std::int32_t* out = rows_.data() + (2 * std::size_t(b) + (y & 1)) * width_;
            if (input_[b])
                std::copy_n(input_[b], width_, out);
            else
                std::fill_n(out, width_, 0);
        }
    } else {
        KV_RETURN_IF_FAILED(makeRow(0, y, source));
    }
    if (levelsSkipped_ > 0) {
        // The refinement of the first level skipped completes the low band of that level.
        const auto refinement = static_cast<std::uint8_t>(4 * levelsToRun_ + 1);
        KV_RETURN_IF_FAILED(fetch(refinement, y, x0, x1, source));
        for (std::uint16_t b = 0; b < bands_; ++b) {
            const std::int32_t* __restrict add = shared_->fetched[b];
            if (add == nullptr) continue;
            std::int32_t* __restrict out =
                segs_.empty() ? rows_.data() + (2 * std::size_t(b) + (y & 1)) * width_
                              : segs_[0]->makeRowWritable(b, y);
            for (std::size_t i = 0; i < width_; ++i)
                out[i] = wrapAdd(out[i], add[i]);
        }
    }
    return KV_OK;
}

KVStatus Pipe::run(std::uint32_t ya, std::uint32_t yb, SubbandRowSource& source) {
    if (failure_ != KV_OK) return failure_;
    if (ya != nextRow_ || yb < ya || std::int64_t(yb) > window_.rect.y1 || (ya >> 1) != (yb >> 1))
        return KV_QG3_NOT_FOUND;
    for (std::uint32_t y = ya; y <= yb; ++y) {
        // Bands reached by data for the first time take their rows here.
        const KVStatus status = kvGuard([&] { return emitRow(y, source); }, KV_QG3_OUT_OF_MEMORY);
        if (status != KV_OK) {
            failure_ = status;
            return status;
        }
    }
    nextRow_ = yb + 1;
    return KV_OK;
}

} // namespace Korvel
