#include "PipeSeg.h"

#include "SubbandRowSource.h"
#include "WrappingArithmetic.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace Korvel {

namespace {

// The lifting loops. They are inlined into each of the builds below, so that the compiler
// vectorises them for the instruction set of that build.

// Vertical update of one half of an even row: the base row (low half: the coarser output plus
// the refinement; high half: the horizontally-high subband) less rne4 of the vertically-high rows
// above and below. With Predict, the odd row above it is predicted in the same pass, from the
// high row above and the even rows around it.
template <bool Refined, bool Predict>
[[gnu::always_inline]] inline void
updateHalf(std::int32_t* __restrict even, std::int32_t* __restrict odd,
           const std::int32_t* __restrict evenAbove, const std::int32_t* __restrict base,
           const std::int32_t* __restrict refinement, const std::int32_t* __restrict above,
           const std::int32_t* __restrict below, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t low = Refined ? wrapAdd(base[i], refinement[i]) : base[i];
        const std::int32_t e = wrapSub(low, rne4(wrapAdd(above[i], below[i])));
        even[i] = e;
        if constexpr (Predict) odd[i] = wrapAdd(above[i], rne2(wrapAdd(evenAbove[i], e)));
    }
}

// Vertical predict of an odd row: the vertically-high row plus rne2 of the even rows around it.
[[gnu::always_inline]] inline void predictHalf(std::int32_t* __restrict out,
                                               const std::int32_t* __restrict high,
                                               const std::int32_t* __restrict above,
                                               const std::int32_t* __restrict below,
                                               std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = wrapAdd(high[i], rne2(wrapAdd(above[i], below[i])));
}

// Horizontal synthesis of a split row: n lows, n + 1 highs around them (high[i] left of low[i]),
// into 2n - 1 interleaved samples starting with low 0. The lows are updated in place first, so
// that both passes are plain loops over arrays.
[[gnu::always_inline]] inline void synthesizeSplit(std::int32_t* __restrict low,
                                                   const std::int32_t* __restrict high,
                                                   std::size_t n, std::int32_t* __restrict out) {
    for (std::size_t i = 0; i < n; ++i)
        low[i] = wrapSub(low[i], rne4(wrapAdd(high[i], high[i + 1])));
    const std::size_t m = n - 1;
    for (std::size_t i = 0; i < m; ++i) {
        out[2 * i] = low[i];
        out[2 * i + 1] = wrapAdd(high[i + 1], rne2(wrapAdd(low[i], low[i + 1])));
    }
    out[2 * m] = low[m];
}

template <bool Refined, bool Predict>
void updateBaseline(std::int32_t* even, std::int32_t* odd, const std::int32_t* evenAbove,
                    const std::int32_t* base, const std::int32_t* refinement,
                    const std::int32_t* above, const std::int32_t* below, std::size_t n) {
    updateHalf<Refined, Predict>(even, odd, evenAbove, base, refinement, above, below, n);
}
void predictBaseline(std::int32_t* out, const std::int32_t* high, const std::int32_t* above,
                     const std::int32_t* below, std::size_t n) {
    predictHalf(out, high, above, below, n);
}
void synthesizeBaseline(std::int32_t* low, const std::int32_t* high, std::size_t n,
                        std::int32_t* out) {
    synthesizeSplit(low, high, n, out);
}

} // namespace

struct LiftingKernels {
    // [refined][predict]
    decltype(&updateBaseline<false, false>) update[2][2];
    decltype(&predictBaseline) predict;
    decltype(&synthesizeBaseline) synthesize;
};

