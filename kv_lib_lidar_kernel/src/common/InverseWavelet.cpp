// The inverse lifting kernels of the wavelet pipeline stages and their choice by datatype and
// transform. Integer kernels wrap in their sample width (16-bit sums are reduced to 16 bits before
// rounding); floating-point kernels follow a fixed evaluation order in the sample's precision.

#include "TransformUtils.h"

#include "DatatypeDispatch.h"
#include "Error.h"

#include <cstdint>
#include <type_traits>

namespace Korvel::TransformUtils {

namespace {

// Two's-complement arithmetic in T, wrapping instead of overflowing.
template <class T> T wrapAdd(T a, T b) {
    using U = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<U>(static_cast<U>(a) + static_cast<U>(b)));
}
template <class T> T wrapSub(T a, T b) {
    using U = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<U>(static_cast<U>(a) - static_cast<U>(b)));
}
template <class T> T wrapNine(T a) {
    using U = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<U>(static_cast<U>(a) * 9u));
}

// The four lifting formulas of one sample type. Each gives the new value of the changed sample
// from its old value and its four (or two) neighbours in the other band:
//   update2(x, a, b)        x - round((a + b) / 4)          a = other[k - 1], b = other[k]
//   predict2(x, a, b)       x + floor((a + b) / 2)          a = other[k], b = other[k + 1]
//   update4(x, m, a, b, p)  x - round((9(a + b) - m - p) / 32)   m = other[k - 2], p = other[k + 1]
//   predict4(x, m, a, b, p) x + round((9(a + b) - m - p) / 16)   m = other[k - 1], p = other[k + 2]
template <class T> struct Lifting {
    static T update2(T x, T a, T b) {
        return wrapSub(x, static_cast<T>(wrapAdd(wrapAdd(a, b), T(2)) >> 2));
    }
    static T predict2(T x, T a, T b) { return wrapAdd(x, static_cast<T>(wrapAdd(a, b) >> 1)); }
    static T update4(T x, T m, T a, T b, T p) {
        const T s = wrapSub(wrapSub(wrapNine(wrapAdd(a, b)), m), p);
        return wrapSub(x, static_cast<T>(wrapAdd(s, T(30)) >> 5));
    }
    static T predict4(T x, T m, T a, T b, T p) {
        const T s = wrapSub(wrapSub(wrapNine(wrapAdd(a, b)), m), p);
        return wrapAdd(x, static_cast<T>(wrapAdd(s, T(14)) >> 4));
    }
};

// 16-bit samples: the sums are reduced to 16 bits, the rounding and shift done in 32 bits.
template <> struct Lifting<std::int16_t> {
    using T = std::int16_t;
    static T update2(T x, T a, T b) {
        const auto s = static_cast<std::int16_t>(std::int32_t{a} + b);
        return static_cast<T>(std::int32_t{x} - ((std::int32_t{s} + 2) >> 2));
    }
    static T predict2(T x, T a, T b) {
        const auto s = static_cast<std::int16_t>(std::int32_t{a} + b);
        return static_cast<T>(std::int32_t{x} + (s >> 1));
    }
    static std::int16_t weighted(T m, T a, T b, T p) {
        return static_cast<std::int16_t>(9 * (std::int32_t{a} + b) - m - p);
    }
    static T update4(T x, T m, T a, T b, T p) {
        return static_cast<T>(std::int32_t{x} - ((std::int32_t{weighted(m, a, b, p)} + 30) >> 5));
    }
    static T predict4(T x, T m, T a, T b, T p) {
        return static_cast<T>(std::int32_t{x} + ((std::int32_t{weighted(m, a, b, p)} + 14) >> 4));
    }
};

// Floating point: no rounding step, the constants exact in the sample's precision.
template <class T>
requires std::is_floating_point_v<T>
struct FloatLifting {
    static T update2(T x, T a, T b) { return x - (T(0.25) * a + T(0.25) * b); }
    static T predict2(T x, T a, T b) { return (T(0.5) * a + T(0.5) * b) + x; }
    static T update4(T x, T m, T a, T b, T p) {
        return x - (T(9) * a + T(9) * b - (p + m)) * T(0.03125);
    }
    static T predict4(T x, T m, T a, T b, T p) {
        return (T(9) * a + T(9) * b - (p + m)) * T(0.0625) + x;
    }
};
template <> struct Lifting<float> : FloatLifting<float> {};
template <> struct Lifting<double> : FloatLifting<double> {};

// The kernels run in place over a window, keeping the neighbours they share in locals, two or
// four samples per turn.

template <class T> void twoTapUpdate(void* lowWindow, std::int64_t n, const void* highWindow) {
    T* low = static_cast<T*>(lowWindow);
    const T* high = static_cast<const T*>(highWindow);
    T previous = high[-1];
    std::int64_t k = 0;
    for (; k + 2 <= n; k += 2) {
        const T h0 = high[k];
        const T h1 = high[k + 1];
        low[k] = Lifting<T>::update2(low[k], previous, h0);
        low[k + 1] = Lifting<T>::update2(low[k + 1], h0, h1);
        previous = h1;
    }
    for (; k < n; ++k) {
        const T h = high[k];
        low[k] = Lifting<T>::update2(low[k], previous, h);
        previous = h;
    }
}

