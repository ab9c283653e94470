#include "QG2Synthesis.h"

#include "QG2Status.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <cstring>

namespace Korvel {
namespace {

std::int64_t ceilHalf(std::int64_t a) {
    return (a + 1) >> 1;
}
std::int64_t floorHalf(std::int64_t a) {
    return a >> 1;
}

// A position of a signal of full samples after whole-sample symmetric extension at both ends
// (full of 2 or more).
std::int64_t mirror(std::int64_t position, std::int64_t full) {
    const std::int64_t period = 2 * (full - 1);
    std::int64_t m = position % period;
    if (m < 0) m += period;
    return m > full - 1 ? period - m : m;
}

// The window of positions first - 4 to last + 4 that the lifting works on: its low indices
// evenFirst..evenLast (positions 2k) and its high indices oddFirst..oddLast (positions 2k + 1).
struct Window {
    explicit Window(const QG2LineSpan& span)
        : w0(span.first - 4), w1(span.last + 4), evenFirst(ceilHalf(w0)), evenLast(floorHalf(w1)),
          oddFirst(ceilHalf(w0 - 1)), oddLast(floorHalf(w1 - 1)) {}

    std::int64_t evenCount() const { return evenLast - evenFirst + 1; }
    std::int64_t oddCount() const { return oddLast - oddFirst + 1; }
    // The high index of the odd position before an even one, less its low index.
    std::int64_t highShift() const { return evenFirst - oddFirst; }
    // Window indices of the even positions within [lo, hi], and of the odd ones.
    std::pair<std::int64_t, std::int64_t> evens(std::int64_t lo, std::int64_t hi) const {
        return {ceilHalf(lo) - evenFirst, floorHalf(hi) - evenFirst};
    }
    std::pair<std::int64_t, std::int64_t> odds(std::int64_t lo, std::int64_t hi) const {
        return {ceilHalf(lo - 1) - oddFirst, floorHalf(hi - 1) - oddFirst};
    }
    // The window index of an output position in its parity's array.
    std::int64_t index(std::int64_t position) const {
        return (position & 1) != 0 ? (position - 1) / 2 - oddFirst : position / 2 - evenFirst;
    }

