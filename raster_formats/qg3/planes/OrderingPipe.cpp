#include "qg3/planes/OrderingPipe.h"

#include "support/KVStatusGuard.h"
#include <algorithm>
#include <bit>

#include <limits>

namespace Korvel {

namespace {

constexpr std::uint64_t kSaturated = std::uint64_t(1) << 62;

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

} // namespace

std::unique_ptr<OrderingPipe> OrderingPipe::create(std::uint16_t subblockSize, std::uint8_t levels,
                                                   std::uint32_t height, std::uint32_t width) {
    if (subblockSize == 0 || width == 0 || height == 0) return nullptr;
    std::unique_ptr<OrderingPipe> ordering;
    if (kvGuard([&] {
            ordering.reset(new OrderingPipe(subblockSize, levels, height, width));
            ordering->makeTables();
        }) != KV_OK)
        return nullptr;
    // Sequence numbers are 32-bit.
    if (ordering->total_ > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    return ordering;
}

void OrderingPipe::makeTables() {
    const std::uint64_t S = subblockSize_;
    const std::uint32_t L = levels_;
    const std::uint32_t count = 4 * L + 1;
    heights_.assign(count, 0);
    columns_.assign(count, 0);
    fullRows_.assign(count, 0);
    rows_.assign(count, 0);
    tail_.assign(count, 0);
    levelColumns_.assign(L + 1, 0);
    cumulative_.assign(L + 1, 0);
    rowWeight_.assign(L + 1, 0);

    if (L == 0) {
        heights_[0] = height_;
        columns_[0] = ceilDiv(width_, S);
        rows_[0] = ceilDiv(height_, S);
        total_ = columns_[0] * rows_[0];
        return;
    }

    // Finest level first, each level's input halving (rounded up) towards the coarsest.
    std::uint64_t w = width_;
    std::uint64_t h = height_;
    for (std::uint32_t k = L; k >= 1; --k) {
        const std::uint32_t a = 4 * k - 3;
        heights_[a] = heights_[a + 1] = (h + 1) >> 1;
        heights_[a + 2] = heights_[a + 3] = h >> 1;
        columns_[a] = columns_[a + 2] = ceilDiv((w + 1) >> 1, S);
        columns_[a + 1] = columns_[a + 3] = ceilDiv(w >> 1, S);
        w = (w + 1) >> 1;
        h = (h + 1) >> 1;
    }
    heights_[0] = heights_[1];
    columns_[0] = columns_[1];

    std::uint64_t tail = 0;
    for (std::uint32_t s = 0; s < count; ++s) {
        fullRows_[s] = heights_[s] / S;
        rows_[s] = ceilDiv(heights_[s], S);
        totalFull_ += columns_[s] * fullRows_[s];
        total_ += columns_[s] * rows_[s];
        tail_[s] = tail;
        if (heights_[s] % S != 0) tail += columns_[s];
    }

    for (std::uint32_t k = 1; k <= L; ++k) {
        const std::uint32_t a = 4 * k - 3;
        levelColumns_[k] = columns_[a] + columns_[a + 1] + columns_[a + 2] + columns_[a + 3];
    }
    levelColumns_[1] += columns_[0];
    // Row weights double per level and pass any sequence number quickly; they are held below
    // 2^62, which every comparison with a 32-bit number treats alike.
    rowWeight_[L] = levelColumns_[L];
    cumulative_[L] = levelColumns_[L];
    for (std::uint32_t k = L - 1; k >= 1; --k) {
        rowWeight_[k] = std::min(kSaturated, levelColumns_[k] + 2 * rowWeight_[k + 1]);
        cumulative_[k] = levelColumns_[k] + cumulative_[k + 1];
    }

    for (std::uint32_t k = 1; k <= L; ++k) {
        const std::uint32_t d = L - k; // at most 62
        const std::uint64_t p = std::uint64_t(1) << d;
        Pair first{k == 1 ? 0u : 4 * k - 3, k, 0, 0};
        if (d > 0) {
            const std::uint64_t v = 2 * p - 3;
            first.firstRow = v / S + p - 1;
            first.phase = v % S;
        }
        const std::uint64_t v = 3 * (p - 1);
        pairs_.push_back(first);
        pairs_.push_back(Pair{4 * k - 1, k, v / S + p - 1, v % S});
    }
    for (std::uint32_t d = 0; d < L && d < 20; ++d)
        if (3 * ((std::uint64_t(1) << d) - 1) < S) ++shortcutDepth_;

    fine_ = L == 1 ? 0 : 4 * L - 3;
    runs_.reserve(pairs_.size() + 1);
    scratch_.reserve(pairs_.size());
}

std::uint32_t OrderingPipe::rank(std::uint8_t subband, std::uint16_t row,
                                 std::uint16_t column) const {
    return static_cast<std::uint32_t>(rankOf(subband, row, column));
}

// Unsigned arithmetic throughout: a subtraction may pass below zero on the way, the result does
// not.
std::uint64_t OrderingPipe::rankOf(std::uint32_t s, std::uint64_t r, std::uint64_t c) const {
    const std::uint64_t S = subblockSize_;
    const std::uint32_t L = levels_;
    if (L == 0) return columns_[0] * r + c;
    if (r >= fullRows_[s]) return totalFull_ + tail_[s] + c;

    const std::uint32_t k = s == 0 ? 1 : (s + 3) >> 2;
    const std::uint32_t q = s == 0 ? 0 : s - 4 * (k - 1);
    const std::uint32_t a = 4 * k - 3;
    std::uint64_t rank = levelColumns_[k] * r + c;
    if (k == 1 && q >= 1) rank += columns_[0];
    if (q > 1) rank += columns_[a];
    if (q > 2) rank += columns_[a + 1];
    if (q > 3) rank += columns_[a + 2];

    // The last row of the finer levels that this row waits for.
    std::uint64_t need = (r + 1) * S - 1;
    if (q > 2 && need + 1 < heights_[s - 2]) need += 1;
    const std::uint64_t own = need;
    for (std::uint32_t j = k + 1; j <= L; ++j) {
        const std::uint32_t b = 4 * j - 3;
        need = std::min(heights_[b], 2 * need + 3);
        rank += levelColumns_[j] * (need / S);
        if (need % S == 0 && !(need >= heights_[b] && heights_[b + 2] >= heights_[b]))
            rank -= columns_[b + 2] + columns_[b + 3];
    }
    // The rows of the coarser levels that this row is preceded by.
    need = own;
    for (std::uint32_t j = k - 1; j >= 1 && need >= 3; --j) {
        const std::uint32_t b = 4 * j - 3;
        const std::uint64_t m = ((need - 3) >> 1) + 1;
        rank += levelColumns_[j] * (m / S);
        if (m % S == 0) rank -= columns_[b + 2] + columns_[b + 3];
        need = (need - 3) >> 1;
    }
    return rank;
}

std::uint64_t OrderingPipe::runSize(const Pair& pair) const {
    if (pair.first == 0) return columns_[0] + columns_[1] + columns_[2];
    return columns_[pair.first] + columns_[pair.first + 1];
}

std::uint64_t OrderingPipe::fineRowOf(std::uint64_t n) const {
    const std::uint64_t rows = fullRows_[fine_];
    std::uint64_t t = n / rowWeight_[1];
    std::uint64_t rest = n % rowWeight_[1];
    for (std::uint32_t j = 2; j <= levels_; ++j) {
        t = std::min(2 * t, rows);
        if (rest >= rowWeight_[j]) {
            rest -= rowWeight_[j];
            t = std::min(t + 1, rows);
        }
    }
    if (t >= rows) t = rows - 1;
    // The estimate is never above the row; it may be below it.
    while (t + 1 < rows && rankOf(fine_, t + 1, 0) <= n)
        ++t;
    return t;
}

void OrderingPipe::buildGroup(std::uint64_t t) {
    const std::uint32_t L = levels_;
    const std::uint64_t rows = fullRows_[fine_];
    groupRow_ = t;
    groupStart_ = rankOf(fine_, t, 0);
    groupEnd_ = t + 1 < rows ? rankOf(fine_, t + 1, 0) : totalFull_;
    runs_.clear();

    if (t + 1 < rows) {
        // Shortcut: the group is whole rows of the finest z levels.
        const std::uint32_t z = 1 + static_cast<std::uint32_t>(std::countr_one(t));
        if (z <= shortcutDepth_ && groupEnd_ - groupStart_ == cumulative_[L - z + 1]) {
            std::uint64_t start = groupStart_;
            for (std::uint32_t k = L; k >= L - z + 1; --k) {
                const std::uint64_t end = start + levelColumns_[k];
                runs_.push_back(Run{k == 1 ? 0u : 4 * k - 3, t >> (L - k), start, end});
                start = end;
            }
            return;
        }
        // Middle group: the finest first pair, then every pair whose row falls due, by phase.
        scratch_.clear();
        const Pair* finestFirst = &pairs_[pairs_.size() - 2];
        for (const Pair& pair : pairs_) {
            if (&pair == finestFirst) continue;
            const std::uint32_t shift = L - pair.level;
            if (t < pair.firstRow) continue;
            const std::uint64_t since = t - pair.firstRow;
            if ((since & ((std::uint64_t(1) << shift) - 1)) != 0) continue;
            // Stable insertion by phase.
            auto at = scratch_.end();
            while (at != scratch_.begin() && (at - 1)->phase > pair.phase)
                --at;
            scratch_.insert(at, pair);
        }
        std::uint64_t start = groupStart_;
        const std::uint64_t finestEnd = start + runSize(*finestFirst);
        runs_.push_back(Run{finestFirst->first, t, start, finestEnd});
        start = finestEnd;
        for (const Pair& pair : scratch_) {
            const std::uint64_t end = start + runSize(pair);
            runs_.push_back(Run{pair.first, (t - pair.firstRow) >> (L - pair.level), start, end});
            start = end;
        }
        return;
    }

    // Last group: the pending row of each pair, ordered by where it starts.
    for (const Pair& pair : pairs_) {
        const std::uint32_t shift = L - pair.level;
        const std::uint64_t p = t <= pair.firstRow ? 0 : ((t - pair.firstRow - 1) >> shift) + 1;
        if (p >= fullRows_[pair.first]) continue;
        const Run run{pair.first, p, rankOf(pair.first, p, 0), 0};
        auto at = runs_.end();
        while (at != runs_.begin() && (at - 1)->start > run.start)
            --at;
        runs_.insert(at, run);
    }
    for (std::size_t i = 0; i < runs_.size(); ++i)
        runs_[i].end = i + 1 < runs_.size() ? runs_[i + 1].start : totalFull_;
}

bool OrderingPipe::locate(std::uint32_t n, std::uint8_t& subband, std::uint16_t& row,
                          std::uint16_t& column) {
    const std::uint32_t L = levels_;
    if (n >= total_) return false;
    if (L == 0) {
        subband = 0;
        row = static_cast<std::uint16_t>(n / columns_[0]);
        column = static_cast<std::uint16_t>(n % columns_[0]);
        return true;
    }
    if (n >= totalFull_) {
        // The partial last rows, in subband order; subbands without one are passed over.
        const std::uint64_t m = n - totalFull_;
        std::uint32_t i = 0;
        while (i < 4 * L && tail_[i + 1] <= m)
            ++i;
        if (m - tail_[i] >= columns_[i]) return false;
        subband = static_cast<std::uint8_t>(i);
        row = static_cast<std::uint16_t>(fullRows_[i]);
        column = static_cast<std::uint16_t>(m - tail_[i]);
        return true;
    }

    if (!(n >= lastRun_.start && n < lastRun_.end)) {
        if (!(n >= groupStart_ && n < groupEnd_)) buildGroup(fineRowOf(n));
        const Run* found = nullptr;
        for (const Run& run : runs_) {
            if (run.end > n) {
                found = &run;
                break;
            }
        }
        if (found == nullptr || n < found->start) return false;
        lastRun_ = *found;
    }

    std::uint64_t rest = n - lastRun_.start;
    std::uint32_t s = lastRun_.first;
    while (rest >= columns_[s]) {
        rest -= columns_[s];
        if (++s > 4 * L) return false;
    }
    if (lastRun_.row >= rows_[s]) return false;
    subband = static_cast<std::uint8_t>(s);
    row = static_cast<std::uint16_t>(lastRun_.row);
    column = static_cast<std::uint16_t>(rest);
    return true;
}

} // namespace Korvel