namespace {

constexpr LiftingKernels kBaselineKernels{
    {{&updateBaseline<false, false>, &updateBaseline<false, true>},
     {&updateBaseline<true, false>, &updateBaseline<true, true>}},
    &predictBaseline,
    &synthesizeBaseline};

#if defined(__x86_64__) || defined(__i386__)
// The same loops built for AVX2 (twice as wide), chosen when the processor has it.
template <bool Refined, bool Predict>
[[gnu::target("avx2")]] void updateAvx2(std::int32_t* even, std::int32_t* odd,
                                        const std::int32_t* evenAbove, const std::int32_t* base,
                                        const std::int32_t* refinement, const std::int32_t* above,
                                        const std::int32_t* below, std::size_t n) {
    updateHalf<Refined, Predict>(even, odd, evenAbove, base, refinement, above, below, n);
}
[[gnu::target("avx2")]] void predictAvx2(std::int32_t* out, const std::int32_t* high,
                                         const std::int32_t* above, const std::int32_t* below,
                                         std::size_t n) {
    predictHalf(out, high, above, below, n);
}
[[gnu::target("avx2")]] void synthesizeAvx2(std::int32_t* low, const std::int32_t* high,
                                            std::size_t n, std::int32_t* out) {
    synthesizeSplit(low, high, n, out);
}

constexpr LiftingKernels kAvx2Kernels{{{&updateAvx2<false, false>, &updateAvx2<false, true>},
                                       {&updateAvx2<true, false>, &updateAvx2<true, true>}},
                                      &predictAvx2,
                                      &synthesizeAvx2};
#endif

const LiftingKernels* chooseKernels() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) return &kAvx2Kernels;
#endif
    return &kBaselineKernels;
}

} // namespace

PipeSeg::PipeSeg(std::uint16_t bands, const PipeSegWindow& window, std::uint8_t firstSubband,
                 std::uint16_t subblockSize)
    : bands_(bands), window_(window), firstSubband_(firstSubband),
      subblockSize_(std::max<std::uint32_t>(subblockSize, 1)), kernels_(chooseKernels()) {
    const std::int64_t w = window.width;
    const std::int64_t lows = (w + 1) >> 1;
    const std::int64_t highs = w >> 1;
    // The synthesis of columns x0..x1 reads the interleaved row from the odd column before x0 to
    // the odd column after x1.
    const std::int64_t left = std::int64_t(window.x0) - (window.x0 & 1) - 1;
    const std::int64_t right = std::int64_t(window.x1) + (window.x1 & 1) + 1;
    const std::int64_t lowFirst = (left + 1) / 2;
    const std::int64_t lowLast = (right - 1) / 2;
    const std::int64_t highJFirst = lowFirst - 1;
    lowFirst_ = static_cast<std::uint32_t>(lowFirst);
    lowCount_ = static_cast<std::uint32_t>(lowLast - lowFirst + 1);
    realLows_ = static_cast<std::uint32_t>(std::min(lowLast, lows - 1) - lowFirst + 1);
    mirrorRightLow_ = lowLast > lows - 1;
    mirrorLeftHigh_ = highJFirst < 0;
    if (highs > 0) {
        const std::int64_t first = std::max<std::int64_t>(highJFirst, 0);
        highFirst_ = static_cast<std::uint32_t>(first);
        realHighs_ = static_cast<std::uint32_t>(std::min(lowLast, highs - 1) - first + 1);
        highOffset_ = static_cast<std::uint32_t>(first - highJFirst);
        mirrorRightHigh_ = lowLast > highs - 1;
        // Column 2j + 1 beyond the end mirrors column 2(w - 1) - (2j + 1); column -1 is column 1.
        const std::int64_t source = std::max<std::int64_t>(w - 2 - lowLast, 0);
        rightHighSource_ = static_cast<std::uint32_t>(source - highJFirst);
    }
    splitLength_ = 2 * lowCount_ + 1;
    outLength_ = 2 * lowCount_ - 1;
    outStart_ = window.x0 & 1;
    highRows_ = window.height >> 1;

    // Per band: two even rows and the odd row (split), two output rows, two saved high rows.
    const std::size_t perBand = 3 * std::size_t(splitLength_) + 2 * std::size_t(outLength_) +
                                std::size_t(realLows_) + realHighs_;
    const std::size_t zeros = std::max<std::size_t>(splitLength_, 1);
    block_ = std::make_unique<std::int32_t[]>(perBand * bands + zeros);
    std::int32_t* at = block_.get();
    for (auto* rows : {&even_[0], &even_[1], &odd_, &outEven_, &outOdd_, &savedLH_, &savedHH_})
        rows->assign(bands, nullptr);
    for (std::uint16_t b = 0; b < bands; ++b) {
        for (auto* rows : {&even_[0], &even_[1], &odd_}) {
            (*rows)[b] = at;
            at += splitLength_;
        }
        outEven_[b] = at;
        at += outLength_;
        outOdd_[b] = at;
        at += outLength_;
        savedLH_[b] = at;
        at += realLows_;
        savedHH_[b] = at;
        at += realHighs_;
    }
    zeros_ = at;
    for (auto* rows : {&ref_, &hl_, &lhPrev_, &lhCur_, &hhPrev_, &hhCur_})
        rows->assign(bands, zeros_);
    fetched_.assign(bands, nullptr);
}

