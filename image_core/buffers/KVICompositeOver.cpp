#include "buffers/KVICompositeOver.h"

#include "buffers/KVIRunMask.h"
#include "buffers/KVISceneBuffer.h"
#include "model/KVIColorSpace.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace Korvel {

namespace {

// Below this output alpha a straight destination is not un-premultiplied.
constexpr double kUnpremultiplyThreshold = 0.00392;

bool carriesAlpha(const KVIPixel& pixel) {
    return pixel.hasAlpha() && pixel.getNumBands() > 0;
}

// An integer sample as single precision (u32 through a 64-bit integer).
template <typename T> float toFloat(T value) {
    if constexpr (std::is_same_v<T, std::uint32_t>)
        return static_cast<float>(static_cast<std::int64_t>(value));
    else
        return static_cast<float>(value);
}

// v truncated toward zero, held within [lo, hi] (NaN gives lo), so no conversion leaves the type.
template <typename T> T truncateTo(double v, T lo, T hi) {
    if (!(v >= static_cast<double>(lo))) return lo;
    if (v >= static_cast<double>(hi)) return hi;
    return static_cast<T>(std::trunc(v));
}

// One pixel of source-over for the integer types: alphas normalised to [0, 1] in single
// precision, colours summed in double, the result truncated.
template <typename T> struct IntegerOver {
    IntegerOver(T lo, T hi, bool srcPremultiplied, bool dstStraight)
        : lo(lo), hi(hi), flo(toFloat(lo)), range(toFloat(hi) - toFloat(lo)), fhi(toFloat(hi)),
          srcPremultiplied(srcPremultiplied), dstStraight(dstStraight) {}

    // Composites bands colour samples at column x; the destination alpha is written by the
    // caller from the returned output alpha.
    T apply(T* const* dst, const T* const* src, std::uint16_t bands, T srcAlpha, T dstAlpha,
            std::size_t x) const {
        const float aS = (toFloat(srcAlpha) - flo) / range;
        const float aD = (toFloat(dstAlpha) - flo) / range;
        const float aOut = (1.0f - aS) * aD + aS;
        const T alphaOut = truncateTo<T>((1.0f - aOut) * flo + aOut * fhi, lo, hi);
        const double alphaOutD = static_cast<double>(alphaOut);
        const bool unpremultiply =
            dstStraight && static_cast<double>(aOut) > kUnpremultiplyThreshold;
        for (std::uint16_t b = 0; b < bands; ++b) {
            double d = static_cast<double>(toFloat(dst[b][x]) * (1.0f - aS));
            if (dstStraight) d *= static_cast<double>(aD);
            const double s = srcPremultiplied ? static_cast<double>(toFloat(src[b][x]))
                                              : static_cast<double>(toFloat(src[b][x]) * aS);
            const double v = d + s;
            T sample = v < static_cast<double>(lo) ? lo
                       : v > alphaOutD             ? alphaOut
                                                   : truncateTo<T>(v, lo, hi);
            if (unpremultiply) sample = truncateTo<T>(toFloat(sample) / aOut, lo, hi);
            dst[b][x] = sample;
        }
        return alphaOut;
    }

    T lo, hi;
    float flo, range, fhi;
    bool srcPremultiplied, dstStraight;
};

// The floating types: alphas clamped to [lo, hi] and used as they are, nothing truncated. For
// float the colour products are single precision; for double the alpha factors are single
// precision and the colour sums double.
template <typename T> struct FloatOver {
    FloatOver(T lo, T hi, bool srcPremultiplied, bool dstStraight)
        : lo(lo), hi(hi), srcPremultiplied(srcPremultiplied), dstStraight(dstStraight) {}

    T clampAlpha(T a) const { return a < lo ? lo : (a > hi ? hi : a); }

    T apply(T* const* dst, const T* const* src, std::uint16_t bands, T srcAlpha, T dstAlpha,
            std::size_t x) const {
        const auto aS = static_cast<float>(clampAlpha(srcAlpha));
        const auto aD = static_cast<float>(clampAlpha(dstAlpha));
        const float oneMinusS = 1.0f - aS;
        const float aOut = oneMinusS * aD + aS;
        T alphaOut{};
        if constexpr (std::is_same_v<T, float>)
            alphaOut = (1.0f - aOut) * lo + aOut * hi;
        else
            alphaOut = (1.0 - static_cast<double>(aOut)) * lo + static_cast<double>(aOut) * hi;
        const bool unpremultiply =
            dstStraight && static_cast<double>(aOut) > kUnpremultiplyThreshold;
        for (std::uint16_t b = 0; b < bands; ++b) {
            double d = 0.0;
            double s = 0.0;
            if constexpr (std::is_same_v<T, float>) {
                d = static_cast<double>(dst[b][x] * oneMinusS);
                s = srcPremultiplied ? static_cast<double>(src[b][x])
                                     : static_cast<double>(src[b][x] * aS);
            } else {
                d = dst[b][x] * static_cast<double>(oneMinusS);
                s = srcPremultiplied ? src[b][x] : src[b][x] * static_cast<double>(aS);
            }
            if (dstStraight) d *= static_cast<double>(aD);
            const double v = d + s;
            T sample = v < static_cast<double>(lo)         ? lo
                       : v > static_cast<double>(alphaOut) ? alphaOut
                                                           : static_cast<T>(v);
            if (unpremultiply) {
                if constexpr (std::is_same_v<T, float>)
                    sample = sample / aOut;
                else
                    sample = sample / static_cast<double>(aOut);
            }
            dst[b][x] = sample;
        }
        return alphaOut;
    }

    T lo, hi;
    bool srcPremultiplied, dstStraight;
};

} // namespace

