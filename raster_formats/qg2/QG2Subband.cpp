#include "QG2Subband.h"

#include "QG2Status.h"

#include <algorithm>
#include <limits>

namespace Korvel {
namespace {

constexpr std::int64_t kMaxFullSize = std::numeric_limits<std::int32_t>::max();

// ceil(a / 2) and floor(a / 2) for any sign (arithmetic shifts).
std::int64_t ceilHalf(std::int64_t a) {
    return (a + 1) >> 1;
}
std::int64_t floorHalf(std::int64_t a) {
    return a >> 1;
}

struct Range {
    std::int64_t full = 0;
    std::int64_t start = 0;
    std::int64_t end = -1;
};

// A child's part of one direction: what the synthesis of the parent's range p0 to p1 reads.
Range childRange(std::int64_t parentFull, std::int64_t p0, std::int64_t p1, bool high) {
    Range r;
    r.full = high ? parentFull / 2 : (parentFull + 1) / 2;
    r.start = ceilHalf(p0 - (high ? 5 : 3));
    r.end = floorHalf(p1 + 3);
    r.end = std::max(r.end, r.start + 4);
    r.start = std::max<std::int64_t>(r.start, 0);
    r.end = std::min(r.end, r.full - 1);
    return r;
}

class TreeBuilder {
public:
    TreeBuilder(std::uint32_t levels, std::uint32_t planes, PlanePool<float>* pool)
        : levels_(levels), planes_(planes), pool_(pool) {}

    std::unique_ptr<QG2Subband> node(std::int32_t level, std::int64_t fullWidth,
                                     std::int64_t fullHeight, float scale, const KVIRect& rect) {
        const bool leaf = level >= static_cast<std::int32_t>(levels_);
        auto made = std::make_unique<QG2Subband>(
            leaf ? nextLeaf_++ : 0, static_cast<std::uint32_t>(fullWidth),
            static_cast<std::uint32_t>(fullHeight), scale, level, rect, planes_);
        made->setPool(pool_);
        if (leaf) return made;
        for (const auto& [h, v] : QG2Subband::kChildOrder) {
            const Range x = childRange(fullWidth, rect.x0, rect.x1, h != 0);
            const Range y = childRange(fullHeight, rect.y0, rect.y1, v != 0);
            const double factor = (h != 0 ? QG2Subband::kHighFactor : QG2Subband::kLowFactor);
            const double factorY = (v != 0 ? QG2Subband::kHighFactor : QG2Subband::kLowFactor);
            const auto childScale = static_cast<float>(double{scale} * factor * factorY);
            const KVIRect childRect{
                static_cast<std::int32_t>(x.start), static_cast<std::int32_t>(y.start),
                static_cast<std::int32_t>(x.end), static_cast<std::int32_t>(y.end)};
            // Only the low-low child goes on down; the others are leaves of the last level.
            const std::int32_t childLevel =
                h == 0 && v == 0 ? level + 1 : static_cast<std::int32_t>(levels_);
            made->setChild(h, v, node(childLevel, x.full, y.full, childScale, childRect));
        }
        return made;
    }

private:
    std::uint32_t levels_;
    std::uint32_t planes_;
    PlanePool<float>* pool_;
    std::uint32_t nextLeaf_ = 0;
};

// x^n by repeated squaring, in the precision of T.
template <class T> T powerBySquaring(T x, std::uint32_t n) {
    T result = 1;
    while (n != 0) {
        if (n & 1) result = result * x;
        x = x * x;
        n >>= 1;
    }
    return result;
}

} // namespace

QG2Subband::QG2Subband(std::uint32_t leafNumber, std::uint32_t fullWidth, std::uint32_t fullHeight,
                       float scale, std::int32_t level, const KVIRect& rect, std::uint32_t planes)
    : leafNumber_(leafNumber), fullWidth_(fullWidth), fullHeight_(fullHeight), scale_(scale),
      level_(level), rect_(rect), planeCount_(planes) {}

std::int64_t QG2Subband::fullSize(std::uint32_t size, std::int32_t level) {
    if (level >= 0) return ((std::int64_t{size} - 1) >> std::min(level, 62)) + 1;
    if (level < -31 || (std::int64_t{size} << -level) > kMaxFullSize)
        throw KVUtilException(KV_QG2_BAD_SUBBAND_RECT);
    return std::int64_t{size} << -level;
}

float QG2Subband::rootScale(std::int32_t level) {
    if (level < 0) return 1.0f / powerBySquaring(kLevelScale, static_cast<std::uint32_t>(-level));
    float s = 1.0f;
    for (std::int32_t i = 0; i < level; ++i)
        s = s * kLevelScale;
    return s;
}

std::unique_ptr<QG2Subband> QG2Subband::buildTree(const KVIRect& rect, std::int32_t level,
                                                  std::uint32_t levels, std::uint32_t width,
                                                  std::uint32_t height, std::uint32_t planes,
                                                  PlanePool<float>* pool) {
    if (level > static_cast<std::int64_t>(levels)) throw KVUtilException(KV_QG2_LEVEL_TOO_HIGH);
    const std::int64_t fullWidth = fullSize(width, level);
    const std::int64_t fullHeight = fullSize(height, level);
    if (rect.x0 < 0 || rect.y0 < 0 || rect.x0 > rect.x1 || rect.y0 > rect.y1 ||
        rect.x1 >= fullWidth || rect.y1 >= fullHeight)
        throw KVUtilException(KV_QG2_BAD_SUBBAND_RECT);
    return TreeBuilder(levels, planes, pool)
        .node(level, fullWidth, fullHeight, rootScale(level), rect);
}

float QG2Subband::dequantisationStep(float step, std::int32_t decodedLevel) const {
    const double gain =
        decodedLevel >= 0
            ? powerBySquaring(kLevelGain, static_cast<std::uint32_t>(decodedLevel))
            : 1.0 / powerBySquaring(kLevelGain, static_cast<std::uint32_t>(-decodedLevel));
    return step * ((1.0f / static_cast<float>(gain)) / scale_);
}

void QG2Subband::setChild(int horizontallyHigh, int verticallyHigh,
                          std::unique_ptr<QG2Subband> child) {
    children_[horizontallyHigh][verticallyHigh] = std::move(child);
}

void QG2Subband::destroyChildren() {
    for (auto& row : children_)
        for (auto& child : row)
            child.reset();
}

void QG2Subband::allocatePlanes(bool cleared) {
    const auto width = static_cast<std::uint32_t>(rect_.width());
    const auto height = static_cast<std::uint32_t>(rect_.height());
    resize(rect_.isEmpty() ? 0 : planeCount_, width, height);
    allocate(cleared);
}

} // namespace Korvel
