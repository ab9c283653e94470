#pragma once
// Values held within the 32-bit signed range: coordinates and counts computed in 64 bits or in
// double precision that must not wrap when narrowed.

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <utility>

namespace Korvel {

// Any integer, compared by value whatever its signedness and width.
template <std::integral T> constexpr std::int32_t saturateToInt32(T v) {
    if (std::cmp_less(v, std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (std::cmp_greater(v, std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

// Truncated toward zero; NaN gives 0.
inline std::int32_t saturateToInt32(double v) {
    if (std::isnan(v)) return 0;
    if (v <= std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    if (v >= std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

// floor(v + 0.5), the rounding of pixel positions, held within 32 bits; NaN gives 0.
inline std::int32_t roundToInt32(double v) {
    return saturateToInt32(std::floor(v + 0.5));
}

} // namespace Korvel
