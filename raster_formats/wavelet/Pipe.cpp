#include "Pipe.h"

#include "SubbandRowSource.h"
#include "WrappingArithmetic.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cstring>

namespace Korvel {

Pipe::Pipe(const PipeSegWindow& window, std::uint8_t levelsToRun, std::uint8_t levelsSkipped,
           std::uint16_t bands, std::uint16_t subblockSize)
    : window_(window), levelsToRun_(levelsToRun), levelsSkipped_(levelsSkipped), bands_(bands),
      nextRow_(window.y0) {
    // Level k (0 the finest run) reconstructs from subbands 4m + 1 .. 4m + 4, m = L' - 1 - k, and
    // reads the window its finer neighbour needs of its output.
    // A level of one sample has an input of one sample, so all levels from the first such are.
    PipeSegWindow levelWindow = window;
    for (std::uint32_t k = 0; k < levelsToRun; ++k) {
        const auto firstSubband = static_cast<std::uint8_t>(4 * (levelsToRun - 1 - k) + 1);
        if (levelWindow.width == 1 && levelWindow.height == 1) {
            singleRefinements_.insert(singleRefinements_.begin(), firstSubband);
            continue;
        }
        segs_.push_back(std::make_unique<PipeSeg>(bands, levelWindow, firstSubband, subblockSize));
        levelWindow = segs_.back()->getInputWindow();
    }
    if (!singleRefinements_.empty()) singleSample_.assign(bands, 0);
    fetched_.assign(bands, nullptr);
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
    return source.getSubbandRow(fetched_.data(), subband, row, x0, x1);
}

KVStatus Pipe::coarsestInput(std::uint32_t q, std::uint32_t x0, std::uint32_t x1,
                             SubbandRowSource& source) {
    if (singleRefinements_.empty()) {
        KV_RETURN_IF_FAILED(fetch(0, q, x0, x1, source));
        std::copy(fetched_.begin(), fetched_.end(), input_.begin());
        return KV_OK;
    }
    if (q != 0 || x0 != 0 || x1 != 0) return KV_QG3_NOT_FOUND;
    if (!singleSampleMade_) {
        KV_RETURN_IF_FAILED(fetch(0, 0, 0, 0, source));
        for (std::uint16_t b = 0; b < bands_; ++b)
            singleSample_[b] = fetched_[b][0];
        for (const std::uint8_t refinement : singleRefinements_) {
            KV_RETURN_IF_FAILED(fetch(refinement, 0, 0, 0, source));
            for (std::uint16_t b = 0; b < bands_; ++b)
                singleSample_[b] = wrapAdd(singleSample_[b], fetched_[b][0]);
        }
        singleSampleMade_ = true;
    }
    for (std::uint16_t b = 0; b < bands_; ++b)
        input_[b] = &singleSample_[b];
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
                for (std::uint16_t b = 0; b < bands_; ++b)
                    input_[b] = segs_[level + 1]->getRow(b, q);
            } else {
                const PipeSegWindow in = seg.getInputWindow();
                KV_RETURN_IF_FAILED(coarsestInput(q, in.x0, in.x1, source));
            }
            input = input_.data();
        }
        KV_RETURN_IF_FAILED(seg.step(input, source));
    }
    return KV_OK;
}

KVStatus Pipe::emitRow(std::uint32_t y, std::int32_t* const* rows, std::size_t offset,
                       SubbandRowSource& source) {
    const std::uint32_t n = window_.x1 - window_.x0 + 1;
    if (segs_.empty()) {
        KV_RETURN_IF_FAILED(coarsestInput(y, window_.x0, window_.x1, source));
        for (std::uint16_t b = 0; b < bands_; ++b)
            std::memcpy(rows[b] + offset, input_[b], n * sizeof(std::int32_t));
    } else {
        KV_RETURN_IF_FAILED(makeRow(0, y, source));
        for (std::uint16_t b = 0; b < bands_; ++b)
            std::memcpy(rows[b] + offset, segs_[0]->getRow(b, y), n * sizeof(std::int32_t));
    }
    if (levelsSkipped_ > 0) {
        // The refinement of the first level skipped completes the low band of that level.
        const auto refinement = static_cast<std::uint8_t>(4 * levelsToRun_ + 1);
        KV_RETURN_IF_FAILED(fetch(refinement, y, window_.x0, window_.x1, source));
        for (std::uint16_t b = 0; b < bands_; ++b) {
            std::int32_t* __restrict out = rows[b] + offset;
            const std::int32_t* __restrict add = fetched_[b];
            for (std::uint32_t i = 0; i < n; ++i)
                out[i] = wrapAdd(out[i], add[i]);
        }
    }
    return KV_OK;
}

KVStatus Pipe::run(std::uint32_t ya, std::uint32_t yb, std::int32_t* const* rows,
                   std::size_t stride, SubbandRowSource& source) {
    if (failure_ != KV_OK) return failure_;
    if (ya != nextRow_ || yb < ya || yb > window_.y1) return KV_QG3_NOT_FOUND;
    for (std::uint32_t y = ya; y <= yb; ++y) {
        const KVStatus status = emitRow(y, rows, (y - ya) * stride, source);
        if (status != KV_OK) {
            failure_ = status;
            return status;
        }
    }
    nextRow_ = yb + 1;
    return KV_OK;
}

} // namespace Korvel