template <typename T>
void compositeOver(const KVISceneBuffer& source, KVISceneBuffer& destination,
                   const KVIRunMask* mask, T lo, T hi) {
    const std::uint32_t width = std::min(source.getWindowWidth(), destination.getWindowWidth());
    const std::uint32_t height = std::min(source.getWindowHeight(), destination.getWindowHeight());
    if (width == 0 || height == 0) return;
    const KVIPixel& srcPixel = source.getPixelProps();
    const KVIPixel& dstPixel = destination.getPixelProps();
    const bool srcAlpha = carriesAlpha(srcPixel);
    const bool dstAlpha = carriesAlpha(dstPixel);
    const auto colourBands = static_cast<std::uint16_t>(std::min(
        destination.getNumBands() - (dstAlpha ? 1 : 0), source.getNumBands() - (srcAlpha ? 1 : 0)));
    const bool srcPremultiplied =
        (srcPixel.getColorSpace() & KVI_COLORSPACE_PREMULTIPLIED_ALPHA) != 0;
    const bool dstStraight =
        dstAlpha && (dstPixel.getColorSpace() & KVI_COLORSPACE_PREMULTIPLIED_ALPHA) == 0;

    using Over = std::conditional_t<std::is_floating_point_v<T>, FloatOver<T>, IntegerOver<T>>;
    const Over over(lo, hi, srcPremultiplied, dstStraight);

    // A side without alpha is opaque: a row of hi stands in for its alpha band.
    std::vector<T> opaque(srcAlpha ? 0 : width, hi);
    std::vector<T*> dstRows(colourBands);
    std::vector<const T*> srcRows(colourBands);
    for (std::uint16_t b = 0; b < colourBands; ++b) {
        dstRows[b] = reinterpret_cast<T*>(destination.getWindowBandData(b));
        srcRows[b] = reinterpret_cast<const T*>(source.getWindowBandData(b));
    }
    const T* srcAlphaRow = srcAlpha ? reinterpret_cast<const T*>(source.getWindowBandData(
                                          static_cast<std::uint16_t>(source.getNumBands() - 1)))
                                    : opaque.data();
    T* dstAlphaRow = dstAlpha ? reinterpret_cast<T*>(destination.getWindowBandData(
                                    static_cast<std::uint16_t>(destination.getNumBands() - 1)))
                              : nullptr;
    const std::size_t srcStride = source.getTotalWidth();
    const std::size_t dstStride = destination.getTotalWidth();

    const KVIRun wholeRow{0,
                          static_cast<std::int32_t>(std::min<std::uint32_t>(width, INT32_MAX) - 1)};
    for (std::uint32_t r = 0; r < height; ++r) {
        if (r > 0) {
            for (std::uint16_t b = 0; b < colourBands; ++b) {
                dstRows[b] += dstStride;
                srcRows[b] += srcStride;
            }
            if (srcAlpha) srcAlphaRow += srcStride;
            if (dstAlpha) dstAlphaRow += dstStride;
        }
        const KVIRun* first = &wholeRow;
        const KVIRun* last = &wholeRow + 1;
        if (mask != nullptr) {
            const KVIRunList* list = r < mask->getRowCount() ? mask->getRow(r) : nullptr;
            if (list == nullptr) continue;
            first = list->begin();
            last = list->end();
        }
        for (const KVIRun* run = first; run != last; ++run) {
            const std::int64_t start = std::max<std::int64_t>(run->start, 0);
            const std::int64_t stop = std::min<std::int64_t>(std::int64_t{run->end} + 1, width);
            for (std::int64_t x = start; x < stop; ++x) {
                const auto col = static_cast<std::size_t>(x);
                const T dstAlphaValue = dstAlpha ? dstAlphaRow[col] : hi;
                const T alphaOut = over.apply(dstRows.data(), srcRows.data(), colourBands,
                                              srcAlphaRow[col], dstAlphaValue, col);
                if (dstAlpha) dstAlphaRow[col] = alphaOut;
            }
        }
    }
}

template void compositeOver<std::uint8_t>(const KVISceneBuffer&, KVISceneBuffer&, const KVIRunMask*,
                                          std::uint8_t, std::uint8_t);
template void compositeOver<std::int8_t>(const KVISceneBuffer&, KVISceneBuffer&, const KVIRunMask*,
                                         std::int8_t, std::int8_t);
template void compositeOver<std::uint16_t>(const KVISceneBuffer&, KVISceneBuffer&,
                                           const KVIRunMask*, std::uint16_t, std::uint16_t);
template void compositeOver<std::int16_t>(const KVISceneBuffer&, KVISceneBuffer&, const KVIRunMask*,
                                          std::int16_t, std::int16_t);
template void compositeOver<std::uint32_t>(const KVISceneBuffer&, KVISceneBuffer&,
                                           const KVIRunMask*, std::uint32_t, std::uint32_t);
template void compositeOver<std::int32_t>(const KVISceneBuffer&, KVISceneBuffer&, const KVIRunMask*,
                                          std::int32_t, std::int32_t);
template void compositeOver<float>(const KVISceneBuffer&, KVISceneBuffer&, const KVIRunMask*, float,
                                   float);
template void compositeOver<double>(const KVISceneBuffer&, KVISceneBuffer&, const KVIRunMask*,
                                    double, double);

} // namespace Korvel
