#include "QG2SubbandInfo.h"

#include "QG2Status.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <new>

namespace Korvel {
namespace {

// Sorted, distinct boundaries: 0 and the given ones.
std::vector<std::int64_t> boundaries(std::vector<std::int64_t> values) {
    values.push_back(0);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

// Index of the cell that holds coordinate v: the last boundary at or below it.
std::size_t cellOf(const std::vector<std::int64_t>& bounds, std::int64_t v) {
    const auto it = std::upper_bound(bounds.begin(), bounds.end(), v);
    return static_cast<std::size_t>(it - bounds.begin()) - 1;
}

} // namespace

QG2SubbandInfo::~QG2SubbandInfo() = default;

std::uint32_t QG2SubbandInfo::getDirectoryOffset(std::uint32_t region, std::uint32_t band) const {
    if (region >= regions_.size() || band >= bands_) return 0;
    return directoryOffsets_[std::size_t{region} * bands_ + band];
}

KVStatus QG2SubbandInfo::setRegions(std::vector<KVIRect> regions,
                                    std::vector<std::uint32_t> directoryOffsets,
                                    QG2InfoBudget& budget) {
    std::vector<std::int64_t> xs, ys;
    xs.reserve(2 * regions.size());
    ys.reserve(2 * regions.size());
    KVIRect box;
    for (const KVIRect& r : regions) {
        xs.push_back(r.x0);
        xs.push_back(std::int64_t{r.x1} + 1);
        ys.push_back(r.y0);
        ys.push_back(std::int64_t{r.y1} + 1);
        box = box.isEmpty() ? r
                            : KVIRect{std::min(box.x0, r.x0), std::min(box.y0, r.y0),
                                      std::max(box.x1, r.x1), std::max(box.y1, r.y1)};
    }
    xs = boundaries(std::move(xs));
    ys = boundaries(std::move(ys));
    const std::uint64_t cellCount = std::uint64_t{xs.size() - 1} * (ys.size() - 1);
    if (cellCount > budget.gridCells) return KV_QG2_BAD_STRUCTURE;
    budget.gridCells -= cellCount;

    std::vector<std::uint32_t> cells(cellCount, 0);
    const std::size_t columns = xs.size() - 1;
    for (std::size_t k = 0; k < regions.size(); ++k) {
        const KVIRect& r = regions[k];
        const std::size_t c0 = cellOf(xs, r.x0), c1 = cellOf(xs, std::int64_t{r.x1} + 1);
        const std::size_t r0 = cellOf(ys, r.y0), r1 = cellOf(ys, std::int64_t{r.y1} + 1);
        for (std::size_t row = r0; row < r1; ++row) {
            for (std::size_t c = c0; c < c1; ++c) {
                std::uint32_t& cell = cells[row * columns + c];
                if (cell != 0) return KV_QG2_BAD_STRUCTURE;
                cell = static_cast<std::uint32_t>(k + 1);
            }
        }
    }
    regions_ = std::move(regions);
    directoryOffsets_ = std::move(directoryOffsets);
    xs_ = std::move(xs);
    ys_ = std::move(ys);
    cells_ = std::move(cells);
    boundingBox_ = box;
    return KV_OK;
}

KVStatus QG2SubbandInfo::regionsMeeting(const KVIRect& rect,
                                        std::vector<std::uint32_t>& regions) const {
    regions.clear();
    const KVIRect wanted = rect.intersect(boundingBox_);
    if (wanted.isEmpty()) return KV_OK;
    const std::size_t columns = xs_.size() - 1;
    const std::size_t c0 = cellOf(xs_, wanted.x0), c1 = cellOf(xs_, wanted.x1);
    const std::size_t r0 = cellOf(ys_, wanted.y0), r1 = cellOf(ys_, wanted.y1);
    const KVStatus status = kvGuard([&] {
        std::vector<bool> seen(regions_.size(), false);
        for (std::size_t row = r0; row <= r1; ++row) {
            for (std::size_t c = c0; c <= c1; ++c) {
                const std::uint32_t cell = cells_[row * columns + c];
                if (cell != 0 && !seen[cell - 1]) {
                    seen[cell - 1] = true;
                    regions.push_back(cell - 1);
                }
            }
        }
    });
    if (status != KV_OK) regions.clear();
    return status;
}

} // namespace Korvel
