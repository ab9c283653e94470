#include "PlaneOrder.h"

#include <algorithm>

namespace quarn_test {

std::vector<SubbandSize> subbandSizes(const PlaneGeometry& g) {
    std::vector<SubbandSize> sizes(4 * g.levels + 1);
    std::uint32_t w = g.width;
    std::uint32_t h = g.height;
    for (std::uint32_t k = g.levels; k >= 1; --k) {
        const std::uint32_t a = 4 * k - 3;
        sizes[a] = {(w + 1) / 2, (h + 1) / 2, 0, 0};
        sizes[a + 1] = {w / 2, (h + 1) / 2, 0, 0};
        sizes[a + 2] = {(w + 1) / 2, h / 2, 0, 0};
        sizes[a + 3] = {w / 2, h / 2, 0, 0};
        w = (w + 1) / 2;
        h = (h + 1) / 2;
    }
    sizes[0] = {w, h, 0, 0};
    for (SubbandSize& s : sizes) {
        s.rows = (s.height + g.subblockSize - 1) / g.subblockSize;
        s.columns = (s.width + g.subblockSize - 1) / g.subblockSize;
    }
    return sizes;
}

// The rank formula, term by term:
//   no levels: columns x r + c.
//   a partial last row: after all full rows, in subband order.
//   else the rows of a level's subbands interleave (row r of each in subband order, the low band
//   first in level 1); then every finer level adds its rows up to the row this one waits for
//   (need = min(height, 2 need + 3)), every coarser level the rows that precede it
//   (m = (need - 3) / 2 + 1), each less its two high-pass columns where a row boundary falls
//   exactly on the count.
std::uint64_t pipeRank(const PlaneGeometry& g, std::uint32_t s, std::uint64_t r, std::uint64_t c) {
    const std::uint64_t S = g.subblockSize;
    const std::uint32_t L = g.levels;
    const std::vector<SubbandSize> sizes = subbandSizes(g);
    auto columns = [&](std::uint32_t i) -> std::uint64_t { return sizes[i].columns; };
    auto height = [&](std::uint32_t i) -> std::uint64_t { return sizes[i].height; };
    auto fullRows = [&](std::uint32_t i) { return height(i) / S; };
    auto levelColumns = [&](std::uint32_t k) {
        std::uint64_t sum = 0;
        for (std::uint32_t i = 4 * k - 3; i <= 4 * k; ++i)
            sum += columns(i);
        return k == 1 ? sum + columns(0) : sum;
    };
    if (L == 0) return columns(0) * r + c;
    if (r >= fullRows(s)) {
        std::uint64_t before = 0;
        for (std::uint32_t i = 0; i < sizes.size(); ++i)
            before += columns(i) * fullRows(i);
        for (std::uint32_t i = 0; i < s; ++i)
            if (height(i) % S != 0) before += columns(i);
        return before + c;
    }
    const std::uint32_t k = s == 0 ? 1 : (s + 3) / 4;
    const std::uint32_t q = s == 0 ? 0 : s - 4 * (k - 1);
    std::int64_t rank = std::int64_t(levelColumns(k) * r + c);
    if (k == 1 && q >= 1) rank += std::int64_t(columns(0));
    for (std::uint32_t before = 1; before < q; ++before)
        rank += std::int64_t(columns(4 * k - 4 + before));
    std::uint64_t need = (r + 1) * S - 1;
    if (q > 2 && need + 1 < height(s - 2)) ++need;
    const std::uint64_t own = need;
    for (std::uint32_t j = k + 1; j <= L; ++j) {
        need = std::min(height(4 * j - 3), 2 * need + 3);
        rank += std::int64_t(levelColumns(j) * (need / S));
        const bool keep = need >= height(4 * j - 3) && height(4 * j - 1) >= height(4 * j - 3);
        if (need % S == 0 && !keep) rank -= std::int64_t(columns(4 * j - 1) + columns(4 * j));
    }
    need = own;
    for (std::uint32_t j = k - 1; j >= 1 && need >= 3; --j) {
        const std::uint64_t m = (need - 3) / 2 + 1;
        rank += std::int64_t(levelColumns(j) * (m / S));
        if (m % S == 0) rank -= std::int64_t(columns(4 * j - 1) + columns(4 * j));
        need = (need - 3) / 2;
    }
    return static_cast<std::uint64_t>(rank);
}

std::vector<SubblockRef> subblockOrder(const PlaneGeometry& g, std::uint32_t kind) {
    const std::vector<SubbandSize> sizes = subbandSizes(g);
    std::vector<std::pair<std::uint64_t, SubblockRef>> all;
    for (std::uint32_t s = 0; s < sizes.size(); ++s)
        for (std::uint32_t r = 0; r < sizes[s].rows; ++r)
            for (std::uint32_t c = 0; c < sizes[s].columns; ++c)
                all.push_back(
                    {kind == 1 ? pipeRank(g, s, r, c) : all.size(), {s, r * sizes[s].columns + c}});
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<SubblockRef> order;
    for (const auto& entry : all)
        order.push_back(entry.second);
    return order;
}

} // namespace quarn_test