template <class T>
void twoTapPredict(const void* lowWindow, std::int64_t, void* highWindow, std::int64_t n) {
    const T* low = static_cast<const T*>(lowWindow);
    T* high = static_cast<T*>(highWindow);
    T current = low[0];
    std::int64_t k = 0;
    for (; k + 2 <= n; k += 2) {
        const T l1 = low[k + 1];
        const T l2 = low[k + 2];
        high[k] = Lifting<T>::predict2(high[k], current, l1);
        high[k + 1] = Lifting<T>::predict2(high[k + 1], l1, l2);
        current = l2;
    }
    for (; k < n; ++k) {
        const T next = low[k + 1];
        high[k] = Lifting<T>::predict2(high[k], current, next);
        current = next;
    }
}

template <class T> void fourTapUpdate(void* lowWindow, std::int64_t n, const void* highWindow) {
    T* low = static_cast<T*>(lowWindow);
    const T* high = static_cast<const T*>(highWindow);
    // The four high samples around low[k]: k - 2, k - 1, k and k + 1.
    T a = high[-2], b = high[-1], c = high[0];
    std::int64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const T d = high[k + 1], e = high[k + 2], f = high[k + 3], g = high[k + 4];
        low[k] = Lifting<T>::update4(low[k], a, b, c, d);
        low[k + 1] = Lifting<T>::update4(low[k + 1], b, c, d, e);
        low[k + 2] = Lifting<T>::update4(low[k + 2], c, d, e, f);
        low[k + 3] = Lifting<T>::update4(low[k + 3], d, e, f, g);
        a = e;
        b = f;
        c = g;
    }
    for (; k < n; ++k) {
        const T d = high[k + 1];
        low[k] = Lifting<T>::update4(low[k], a, b, c, d);
        a = b;
        b = c;
        c = d;
    }
}

template <class T>
void fourTapPredict(const void* lowWindow, std::int64_t, void* highWindow, std::int64_t n) {
    const T* low = static_cast<const T*>(lowWindow);
    T* high = static_cast<T*>(highWindow);
    // The four low samples around high[k]: k - 1, k, k + 1 and k + 2.
    T a = low[-1], b = low[0], c = low[1];
    std::int64_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const T d = low[k + 2], e = low[k + 3], f = low[k + 4], g = low[k + 5];
        high[k] = Lifting<T>::predict4(high[k], a, b, c, d);
        high[k + 1] = Lifting<T>::predict4(high[k + 1], b, c, d, e);
        high[k + 2] = Lifting<T>::predict4(high[k + 2], c, d, e, f);
        high[k + 3] = Lifting<T>::predict4(high[k + 3], d, e, f, g);
        a = e;
        b = f;
        c = g;
    }
    for (; k < n; ++k) {
        const T d = low[k + 2];
        high[k] = Lifting<T>::predict4(high[k], a, b, c, d);
        a = b;
        b = c;
        c = d;
    }
}

void noUpdate(void*, std::int64_t, const void*) {}
void noPredict(const void*, std::int64_t, void*, std::int64_t) {}

struct Kernels {
    UpdateKernel twoTapUpdate;
    PredictKernel twoTapPredict;
    UpdateKernel fourTapUpdate;
    PredictKernel fourTapPredict;
};

template <class T> constexpr Kernels kernelsOf() {
    return {&twoTapUpdate<T>, &twoTapPredict<T>, &fourTapUpdate<T>, &fourTapPredict<T>};
}

} // namespace

void getInverseWavelet(std::uint32_t datatype, std::uint32_t transform, PredictKernel& predict,
                       UpdateKernel& update) {
    update = &noUpdate;
    // 21 ... 40 and 61 ... 80 (and every other block of twenty) reduce to 1 ... 20.
    const std::uint32_t reduced =
        transform > 20 ? transform - 20 * ((transform - 21) / 20 + 1) : transform;
    Kernels kernels;
    if (!withWaveletDatatype(datatype, [&](auto zero) { kernels = kernelsOf<decltype(zero)>(); }))
        KORVEL_FAIL("InverseWavelet", "Korvel::TransformUtils::getInverseWavelet",
                    ErrorCode::PointData, "unkown datatype");
    switch (reduced) {
    case 1:
        update = kernels.twoTapUpdate;
        predict = kernels.twoTapPredict;
        break;
    case 3:
        update = kernels.fourTapUpdate;
        predict = kernels.fourTapPredict;
        break;
    case 10:
        predict = &noPredict;
        break;
    case 11:
        predict = kernels.twoTapPredict;
        break;
    case 13:
        predict = kernels.fourTapPredict;
        break;
    default:
        KORVEL_FAIL("InverseWavelet", "Korvel::TransformUtils::getInverseWavelet",
                    ErrorCode::PointData, "unkown wavelet type");
    }
}

} // namespace Korvel::TransformUtils
