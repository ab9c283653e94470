#pragma once
// The value range of a sample type: the integer types' own limits, [0.0, 1.0] for the floating
// types, whose samples are normalised.

#include <limits>
#include <type_traits>

namespace Korvel {

template <typename T> struct KVISampleRange {
    static constexpr T lo = std::is_floating_point_v<T> ? T(0) : std::numeric_limits<T>::min();
    static constexpr T hi = std::is_floating_point_v<T> ? T(1) : std::numeric_limits<T>::max();
};

} // namespace Korvel
