#include "ReversibleColorTransform.h"

#include "WrappingArithmetic.h"

namespace Korvel {

namespace ColorRounding {

std::int32_t direct(std::int32_t p) {
    // 1073750016 = 2^30 + 8192 makes the dividend positive, so that truncation is floor.
    return (p + 1073750016) / 16384 - 65536;
}

namespace {

// Wrapping 32-bit product of a constant and a quotient.
std::uint32_t wrapProduct(std::int32_t k, std::int32_t q) {
    return static_cast<std::uint32_t>(k) * static_cast<std::uint32_t>(q);
}

} // namespace

std::int32_t split(std::int32_t k, std::int32_t x) {
    const std::int32_t q = x / 16384;
    const std::int32_t r = x % 16384;
    // 805314560 = 3 x 2^28 + 8192 keeps the remainder's term positive; 49152 = 3 x 2^28 / 2^14.
    const std::int32_t low = ((k * r + 805314560) >> 14) - 49152;
    return static_cast<std::int32_t>(wrapProduct(k, q) + static_cast<std::uint32_t>(low));
}

std::int32_t split(std::int32_t k1, std::int32_t x1, std::int32_t k2, std::int32_t x2) {
    const std::int32_t q1 = x1 / 16384;
    const std::int32_t r1 = x1 % 16384;
    const std::int32_t q2 = x2 / 16384;
    const std::int32_t r2 = x2 % 16384;
    const std::int32_t low = ((k1 * r1 - k2 * r2 + 805314560) >> 14) - 49152;
    return static_cast<std::int32_t>(wrapProduct(k1, q1) - wrapProduct(k2, q2) +
                                     static_cast<std::uint32_t>(low));
}

} // namespace ColorRounding

namespace {

constexpr std::int32_t kA = 24279; // 1.48187255859375 x 2^14
constexpr std::int32_t kB = 11469; // 0.70001220703125
constexpr std::int32_t kC = 22640; // 1.3818359375
constexpr std::int32_t kD = 19309; // 1.17852783203125
constexpr std::int32_t kE = 19637; // 1.19854736328125

// Whether |x| <= limit.
bool within(std::int32_t x, std::uint32_t limit) {
    return static_cast<std::uint32_t>(x) + limit <= 2 * limit;
}

// The rounded products of the lifting steps, by one evaluation or the other.
struct Direct {
    static std::int32_t r(std::int32_t k, std::int32_t x) { return ColorRounding::direct(k * x); }
    static std::int32_t r(std::int32_t k1, std::int32_t x1, std::int32_t k2, std::int32_t x2) {
        return ColorRounding::direct(k1 * x1 - k2 * x2);
    }
};
struct Split {
    static std::int32_t r(std::int32_t k, std::int32_t x) { return ColorRounding::split(k, x); }
    static std::int32_t r(std::int32_t k1, std::int32_t x1, std::int32_t k2, std::int32_t x2) {
        return ColorRounding::split(k1, x1, k2, x2);
    }
};

template <class R>
void forwardAt(std::int32_t& a, std::int32_t& b, std::int32_t& c, std::int32_t u, std::int32_t w) {
    const std::int32_t t1 = wrapAdd(b, R::r(kA, w, kB, u));
    const std::int32_t t2 = wrapAdd(u, R::r(-kC, w));
    a = wrapAdd(t1, t2);
    b = wrapAdd(w, R::r(kD, t2));
    c = wrapSub(R::r(kE, b), t2);
}

template <class R> void inverseAt(std::int32_t& a, std::int32_t& b, std::int32_t& c) {
    const std::int32_t t1 = wrapSub(wrapAdd(a, c), R::r(kE, b));
    const std::int32_t t2 = wrapSub(a, t1);
    const std::int32_t w = wrapSub(b, R::r(kD, t2));
    const std::int32_t u = wrapSub(t2, R::r(-kC, w));
    const std::int32_t b0 = wrapSub(t1, R::r(kA, w, kB, u));
    a = wrapAdd(u, b0);
    b = b0;
    c = wrapAdd(w, b0);
}

} // namespace

void liftColorForward(std::int32_t* const* planes, std::size_t stride, std::size_t count) {
    std::int32_t* p0 = planes[0];
    std::int32_t* p1 = planes[1];
    std::int32_t* p2 = planes[2];
    for (std::size_t i = 0; i < count; ++i, p0 += stride, p1 += stride, p2 += stride) {
        const std::int32_t u = wrapSub(*p0, *p1);
        const std::int32_t w = wrapSub(*p2, *p1);
        if (within(u, 19911) && within(w, 19911))
            forwardAt<Direct>(*p0, *p1, *p2, u, w);
        else
            forwardAt<Split>(*p0, *p1, *p2, u, w);
    }
}

void liftColorInverse(std::int32_t* const* planes, std::size_t stride, std::size_t count) {
    std::int32_t* p0 = planes[0];
    std::int32_t* p1 = planes[1];
    std::int32_t* p2 = planes[2];
    for (std::size_t i = 0; i < count; ++i, p0 += stride, p1 += stride, p2 += stride) {
        if ((*p0 | *p1 | *p2) == 0) continue;
        if (within(*p1, 18876) && within(*p2, 18876))
            inverseAt<Direct>(*p0, *p1, *p2);
        else
            inverseAt<Split>(*p0, *p1, *p2);
    }
}

std::uint32_t inverseColorTransformCode(std::uint32_t code) {
    using namespace ColorTransformCode;
    switch (code) {
    case None:
        return None;
    case Inverse:
        return Forward;
    case InverseSecond:
        return ForwardSecond;
    case Forward:
        return Inverse;
    case ForwardSecond:
        return InverseSecond;
    default:
        return Invalid;
    }
}

void applyColorTransform(std::uint32_t code, std::int32_t* const* planes, std::uint16_t bands,
                         std::size_t stride, std::size_t count) {
    using namespace ColorTransformCode;
    // The transforms work on three bands; with fewer there is nothing to transform.
    if (bands < 3) return;
    if (code == Inverse || code == InverseSecond)
        liftColorInverse(planes, stride, count);
    else if (code == Forward || code == ForwardSecond)
        liftColorForward(planes, stride, count);
}

} // namespace Korvel