PipeSeg::~PipeSeg() = default;

PipeSegWindow PipeSeg::getInputWindow() const {
    PipeSegWindow input;
    input.width = (window_.width + 1) >> 1;
    input.height = (window_.height + 1) >> 1;
    input.x0 = lowFirst_;
    input.x1 = lowFirst_ + realLows_ - 1;
    input.y0 = window_.y0 >> 1;
    input.y1 = std::min((window_.y1 + 1) >> 1, input.height - 1);
    return input;
}

bool PipeSeg::holdsRow(std::uint32_t y) const {
    return holding_ && (y == 2 * heldPair_ || (holdingOdd_ && y == 2 * heldPair_ + 1));
}

bool PipeSeg::isDone() const {
    return primed_ && 2 * std::uint64_t(nextPair_) > window_.y1;
}

bool PipeSeg::needsInput() const {
    if (!primed_) return true;
    const std::uint64_t p = nextPair_;
    return 2 * p + 1 <= window_.y1 && 2 * p + 2 <= window_.height - 1;
}

std::uint32_t PipeSeg::getNextInputRow() const {
    return primed_ ? nextPair_ + 1 : window_.y0 >> 1;
}

KVStatus PipeSeg::step(const std::int32_t* const* lowInput, SubbandRowSource& source) {
    return primed_ ? makePair(lowInput, source) : prime(lowInput, source);
}

const std::int32_t* PipeSeg::getRow(std::uint16_t band, std::uint32_t y) const {
    return ((y & 1) ? outOdd_[band] : outEven_[band]) + outStart_;
}

KVStatus PipeSeg::fetch(std::vector<const std::int32_t*>& rows, std::uint8_t subband,
                        std::uint32_t row, bool high, SubbandRowSource& source) {
    const std::uint32_t first = high ? highFirst_ : lowFirst_;
    const std::uint32_t count = high ? realHighs_ : realLows_;
    if (count == 0) return KV_OK;
    KV_RETURN_IF_FAILED(
        source.getSubbandRow(fetched_.data(), subband, row, first, first + count - 1));
    std::copy(fetched_.begin(), fetched_.end(), rows.begin());
    return KV_OK;
}

// Row r of both vertically-high subbands becomes the current high rows.
KVStatus PipeSeg::fetchHighRows(std::uint32_t r, SubbandRowSource& source) {
    KV_RETURN_IF_FAILED(
        fetch(lhCur_, static_cast<std::uint8_t>(firstSubband_ + 2), r, false, source));
    KV_RETURN_IF_FAILED(
        fetch(hhCur_, static_cast<std::uint8_t>(firstSubband_ + 3), r, true, source));
    curInSource_ = true;
    return KV_OK;
}

// The current high rows (row r - 1) become the previous ones, and row r, or at the bottom the
// mirror of row r - 1, the current ones. Crossing into a new row of subblocks may move the
// strips that the previous rows point into, so they are copied first.
KVStatus PipeSeg::advanceHighRows(std::uint32_t r, SubbandRowSource& source) {
    lhPrev_ = lhCur_;
    hhPrev_ = hhCur_;
    prevInSource_ = curInSource_;
    if (r >= highRows_) return KV_OK;
    if (prevInSource_ && r % subblockSize_ == 0) {
        for (std::uint16_t b = 0; b < bands_; ++b) {
            std::copy_n(lhPrev_[b], realLows_, savedLH_[b]);
            std::copy_n(hhPrev_[b], realHighs_, savedHH_[b]);
            lhPrev_[b] = savedLH_[b];
            hhPrev_[b] = savedHH_[b];
        }
        prevInSource_ = false;
    }
    return fetchHighRows(r, source);
}

