#include "PipeSeg.h"

#include "SubbandRowSource.h"
#include "WaveletKernels.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cstring>

namespace Korvel {

PipeSegColumns::PipeSegColumns(const PipeSegWindow& window) {
    const std::int64_t w = window.width;
    const std::int64_t lows = (w + 1) >> 1;
    const std::int64_t highs = w >> 1;
    // The synthesis of columns x0..x1 reads the interleaved row from the odd column before x0 to
    // the odd column after x1.
    const std::int64_t x0 = window.rect.x0;
    const std::int64_t x1 = window.rect.x1;
    const std::int64_t left = x0 - (x0 & 1) - 1;
    const std::int64_t right = x1 + (x1 & 1) + 1;
    const std::int64_t first = (left + 1) / 2;
    const std::int64_t last = (right - 1) / 2;
    const std::int64_t highJFirst = first - 1;
    lowFirst = static_cast<std::uint32_t>(first);
    lowCount = static_cast<std::uint32_t>(last - first + 1);
    realLows = static_cast<std::uint32_t>(std::min(last, lows - 1) - first + 1);
    mirrorRightLow = last > lows - 1;
    mirrorLeftHigh = highJFirst < 0;
    if (highs > 0) {
        const std::int64_t firstHigh = std::max<std::int64_t>(highJFirst, 0);
        highFirst = static_cast<std::uint32_t>(firstHigh);
        realHighs = static_cast<std::uint32_t>(std::min(last, highs - 1) - firstHigh + 1);
        highOffset = static_cast<std::uint32_t>(firstHigh - highJFirst);
        mirrorRightHigh = last > highs - 1;
        // Column 2j + 1 beyond the end mirrors column 2(w - 1) - (2j + 1); column -1 is column 1.
        const std::int64_t source = std::max<std::int64_t>(w - 2 - last, 0);
        rightHighSource = static_cast<std::uint32_t>(source - highJFirst);
    }
}

PipeSegShared::PipeSegShared(std::uint16_t bands, std::size_t rowLength)
    : zeros(std::make_unique<std::int32_t[]>(rowLength)),
      odd(std::make_unique<std::int32_t[]>(rowLength)), refinement(bands, nullptr),
      highLow(bands, nullptr), lowHigh(bands, nullptr), highHigh(bands, nullptr),
      fetched(bands, nullptr) {}

PipeSeg::PipeSeg(std::uint16_t bands, const PipeSegWindow& window, std::uint8_t firstSubband,
                 std::uint16_t subblockSize, PipeSegShared& shared, const WaveletKernels& kernels)
    : bands_(bands), window_(window), columns_(window), firstSubband_(firstSubband),
      subblockSize_(std::max<std::uint32_t>(subblockSize, 1)), shared_(shared), kernels_(kernels) {
    outStart_ = static_cast<std::uint32_t>(window.rect.x0 & 1);
    highRows_ = window.height >> 1;
    perBand_ = columns_.splitLength() + 2 * std::size_t(columns_.outLength()) + columns_.realLows +
               columns_.realHighs;
    bandRows_.resize(bands);
    spareRow_ = std::make_unique<std::int32_t[]>(columns_.splitLength());
    spare_ = spareRow_.get();
}

PipeSeg::~PipeSeg() = default;

PipeSegWindow PipeSeg::inputWindowOf(const PipeSegWindow& window, const PipeSegColumns& columns) {
    PipeSegWindow input;
    input.width = (window.width + 1) >> 1;
    input.height = (window.height + 1) >> 1;
    input.rect.x0 = static_cast<std::int32_t>(columns.lowFirst);
    input.rect.x1 = static_cast<std::int32_t>(columns.lowFirst + columns.realLows - 1);
    input.rect.y0 = window.rect.y0 >> 1;
    input.rect.y1 = std::min<std::int32_t>((window.rect.y1 + 1) >> 1,
                                           static_cast<std::int32_t>(input.height) - 1);
    return input;
}

bool PipeSeg::holdsRow(std::uint32_t y) const {
    return holding_ && (y == 2 * heldPair_ || (holdingOdd_ && y == 2 * heldPair_ + 1));
}

bool PipeSeg::isDone() const {
    return primed_ && 2 * std::int64_t(nextPair_) > window_.rect.y1;
}

bool PipeSeg::needsInput() const {
    if (!primed_) return true;
    const std::int64_t p = nextPair_;
    return 2 * p + 1 <= window_.rect.y1 && 2 * p + 2 <= std::int64_t(window_.height) - 1;
}

std::uint32_t PipeSeg::getNextInputRow() const {
    return primed_ ? nextPair_ + 1 : static_cast<std::uint32_t>(window_.rect.y0) >> 1;
}

KVStatus PipeSeg::step(const std::int32_t* const* lowInput, SubbandRowSource& source) {
    return primed_ ? makePair(lowInput, source) : prime(lowInput, source);
}

const std::int32_t* PipeSeg::getRow(std::uint16_t band, std::uint32_t y) const {
    const Band* rows = bandRows_[band].get();
    if (rows == nullptr) return nullptr;
    return outRows(*rows) + ((y & 1) ? columns_.outLength() : 0) + outStart_;
}

std::int32_t* PipeSeg::makeRowWritable(std::uint16_t band, std::uint32_t y) {
    return outRows(bandRows(band)) + ((y & 1) ? columns_.outLength() : 0) + outStart_;
}

PipeSeg::Band& PipeSeg::bandRows(std::uint16_t band) {
    std::unique_ptr<Band>& rows = bandRows_[band];
    if (!rows) {
        auto made = std::make_unique<Band>();
        made->block = std::make_unique<std::int32_t[]>(perBand_);
        made->even = made->block.get();
        rows = std::move(made);
    }
    return *rows;
}

KVStatus PipeSeg::fetch(std::vector<const std::int32_t*>& rows, std::uint8_t subband,
                        std::uint32_t row, bool high, SubbandRowSource& source) {
    const std::uint32_t first = high ? columns_.highFirst : columns_.lowFirst;
    const std::uint32_t count = high ? columns_.realHighs : columns_.realLows;
    if (count == 0) {
        // A level one column wide has no high samples: its rows stay zero.
        std::fill(rows.begin(), rows.end(), nullptr);
        return KV_OK;
    }
    std::vector<std::int32_t*>& fetched = shared_.fetched;
    KV_RETURN_IF_FAILED(
        source.getSubbandRow(fetched.data(), subband, row, first, first + count - 1));
    std::copy(fetched.begin(), fetched.end(), rows.begin());
    return KV_OK;
}

KVStatus PipeSeg::fetchHighRows(std::uint32_t r, bool previous, SubbandRowSource& source) {
    const bool save = previous && r % subblockSize_ == 0;
    const std::size_t saved = columns_.splitLength() + 2 * std::size_t(columns_.outLength());
    for (std::unique_ptr<Band>& band : bandRows_) {
        if (!band) continue;
        if (previous) {
            band->lhPrev = band->lhCur;
            band->hhPrev = band->hhCur;
        }
        if (save) {
            std::int32_t* savedLH = band->block.get() + saved;
            std::int32_t* savedHH = savedLH + columns_.realLows;
            if (band->lhPrev) {
                std::copy_n(band->lhPrev, columns_.realLows, savedLH);
                band->lhPrev = savedLH;
            }
            if (band->hhPrev) {
                std::copy_n(band->hhPrev, columns_.realHighs, savedHH);
                band->hhPrev = savedHH;
            }
        }
    }
    KV_RETURN_IF_FAILED(
        fetch(shared_.lowHigh, static_cast<std::uint8_t>(firstSubband_ + 2), r, false, source));
    KV_RETURN_IF_FAILED(
        fetch(shared_.highHigh, static_cast<std::uint8_t>(firstSubband_ + 3), r, true, source));
    // A band whose previous rows are not zero has its rows already.
    for (std::uint16_t b = 0; b < bands_; ++b) {
        if (!bandRows_[b] && !shared_.lowHigh[b] && !shared_.highHigh[b]) continue;
        Band& band = bandRows(b);
        band.lhCur = shared_.lowHigh[b];
        band.hhCur = shared_.highHigh[b];
    }
    return KV_OK;
}

// The current high rows (row r - 1) become the previous ones, and row r, or at the bottom the
// mirror of row r - 1, the current ones.
KVStatus PipeSeg::advanceHighRows(std::uint32_t r, SubbandRowSource& source) {
    if (r < highRows_) return fetchHighRows(r, true, source);
    for (std::unique_ptr<Band>& band : bandRows_)
        if (band) {
            band->lhPrev = band->lhCur;
            band->hhPrev = band->hhCur;
        }
    return KV_OK;
}

void PipeSeg::verticalStep(const Band& rows, std::int32_t* even, std::int32_t* odd,
                           const std::int32_t* evenAbove, const std::int32_t* lowInput,
                           std::uint16_t band) const {
    const std::uint32_t h = columns_.lowCount + columns_.highOffset;
    const bool predict = odd != nullptr;
    kernels_.update[1][predict](even, odd, evenAbove, orZeros(lowInput),
                                orZeros(shared_.refinement[band]), orZeros(rows.lhPrev),
                                orZeros(rows.lhCur), columns_.realLows);
    kernels_.update[0][predict](even + h, predict ? odd + h : nullptr,
                                predict ? evenAbove + h : nullptr, orZeros(shared_.highLow[band]),
                                nullptr, orZeros(rows.hhPrev), orZeros(rows.hhCur),
                                columns_.realHighs);
}

void PipeSeg::synthesize(std::int32_t* split, std::int32_t* out) const {
    const std::uint32_t n = columns_.lowCount;
    std::int32_t* low = split;
    std::int32_t* high = split + n;
    if (columns_.realHighs == 0) {
        // A level one column wide: no high samples, the low sample passes unchanged.
        std::fill_n(high, n + 1, 0);
    } else {
        if (columns_.mirrorLeftHigh) high[0] = high[1];
        if (columns_.mirrorRightHigh) high[n] = high[columns_.rightHighSource];
    }
    if (columns_.mirrorRightLow) low[n - 1] = low[n - 2];
    kernels_.synthesize(low, high, n, out);
}

// A band that no data has reached stays without rows: its even row is zero.
KVStatus PipeSeg::prime(const std::int32_t* const* lowInput, SubbandRowSource& source) {
    const std::uint32_t p = static_cast<std::uint32_t>(window_.rect.y0) >> 1;
    KV_RETURN_IF_FAILED(fetch(shared_.refinement, firstSubband_, p, false, source));
    KV_RETURN_IF_FAILED(
        fetch(shared_.highLow, static_cast<std::uint8_t>(firstSubband_ + 1), p, true, source));
    // The even row 2p sits between high rows p - 1 and p; the first mirrors itself at the top,
    // the second the first at the bottom of a level of odd height. A level one row high has no
    // high rows: both stay zero.
    if (highRows_ > 0) {
        if (p > 0) {
            KV_RETURN_IF_FAILED(fetchHighRows(p - 1, false, source));
            KV_RETURN_IF_FAILED(advanceHighRows(p, source));
        } else {
            KV_RETURN_IF_FAILED(fetchHighRows(0, false, source));
            for (std::unique_ptr<Band>& band : bandRows_)
                if (band) {
                    band->lhPrev = band->lhCur;
                    band->hhPrev = band->hhCur;
                }
        }
    }
    for (std::uint16_t b = 0; b < bands_; ++b) {
        if (!bandRows_[b] && !lowInput[b] && !shared_.refinement[b] && !shared_.highLow[b])
            continue;
        Band& band = bandRows(b);
        verticalStep(band, band.even, nullptr, nullptr, lowInput[b], b);
    }
    primed_ = true;
    nextPair_ = p;
    return KV_OK;
}

// Each band in turn: the next even row into the spare row and the odd row into the shared one,
// the pair synthesised, then the spare and the band's even row change places.
KVStatus PipeSeg::makePair(const std::int32_t* const* lowInput, SubbandRowSource& source) {
    const std::uint32_t p = nextPair_;
    const bool oddWanted = 2 * std::int64_t(p) + 1 <= window_.rect.y1;
    const bool last = 2 * std::int64_t(p) + 2 > std::int64_t(window_.height) - 1;
    const bool next = oddWanted && !last;
    if (next) {
        KV_RETURN_IF_FAILED(fetch(shared_.refinement, firstSubband_, p + 1, false, source));
        KV_RETURN_IF_FAILED(fetch(shared_.highLow, static_cast<std::uint8_t>(firstSubband_ + 1),
                                  p + 1, true, source));
        KV_RETURN_IF_FAILED(advanceHighRows(p + 1, source));
    }
    const std::uint32_t h = columns_.lowCount + columns_.highOffset;
    std::int32_t* const odd = shared_.odd.get();
    for (std::uint16_t b = 0; b < bands_; ++b) {
        if (!bandRows_[b] &&
            (!next || (!lowInput[b] && !shared_.refinement[b] && !shared_.highLow[b])))
            continue;
        Band& band = bandRows(b);
        std::int32_t* const even = band.even;
        std::int32_t* const out = outRows(band);
        if (next) {
            verticalStep(band, spare_, odd, even, lowInput[b], b);
        } else if (oddWanted) {
            // The last odd row of a level of even height: the even row below mirrors the one
            // above.
            kernels_.predict(odd, orZeros(band.lhCur), even, even, columns_.realLows);
            kernels_.predict(odd + h, orZeros(band.hhCur), even + h, even + h, columns_.realHighs);
        }
        synthesize(even, out);
        if (oddWanted) synthesize(odd, out + columns_.outLength());
        if (next) {
            band.even = spare_;
            spare_ = even;
        }
    }
    holding_ = true;
    holdingOdd_ = oddWanted;
    heldPair_ = p;
    ++nextPair_;
    return KV_OK;
}

} // namespace Korvel
