#pragma once
// An inclusive rectangle of generation-2 coordinates. A rectangle whose start lies above its end
// is empty; the canonical empty rectangle is (0, 1, -1, 0).

#include <algorithm>
#include <cstdint>

namespace Korvel {

struct QG2Rect {
    std::int32_t x0 = 0;
    std::int32_t y0 = 1;
    std::int32_t x1 = -1;
    std::int32_t y1 = 0;

    bool isEmpty() const { return x0 > x1 || y0 > y1; }
    // Sizes in 64 bits, 0 for an empty rectangle.
    std::int64_t width() const { return isEmpty() ? 0 : std::int64_t{x1} - x0 + 1; }
    std::int64_t height() const { return isEmpty() ? 0 : std::int64_t{y1} - y0 + 1; }
    bool contains(const QG2Rect& other) const {
        return !other.isEmpty() && other.x0 >= x0 && other.x1 <= x1 && other.y0 >= y0 &&
               other.y1 <= y1;
    }
    // The common part; the canonical empty rectangle when there is none.
    QG2Rect intersect(const QG2Rect& other) const {
        QG2Rect r{std::max(x0, other.x0), std::max(y0, other.y0), std::min(x1, other.x1),
                  std::min(y1, other.y1)};
        return isEmpty() || other.isEmpty() || r.isEmpty() ? QG2Rect{} : r;
    }
    bool operator==(const QG2Rect&) const = default;
};

} // namespace Korvel
