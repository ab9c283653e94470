#include "ForwardWavelet.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

namespace quarn_test {

namespace {

// The rounding quantities of one sample type; a, b are the two nearest neighbours, m and p the
// outer ones of the four-tap filters.
template <class T> struct Quantities {
    using U = std::make_unsigned_t<T>;
    static T wrap(U value) { return static_cast<T>(value); }
    static T weighted(T m, T a, T b, T p) { return wrap(U(9) * (U(a) + U(b)) - U(m) - U(p)); }
    static T update2(T a, T b) { return static_cast<T>(wrap(U(a) + U(b) + U(2)) >> 2); }
    static T predict2(T a, T b) { return static_cast<T>(wrap(U(a) + U(b)) >> 1); }
    static T update4(T m, T a, T b, T p) {
        return static_cast<T>(wrap(U(weighted(m, a, b, p)) + U(30)) >> 5);
    }
    static T predict4(T m, T a, T b, T p) {
        return static_cast<T>(wrap(U(weighted(m, a, b, p)) + U(14)) >> 4);
    }
    static T add(T x, T q) { return wrap(U(x) + U(q)); }
    static T sub(T x, T q) { return wrap(U(x) - U(q)); }
};

template <> struct Quantities<std::int16_t> {
    using T = std::int16_t;
    static std::int32_t cut(std::int32_t value) { return static_cast<std::int16_t>(value); }
    static std::int32_t update2(T a, T b) { return (cut(a + b) + 2) >> 2; }
    static std::int32_t predict2(T a, T b) { return cut(a + b) >> 1; }
    static std::int32_t update4(T m, T a, T b, T p) { return (cut(9 * (a + b) - m - p) + 30) >> 5; }
    static std::int32_t predict4(T m, T a, T b, T p) {
        return (cut(9 * (a + b) - m - p) + 14) >> 4;
    }
    static T add(T x, std::int32_t q) { return static_cast<T>(x + q); }
    static T sub(T x, std::int32_t q) { return static_cast<T>(x - q); }
};

template <class T>
requires std::is_floating_point_v<T>
struct FloatQuantities {
    static T update2(T a, T b) { return T(0.25) * a + T(0.25) * b; }
    static T predict2(T a, T b) { return T(0.5) * a + T(0.5) * b; }
    static T update4(T m, T a, T b, T p) { return (T(9) * a + T(9) * b - (p + m)) * T(0.03125); }
    static T predict4(T m, T a, T b, T p) { return (T(9) * a + T(9) * b - (p + m)) * T(0.0625); }
    static T add(T x, T q) { return q + x; }
    static T sub(T x, T q) { return x - q; }
};
template <> struct Quantities<float> : FloatQuantities<float> {};
template <> struct Quantities<double> : FloatQuantities<double> {};

struct Steps {
    bool update = false;
    bool predict = false;
    bool fourTap = false;
};

Steps stepsOf(std::uint32_t transform) {
    const std::uint32_t t =
        transform > 20 ? transform - 20 * ((transform - 21) / 20 + 1) : transform;
    switch (t) {
    case 1:
        return {true, true, false};
    case 3:
        return {true, true, true};
    case 10:
        return {};
    case 11:
        return {false, true, false};
    case 13:
        return {false, true, true};
    default:
        throw std::invalid_argument("no lifting for this transform");
    }
}

// A band read with constant extension; an empty band reads as zeros.
template <class T> T at(const std::vector<T>& band, std::int64_t i) {
    if (band.empty()) return T(0);
    return band[static_cast<std::size_t>(std::clamp<std::int64_t>(i, 0, band.size() - 1))];
}

template <class T> auto updateOf(const Steps& s, const std::vector<T>& high, std::int64_t i) {
    using Q = Quantities<T>;
    return s.fourTap ? Q::update4(at(high, i - 2), at(high, i - 1), at(high, i), at(high, i + 1))
                     : Q::update2(at(high, i - 1), at(high, i));
}

template <class T> auto predictOf(const Steps& s, const std::vector<T>& low, std::int64_t i) {
    using Q = Quantities<T>;
    return s.fourTap ? Q::predict4(at(low, i - 1), at(low, i), at(low, i + 1), at(low, i + 2))
                     : Q::predict2(at(low, i), at(low, i + 1));
}

template <class T>
std::vector<std::vector<T>> forward(std::vector<T> x, std::uint32_t transform,
                                    std::uint32_t levels) {
    std::vector<std::vector<T>> highs;
    for (std::uint32_t level = 1; level < levels; ++level) {
        const Steps steps = stepsOf(transform);
        std::vector<T> low, high;
        for (std::size_t i = 0; i < x.size(); ++i)
            (i % 2 == 0 ? low : high).push_back(x[i]);
        if (steps.predict)
            for (std::size_t i = 0; i < high.size(); ++i)
                high[i] = Quantities<T>::sub(high[i], predictOf(steps, low, i));
        if (steps.update) {
            const std::vector<T> coded = high;
            for (std::size_t i = 0; i < low.size(); ++i)
                low[i] = Quantities<T>::add(low[i], updateOf(steps, coded, i));
        }
        highs.push_back(high);
        x = low;
    }
    std::vector<std::vector<T>> subbands{x};
    subbands.insert(subbands.end(), highs.rbegin(), highs.rend());
    return subbands;
}

template <class T>
std::vector<T> inverse(const std::vector<std::vector<T>>& subbands, std::uint32_t transform,
                       std::uint32_t used) {
    std::vector<T> x = subbands.at(0);
    for (std::uint32_t k = 1; k < used; ++k) {
        const Steps steps = stepsOf(transform);
        std::vector<T> low = x;
        std::vector<T> high = subbands.at(k);
        if (steps.update) {
            for (std::size_t i = 0; i < low.size(); ++i)
                low[i] = Quantities<T>::sub(low[i], updateOf(steps, high, i));
        }
        if (steps.predict) {
            for (std::size_t i = 0; i < high.size(); ++i)
                high[i] = Quantities<T>::add(high[i], predictOf(steps, low, i));
        }
        x.clear();
        for (std::size_t i = 0; i < low.size(); ++i) {
            x.push_back(low[i]);
            if (i < high.size()) x.push_back(high[i]);
        }
    }
    return x;
}

template <class T, class V> std::vector<T> cast(const std::vector<V>& values) {
    std::vector<T> out;
    for (V value : values)
        out.push_back(static_cast<T>(value));
    return out;
}

template <class T, class V> std::vector<std::vector<V>> castBands(std::vector<std::vector<T>> in) {
    std::vector<std::vector<V>> out;
    for (const auto& band : in)
        out.push_back(cast<V>(band));
    return out;
}

// Calls f with a value of the sample type of an integer coded datatype.
template <class F> auto withInteger(std::uint32_t codedType, F&& f) {
    switch (codedType) {
    case 513:
        return f(std::int16_t{});
    case 1025:
        return f(std::int32_t{});
    case 2049:
        return f(std::int64_t{});
    default:
        throw std::invalid_argument("not an integer coded datatype");
    }
}

} // namespace

Subbands forwardWavelet(const std::vector<std::int64_t>& signal, std::uint32_t codedType,
                        std::uint32_t transform, std::uint32_t levels) {
    return withInteger(codedType, [&]<class T>(T) {
        return castBands<T, std::int64_t>(forward(cast<T>(signal), transform, levels));
    });
}

std::vector<std::int64_t> inverseWavelet(const Subbands& subbands, std::uint32_t codedType,
                                         std::uint32_t transform, std::uint32_t used) {
    return withInteger(codedType, [&]<class T>(T) {
        return cast<std::int64_t>(inverse(castBands<std::int64_t, T>(subbands), transform, used));
    });
}

FloatSubbands forwardWavelet(const std::vector<double>& signal, std::uint32_t codedType,
                             std::uint32_t transform, std::uint32_t levels) {
    if (codedType == 1027)
        return castBands<float, double>(forward(cast<float>(signal), transform, levels));
    return forward(signal, transform, levels);
}

std::vector<double> inverseWavelet(const FloatSubbands& subbands, std::uint32_t codedType,
                                   std::uint32_t transform, std::uint32_t used) {
    if (codedType == 1027)
        return cast<double>(inverse(castBands<double, float>(subbands), transform, used));
    return inverse(subbands, transform, used);
}

} // namespace quarn_test