void PipeSeg::verticalStep(std::int32_t* const* even, std::int32_t* const* odd,
                           std::int32_t* const* evenAbove,
                           const std::int32_t* const* lowInput) const {
    const std::uint32_t h = lowCount_ + highOffset_;
    const bool predict = odd != nullptr;
    const auto updateLow = kernels_->update[1][predict];
    const auto updateHigh = kernels_->update[0][predict];
    for (std::uint16_t b = 0; b < bands_; ++b) {
        updateLow(even[b], predict ? odd[b] : nullptr, predict ? evenAbove[b] : nullptr,
                  lowInput[b], ref_[b], lhPrev_[b], lhCur_[b], realLows_);
        updateHigh(even[b] + h, predict ? odd[b] + h : nullptr,
                   predict ? evenAbove[b] + h : nullptr, hl_[b], nullptr, hhPrev_[b], hhCur_[b],
                   realHighs_);
    }
}

void PipeSeg::predictLastOdd(std::int32_t* const* odd, std::int32_t* const* even) const {
    const std::uint32_t h = lowCount_ + highOffset_;
    for (std::uint16_t b = 0; b < bands_; ++b) {
        kernels_->predict(odd[b], lhCur_[b], even[b], even[b], realLows_);
        kernels_->predict(odd[b] + h, hhCur_[b], even[b] + h, even[b] + h, realHighs_);
    }
}

// Fills the border samples of a split row by symmetric extension, then synthesises it.
void PipeSeg::synthesize(std::int32_t* split, std::int32_t* out) const {
    std::int32_t* low = split;
    std::int32_t* high = split + lowCount_;
    if (realHighs_ == 0) {
        // A level one column wide: no high samples, the low sample passes unchanged.
        std::fill_n(high, lowCount_ + 1, 0);
    } else {
        if (mirrorLeftHigh_) high[0] = high[1];
        if (mirrorRightHigh_) high[lowCount_] = high[rightHighSource_];
    }
    if (mirrorRightLow_) low[lowCount_ - 1] = low[lowCount_ - 2];
    kernels_->synthesize(low, high, lowCount_, out);
}

KVStatus PipeSeg::prime(const std::int32_t* const* lowInput, SubbandRowSource& source) {
    const std::uint32_t p = window_.y0 >> 1;
    KV_RETURN_IF_FAILED(fetch(ref_, firstSubband_, p, false, source));
    KV_RETURN_IF_FAILED(fetch(hl_, static_cast<std::uint8_t>(firstSubband_ + 1), p, true, source));
    // The even row 2p sits between high rows p - 1 and p; the first mirrors itself at the top,
    // the second the first at the bottom of a level of odd height. A level one row high has no
    // high rows: both stay zero.
    if (highRows_ > 0) {
        if (p > 0) {
            KV_RETURN_IF_FAILED(fetchHighRows(p - 1, source));
            KV_RETURN_IF_FAILED(advanceHighRows(p, source));
        } else {
            KV_RETURN_IF_FAILED(fetchHighRows(0, source));
            lhPrev_ = lhCur_;
            hhPrev_ = hhCur_;
            prevInSource_ = true;
        }
    }
    verticalStep(even_[evenIndex_].data(), nullptr, nullptr, lowInput);
    primed_ = true;
    nextPair_ = p;
    return KV_OK;
}

KVStatus PipeSeg::makePair(const std::int32_t* const* lowInput, SubbandRowSource& source) {
    const std::uint32_t p = nextPair_;
    std::int32_t* const* even = even_[evenIndex_].data();
    const bool oddWanted = 2 * std::uint64_t(p) + 1 <= window_.y1;
    if (oddWanted) {
        if (2 * std::uint64_t(p) + 2 <= window_.height - 1) {
            std::int32_t* const* next = even_[evenIndex_ ^ 1].data();
            KV_RETURN_IF_FAILED(fetch(ref_, firstSubband_, p + 1, false, source));
            KV_RETURN_IF_FAILED(
                fetch(hl_, static_cast<std::uint8_t>(firstSubband_ + 1), p + 1, true, source));
            KV_RETURN_IF_FAILED(advanceHighRows(p + 1, source));
            verticalStep(next, odd_.data(), even, lowInput);
            evenIndex_ ^= 1;
        } else {
            predictLastOdd(odd_.data(), even);
        }
    }
    for (std::uint16_t b = 0; b < bands_; ++b) {
        synthesize(even[b], outEven_[b]);
        if (oddWanted) synthesize(odd_[b], outOdd_[b]);
    }
    holding_ = true;
    holdingOdd_ = oddWanted;
    heldPair_ = p;
    ++nextPair_;
    return KV_OK;
}

} // namespace Korvel
