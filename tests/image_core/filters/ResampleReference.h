#pragma once
// Plain references of the resamplers, written sample by sample from their definition: the
// position runs in single precision (x += step after each sample), indices are the position
// truncated toward zero and held within the row, arithmetic is float for 8- and 16-bit samples
// and float, double for 32-bit integers and double. Results are held within the type's range
// (for float and double from the smallest positive normal value up) by cubic, and by linear on
// integer types; integer results are truncated.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace resample_ref {

template <typename T>
using Arith =
    std::conditional_t<(std::is_integral_v<T> && sizeof(T) == 4) || std::is_same_v<T, double>,
                       double, float>;

struct Rect {
    std::int32_t x0, y0, x1, y1;
};

inline std::int64_t hold(std::int64_t i, std::int64_t low, std::int64_t high) {
    return i < low ? low : (i > high ? high : i);
}

// Taps of a method: nearest 0..0, linear 0..1, cubic -1..2.
inline int firstTap(int method) {
    return method == 3 ? -1 : 0;
}
inline int lastTap(int method) {
    return method == 1 ? 0 : (method == 2 ? 1 : 2);
}

template <typename T> T clampResult(Arith<T> v) {
    using F = Arith<T>;
    const F low = std::is_integral_v<T> ? F(std::numeric_limits<T>::lowest())
                                        : F(std::numeric_limits<T>::min());
    const F high = F(std::numeric_limits<T>::max());
    return static_cast<T>(std::max(low, std::min(high, v)));
}

template <typename F> F cubic(F p0, F p1, F p2, F p3, F t) {
    return (((p1 - p0 - p2 + p3) * t + ((p0 - p1) * 2 + p2 - p3)) * t + (p2 - p0)) * t + p1;
}

// One output row from the method's rows (1, 2 or 4 of them).
template <typename T>
void row(int method, float fy, std::uint32_t count, T* out, float x, float step, std::uint32_t n,
         const T* const* rows) {
    using F = Arith<T>;
    for (std::uint32_t i = 0; i < count; ++i, x += step) {
        const auto xi = static_cast<std::int64_t>(x);
        const float fx = x - static_cast<float>(xi);
        const auto at = [&](int r, std::int64_t k) {
            return static_cast<F>(rows[r][hold(xi + k, 0, std::int64_t{n} - 1)]);
        };
        if (method == 1) {
            out[i] = rows[0][hold(xi, 0, std::int64_t{n} - 1)];
        } else if (method == 2) {
            const F top = (at(0, 1) - at(0, 0)) * F(fx) + at(0, 0);
            const F bottom = (at(1, 1) - at(1, 0)) * F(fx) + at(1, 0);
            const F v = (bottom - top) * F(fy) + top;
            out[i] = std::is_integral_v<T> ? clampResult<T>(v) : static_cast<T>(v);
        } else {
            F q[4];
            for (int r = 0; r < 4; ++r)
                q[r] = cubic<F>(at(r, -1), at(r, 0), at(r, 1), at(r, 2), F(fx));
            out[i] = clampResult<T>(cubic<F>(q[0], q[1], q[2], q[3], F(fy)));
        }
    }
}

// A whole destination rectangle of one band from one source band (rows of srcStride samples).
template <typename T>
void rect(int method, T* dst, std::size_t dstStride, Rect d, const T* src, std::size_t srcStride,
          Rect s, float originX, float originY, float stepX, float stepY) {
    float y = originY;
    for (std::int32_t r = d.y0; r <= d.y1; ++r, y += stepY) {
        const auto yi = static_cast<std::int64_t>(y);
        const float fy = y - static_cast<float>(yi);
        const T* rows[4] = {};
        const int taps = lastTap(method) - firstTap(method) + 1;
        for (int k = 0; k < taps; ++k)
            rows[k] = src + hold(yi + firstTap(method) + k, s.y0, s.y1) * srcStride + s.x0;
        row<T>(method, fy, std::uint32_t(d.x1 - d.x0 + 1), dst + r * dstStride + d.x0,
               originX - float(s.x0), stepX, std::uint32_t(s.x1 - s.x0 + 1), rows);
    }
}

} // namespace resample_ref