    std::int64_t w0, w1, evenFirst, evenLast, oddFirst, oddLast;
};

// The index, in the low (parity 0) or high (parity 1) part at hand, of the sample that feeds
// index k of that parity, or -1 when the part does not hold it (such positions lie outside what
// the range depends on). Both ends mirror a position onto one of the same parity.
std::int64_t sourceIndex(std::int64_t k, int parity, const QG2LineSpan& span) {
    std::int64_t position = 2 * k + parity;
    if (position < 0 || position >= span.full) position = mirror(position, span.full);
    const std::int64_t index =
        (position - parity) / 2 - (parity != 0 ? span.highFirst : span.lowFirst);
    return index >= 0 && index < (parity != 0 ? span.highCount : span.lowCount) ? index : -1;
}

// Fills out[0..count) with the samples of one parity (from part) for indices first..: the run
// inside the signal that the part holds is copied at once, the rest (the mirrored ends) one by one.
void fillLine(float* out, std::int64_t first, std::size_t count, int parity, const float* part,
              const QG2LineSpan& span) {
    const std::int64_t partFirst = parity != 0 ? span.highFirst : span.lowFirst;
    const std::int64_t partCount = parity != 0 ? span.highCount : span.lowCount;
    const std::int64_t last = first + static_cast<std::int64_t>(count) - 1;
    const std::int64_t runFirst = std::max({first, partFirst, std::int64_t{0}});
    const std::int64_t runLast =
        std::min({last, partFirst + partCount - 1, floorHalf(span.full - 1 - parity)});
    const auto one = [&](std::int64_t k) {
        const std::int64_t source = sourceIndex(k, parity, span);
        out[k - first] = source < 0 ? 0.0f : part[source];
    };
    if (runFirst > runLast) {
        for (std::int64_t k = first; k <= last; ++k)
            one(k);
        return;
    }
    for (std::int64_t k = first; k < runFirst; ++k)
        one(k);
    std::memcpy(out + (runFirst - first), part + (runFirst - partFirst),
                static_cast<std::size_t>(runLast - runFirst + 1) * sizeof(float));
    for (std::int64_t k = runLast + 1; k <= last; ++k)
        one(k);
}

// One lifting step: target[i] +-= c (source[i + offset] + source[i + offset + 1]) for i in range.
// Even positions take the odd ones around them (offset shift - 1), odd positions the even ones
// (offset -shift).
template <bool Add>
void liftStep(float* target, const float* source, std::pair<std::int64_t, std::int64_t> range,
              std::int64_t offset, float c) {
    const float* before = source + offset;
    const float* after = before + 1;
    for (std::int64_t i = range.first; i <= range.second; ++i) {
        const float t = (before[i] + after[i]) * c;
        target[i] = Add ? target[i] + t : target[i] - t;
    }
}

// One step on a row of n samples from the rows before and after it (a column batch of the
// vertical pass): each sample as liftStep does its own.
template <bool Add>
void liftRow(float* __restrict row, const float* __restrict before, const float* __restrict after,
             std::size_t n, float c) {
    for (std::size_t x = 0; x < n; ++x) {
        const float t = (before[x] + after[x]) * c;
        row[x] = Add ? row[x] + t : row[x] - t;
    }
}

// The same step with the sample to update taken from another row.
template <bool Add>
void liftRowFrom(float* __restrict row, const float* __restrict base,
                 const float* __restrict before, const float* __restrict after, std::size_t n,
                 float c) {
    for (std::size_t x = 0; x < n; ++x) {
        const float t = (before[x] + after[x]) * c;
        row[x] = Add ? base[x] + t : base[x] - t;
    }
}

// Each step covers the positions whose neighbours the step before left exact, one more on each
// side than the next step needs.
void liftLine(float* even, float* odd, const Window& w) {
    const std::int64_t s = w.highShift();
    liftStep<false>(even, odd, w.evens(w.w0 + 1, w.w1 - 1), s - 1, QG2Lifting::kStep1);
    liftStep<false>(odd, even, w.odds(w.w0 + 2, w.w1 - 2), -s, QG2Lifting::kStep2);
    liftStep<true>(even, odd, w.evens(w.w0 + 3, w.w1 - 3), s - 1, QG2Lifting::kStep3);
    liftStep<true>(odd, even, w.odds(w.w0 + 4, w.w1 - 4), -s, QG2Lifting::kStep4);
}

// Columns processed together: rows of a batch stay in the cache through the four steps.
constexpr std::size_t kColumnBatch = 128;

// The window reaches this many rows beyond the range on each side.
constexpr std::int64_t kReach = 4;

// Vertical synthesis of a batch of n columns of a low and a high plane (rows stride samples apart)
// into rows that hold the window's positions in order (row r: position w0 + r). The first two
// steps take the samples they update and their neighbours from the planes themselves (through
// sourceIndex, a row of zeros where a plane does not hold the sample), so nothing is copied first;
// the last two work in place. Each step writes the positions the next one reads.
class ColumnLifter {
public:
    ColumnLifter(const float* low, const float* high, std::size_t stride, const QG2LineSpan& span,
                 const Window& w, float* out)
        : low_(low), high_(high), stride_(stride), span_(span), w_(w), out_(out) {}

    void lift(std::size_t c0, std::size_t n) {
        const std::int64_t w0 = w_.w0, w1 = w_.w1;
        for (std::int64_t p = even(w0 + 1); p <= w1 - 1; p += 2)
            liftRowFrom<false>(row(p, c0), source(p, c0), source(p - 1, c0), source(p + 1, c0), n,
                               QG2Lifting::kStep1);
        for (std::int64_t p = odd(w0 + 2); p <= w1 - 2; p += 2)
            liftRowFrom<false>(row(p, c0), source(p, c0), row(p - 1, c0), row(p + 1, c0), n,
                               QG2Lifting::kStep2);
        for (std::int64_t p = even(w0 + 3); p <= w1 - 3; p += 2)
            liftRow<true>(row(p, c0), row(p - 1, c0), row(p + 1, c0), n, QG2Lifting::kStep3);
        for (std::int64_t p = odd(w0 + 4); p <= w1 - 4; p += 2)
            liftRow<true>(row(p, c0), row(p - 1, c0), row(p + 1, c0), n, QG2Lifting::kStep4);
    }

private:
    static std::int64_t even(std::int64_t p) { return p + (p & 1); }
    static std::int64_t odd(std::int64_t p) { return p + ((p & 1) ^ 1); }

