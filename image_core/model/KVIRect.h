#pragma once
// An inclusive rectangle of pixel (or coefficient) coordinates: columns x0..x1 and rows y0..y1.
// A rectangle whose start lies beyond its end on either axis is empty; the default one,
// (0, 0, -1, -1), is the canonical empty rectangle. Sizes are 64-bit so that no pair of 32-bit
// corners overflows them.

#include <algorithm>
#include <cstdint>

namespace Korvel {

struct KVIRect {
    std::int32_t x0 = 0;
    std::int32_t y0 = 0;
    std::int32_t x1 = -1;
    std::int32_t y1 = -1;

    bool isEmpty() const { return x0 > x1 || y0 > y1; }
    // Columns and rows covered, 0 for an empty rectangle.
    std::int64_t width() const { return isEmpty() ? 0 : std::int64_t{x1} - x0 + 1; }
    std::int64_t height() const { return isEmpty() ? 0 : std::int64_t{y1} - y0 + 1; }
    // True when other is not empty and lies wholly inside this rectangle.
    bool contains(const KVIRect& other) const {
        return !other.isEmpty() && other.x0 >= x0 && other.x1 <= x1 && other.y0 >= y0 &&
               other.y1 <= y1;
    }
    // The common part; the canonical empty rectangle when there is none.
    KVIRect intersect(const KVIRect& other) const {
        const KVIRect r{std::max(x0, other.x0), std::max(y0, other.y0), std::min(x1, other.x1),
                        std::min(y1, other.y1)};
        return isEmpty() || other.isEmpty() || r.isEmpty() ? KVIRect{} : r;
    }
    bool operator==(const KVIRect&) const = default;
};

} // namespace Korvel
