#include "filters/KVIRowResamplerImp.h"

#include "filters/KVIResamplePosition.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace Korvel {

namespace {

// Calls op(i, x) for i = 0 ... count - 1 with x the running source position. Four samples per
// pass; the position advances by one single-precision addition per sample, so every x is exactly
// the one a sample-by-sample loop would reach.
template <typename Op>
inline void forEachPosition(std::uint32_t count, float x, float step, Op op) {
    std::uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const float x1 = x + step;
        const float x2 = x1 + step;
        const float x3 = x2 + step;
        op(i, x);
        op(i + 1, x1);
        op(i + 2, x2);
        op(i + 3, x3);
        x = x3 + step;
    }
    for (; i < count; ++i) {
        op(i, x);
        x += step;
    }
}

// Nearest moves samples without arithmetic: one body per sample size serves every type of it.
template <std::size_t Size> struct SampleBits;
template <> struct SampleBits<1> { using type = std::uint8_t; };
template <> struct SampleBits<2> { using type = std::uint16_t; };
template <> struct SampleBits<4> { using type = std::uint32_t; };
template <> struct SampleBits<8> { using type = std::uint64_t; };

template <typename U>
void nearestRow(std::uint32_t count, U* destination, float x, float step, std::uint32_t n,
                const U* row) {
    const std::int64_t last = std::int64_t{n} - 1;
    forEachPosition(count, x, step, [=](std::uint32_t i, float position) {
        destination[i] = row[kviClampIndex(kviLocate(position).index, 0, last)];
    });
}

// Cubic convolution (a = -1) of four samples at fraction t.
template <typename F> inline F cubic(F p0, F p1, F p2, F p3, F t) {
    return (((p1 - p0 - p2 + p3) * t + ((p0 - p1) * 2 + p2 - p3)) * t + (p2 - p0)) * t + p1;
}

} // namespace

template <typename T, typename F>
KVIRowResamplerImp<T, F>::KVIRowResamplerImp()
    : clampMin_(std::is_integral_v<T> ? static_cast<F>(std::numeric_limits<T>::lowest())
                                      : static_cast<F>(std::numeric_limits<T>::min())),
      clampMax_(static_cast<F>(std::numeric_limits<T>::max())) {}

template <typename T, typename F>
void KVIRowResamplerImp<T, F>::resampleNearest(float /*fy*/, std::uint32_t count, void* destination,
                                               float x, float step, std::uint32_t n,
                                               const void* row) const {
    using U = typename SampleBits<sizeof(T)>::type;
    nearestRow(count, static_cast<U*>(destination), x, step, n, static_cast<const U*>(row));
}

template <typename T, typename F>
void KVIRowResamplerImp<T, F>::resampleLinear(float fy, std::uint32_t count, void* destination,
                                              float x, float step, std::uint32_t n,
                                              const void* row0, const void* row1) const {
    T* const out = static_cast<T*>(destination);
    const T* const r0 = static_cast<const T*>(row0);
    const T* const r1 = static_cast<const T*>(row1);
    const std::int64_t last = std::int64_t{n} - 1;
    const F ty = fy;
    const F low = clampMin_;
    const F high = clampMax_;
    forEachPosition(count, x, step, [=](std::uint32_t i, float position) {
        const KVIResamplePosition tap = kviLocate(position);
        const std::int64_t i0 = kviClampIndex(tap.index, 0, last);
        const std::int64_t i1 = kviClampIndex(tap.index + 1, 0, last);
        const F t = tap.fraction;
        const F top =
            (static_cast<F>(r0[i1]) - static_cast<F>(r0[i0])) * t + static_cast<F>(r0[i0]);
        const F bottom =
            (static_cast<F>(r1[i1]) - static_cast<F>(r1[i0])) * t + static_cast<F>(r1[i0]);
        F value = (bottom - top) * ty + top;
        // Between the samples the value stays in range; extrapolated before the first sample it
        // may not, and an integer conversion out of range is undefined.
        if constexpr (std::is_integral_v<T>) value = std::max(low, std::min(high, value));
        out[i] = static_cast<T>(value);
    });
}

template <typename T, typename F>
void KVIRowResamplerImp<T, F>::resampleCubic(float fy, std::uint32_t count, void* destination,
                                             float x, float step, std::uint32_t n,
                                             const void* rowM1, const void* row0, const void* row1,
                                             const void* row2) const {
    T* const out = static_cast<T*>(destination);
    const T* const rows[4] = {static_cast<const T*>(rowM1), static_cast<const T*>(row0),
                              static_cast<const T*>(row1), static_cast<const T*>(row2)};
    const std::int64_t last = std::int64_t{n} - 1;
    const F ty = fy;
    const F low = clampMin_;
    const F high = clampMax_;
    forEachPosition(count, x, step, [=, &rows](std::uint32_t i, float position) {
        const KVIResamplePosition tap = kviLocate(position);
        const std::int64_t k0 = kviClampIndex(tap.index - 1, 0, last);
        const std::int64_t k1 = kviClampIndex(tap.index, 0, last);
        const std::int64_t k2 = kviClampIndex(tap.index + 1, 0, last);
        const std::int64_t k3 = kviClampIndex(tap.index + 2, 0, last);
        const F t = tap.fraction;
        F q[4];
        for (int r = 0; r < 4; ++r) {
            const T* row = rows[r];
            q[r] = cubic<F>(row[k0], row[k1], row[k2], row[k3], t);
        }
        const F value = cubic<F>(q[0], q[1], q[2], q[3], ty);
        out[i] = static_cast<T>(std::max(low, std::min(high, value)));
    });
}

template class KVIRowResamplerImp<std::uint8_t, float>;
template class KVIRowResamplerImp<std::int8_t, float>;
template class KVIRowResamplerImp<std::uint16_t, float>;
template class KVIRowResamplerImp<std::int16_t, float>;
template class KVIRowResamplerImp<std::uint32_t, double>;
template class KVIRowResamplerImp<std::int32_t, double>;
template class KVIRowResamplerImp<float, float>;
template class KVIRowResamplerImp<double, double>;

} // namespace Korvel