    float* row(std::int64_t position, std::size_t c0) const {
        return out_ + static_cast<std::size_t>(position - w_.w0) * stride_ + c0;
    }
    // The plane's sample row for a position of the window, or zeros.
    const float* source(std::int64_t position, std::size_t c0) const {
        const int parity = static_cast<int>(position & 1);
        const std::int64_t index = sourceIndex((position - parity) / 2, parity, span_);
        if (index < 0) return zeros_;
        return (parity != 0 ? high_ : low_) + static_cast<std::size_t>(index) * stride_ + c0;
    }

    static constexpr float zeros_[kColumnBatch] = {};
    const float* low_;
    const float* high_;
    std::size_t stride_;
    const QG2LineSpan& span_;
    const Window& w_;
    float* out_;
};

// Vertical synthesis of the columns of a low and a high plane (rows of n samples) into out, whose
// rows hold the window's positions span.first - 4 to span.last + 4 (n samples each), a batch of
// columns at a time, so that out's rows 4.. hold the range's samples.
void synthesiseColumns(const float* low, const float* high, std::size_t n, const QG2LineSpan& span,
                       float* out, KVIInterruptDelegate* interrupt) {
    if (span.full == 1) {
        // A single sample: the low one.
        if (span.lowCount > 0) std::memcpy(out + kReach * n, low, n * sizeof(float));
        return;
    }
    const Window w(span);
    ColumnLifter lifter(low, high, n, span, w, out);
    for (std::size_t c0 = 0; c0 < n; c0 += kColumnBatch) {
        lifter.lift(c0, std::min(kColumnBatch, n - c0));
        if (interrupt != nullptr && interrupt->checkInterrupt() != KV_OK)
            throw KVUtilException(KV_QG2_INTERRUPTED);
    }
}

// The vertical pass of a node: for the horizontally low children (0) and the horizontally high
// ones (1), the columns they hold and the signal their rows make.
struct ColumnSpans {
    ColumnSpans(const QG2Subband& node, QG2Subband* const (&pair)[2][2]) {
        for (int h = 0; h < 2; ++h) {
            const QG2Subband& lowChild = *pair[h][0];
            const QG2Subband& highChild = *pair[h][1];
            columns[h] = lowChild.getRect().width();
            QG2LineSpan& span = spans[h];
            span.full = node.getFullHeight();
            span.lowFirst = lowChild.getRect().y0;
            span.lowCount = lowChild.hasPlane(0) ? lowChild.getRect().height() : 0;
            span.highFirst = highChild.getRect().y0;
            span.highCount = highChild.hasPlane(0) ? highChild.getRect().height() : 0;
            span.first = node.getRect().y0;
            span.last = node.getRect().y1;
        }
    }
    std::int64_t columns[2] = {0, 0};
    QG2LineSpan spans[2];
};

// The signal along a node's rows: the columns of the two vertical planes.
QG2LineSpan rowSpanOf(const QG2Subband& node, const ColumnSpans& columns) {
    QG2LineSpan span;
    span.full = node.getFullWidth();
    span.lowFirst = node.child(0, 0)->getRect().x0;
    span.lowCount = columns.columns[0];
    span.highFirst = node.child(1, 0)->getRect().x0;
    span.highCount = columns.columns[1];
    span.first = node.getRect().x0;
    span.last = node.getRect().x1;
    return span;
}

// The node's samples from its four children, which then go.
void synthesiseNode(QG2Subband& node, std::vector<float>& scratch,
                    KVIInterruptDelegate* interrupt) {
    const KVIRect rect = node.getRect();
    const std::uint32_t planes = node.getPlaneCount();
    const std::int64_t columns = rect.width(), rows = rect.height();
    QG2Subband* pair[2][2] = {{node.child(0, 0), node.child(0, 1)},
                              {node.child(1, 0), node.child(1, 1)}};
    for (auto& column : pair)
        for (QG2Subband* child : column)
            if (!child->getRect().isEmpty() && !child->hasPlane(0)) child->allocatePlanes();

    // Plane by plane: down the columns, the horizontally low children into one plane and the
    // horizontally high into another, each with the node's rows and the window's rows around them;
    // then along the rows, the two planes into the node's, every sample of which is written.
    node.allocatePlanes(false);
    ColumnSpans columnSpans(node, pair);
    const QG2LineSpan rowSpan = rowSpanOf(node, columnSpans);
    Array2D<float> vertical[2];
    for (int h = 0; h < 2; ++h) {
        vertical[h].setPool(node.getPool());
        if (columnSpans.columns[h] > 0 && rows > 0) {
            vertical[h].resize(1, static_cast<std::uint32_t>(columnSpans.columns[h]),
                               static_cast<std::uint32_t>(rows + 2 * kReach));
            vertical[h].allocate(false); // every sample written below
        }
    }
    for (std::uint32_t b = 0; b < planes; ++b) {
        for (int h = 0; h < 2; ++h) {
            if (!vertical[h].hasPlane(0)) continue;
            const QG2LineSpan& span = columnSpans.spans[h];
            synthesiseColumns(span.lowCount > 0 ? pair[h][0]->plane(b) : nullptr,
                              span.highCount > 0 ? pair[h][1]->plane(b) : nullptr,
                              static_cast<std::size_t>(columnSpans.columns[h]), span,
                              vertical[h].plane(0), interrupt);
        }
        if (columns == 0 || rows == 0) continue;
        for (std::int64_t y = 0; y < rows; ++y) {
            const auto row = static_cast<std::uint32_t>(y);
            const auto from = static_cast<std::uint32_t>(y + kReach);
            qg2SynthesiseLine(vertical[0].row(0, from),
                              rowSpan.highCount > 0 ? vertical[1].row(0, from) : nullptr, rowSpan,
                              node.row(b, row), scratch);
        }
    }
    node.destroyChildren();
}

// Positions first..last of the lifted window into out: even positions from even, odd ones from
// odd, in pairs (an even position and the odd one after it) between a lone odd first and a lone
// even last.
void interleave(const float* even, const float* odd, const Window& w, std::int64_t first,
                std::int64_t last, float* out) {
    std::int64_t p = first;
    if ((p & 1) != 0) *out++ = odd[w.index(p++)];
    const auto pairs = static_cast<std::size_t>((last - p + 1) / 2);
    const float* e = even + w.index(p);
    const float* o = odd + w.index(p + 1);
    for (std::size_t k = 0; k < pairs; ++k) {
        out[2 * k] = e[k];
        out[2 * k + 1] = o[k];
    }
    p += 2 * static_cast<std::int64_t>(pairs);
    if (p == last) out[2 * pairs] = even[w.index(p)];
}

void synthesiseTree(QG2Subband& node, std::vector<float>& scratch,
                    KVIInterruptDelegate* interrupt) {
    if (node.isLeaf()) return;
    for (const auto& [h, v] : QG2Subband::kChildOrder)
        synthesiseTree(*node.child(h, v), scratch, interrupt);
    synthesiseNode(node, scratch, interrupt);
}

} // namespace

void qg2SynthesiseLine(const float* low, const float* high, const QG2LineSpan& span, float* out,
                       std::vector<float>& scratch) {
    if (span.last < span.first) return;
    if (span.full == 1) {
        out[0] = span.lowCount > 0 ? low[0] : 0.0f;
        return;
    }
    const Window w(span);
    const auto evens = static_cast<std::size_t>(w.evenCount());
    const auto odds = static_cast<std::size_t>(w.oddCount());
    scratch.resize(evens + odds);
    float* even = scratch.data();
    float* odd = even + evens;
    fillLine(even, w.evenFirst, evens, 0, low, span);
    fillLine(odd, w.oddFirst, odds, 1, high, span);
    liftLine(even, odd, w);
    interleave(even, odd, w, span.first, span.last, out);
}

void qg2Synthesise(QG2Subband& root, KVIInterruptDelegate* interrupt) {
    std::vector<float> scratch;
    synthesiseTree(root, scratch, interrupt);
}

} // namespace Korvel
