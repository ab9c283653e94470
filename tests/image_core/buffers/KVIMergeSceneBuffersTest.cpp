// The merge of scene buffers: the worked cases of transparency, merge modes and alpha
// compositing, and every mask kernel and compositing kernel against a plain pixel-by-pixel
// reference over random buffers, windows and masks.

#include "buffers/KVIMergeSceneBuffers.h"
#include "SceneBufferSamples.h"
#include "buffers/KVICompositeOver.h"
#include "buffers/KVIMergeMask.h"
#include "buffers/KVIRunListBuilder.h"
#include "buffers/KVIRunMask.h"
#include "buffers/KVISceneBuffer.h"
#include "model/KVIColorSpace.h"
#include "model/KVIScene.h"
#include "stages/KVIMaskSource.h"
#include "support/KVStatusGuard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

using namespace Korvel;

namespace {

constexpr std::uint32_t RGBA = KVI_COLORSPACE_RGB | KVI_COLORSPACE_ALPHA;
constexpr std::uint32_t RGBA_PRE = KVI_COLORSPACE_RGB | KVI_COLORSPACE_PREMULTIPLIED_ALPHA;

template <typename T> constexpr std::uint32_t typeOf() {
    if constexpr (std::is_same_v<T, std::uint8_t>) return KVI_DATATYPE_UINT8;
    if constexpr (std::is_same_v<T, std::int8_t>) return KVI_DATATYPE_SINT8;
    if constexpr (std::is_same_v<T, std::uint16_t>) return KVI_DATATYPE_UINT16;
    if constexpr (std::is_same_v<T, std::int16_t>) return KVI_DATATYPE_SINT16;
    if constexpr (std::is_same_v<T, std::uint32_t>) return KVI_DATATYPE_UINT32;
    if constexpr (std::is_same_v<T, std::int32_t>) return KVI_DATATYPE_SINT32;
    if constexpr (std::is_same_v<T, float>) return KVI_DATATYPE_FLOAT32;
    return KVI_DATATYPE_FLOAT64;
}

using quarn_test::sampleAt;
using quarn_test::setSample;

// A one-row buffer of the given pixels (band values per pixel).
template <typename T>
std::unique_ptr<KVISceneBuffer> row(std::uint32_t colorSpace,
                                    const std::vector<std::vector<T>>& pixels) {
    const auto bands = static_cast<std::uint16_t>(pixels.front().size());
    auto b = std::make_unique<KVISceneBuffer>(KVIPixel(colorSpace, bands, typeOf<T>()),
                                              std::uint32_t(pixels.size()), 1);
    for (std::uint32_t x = 0; x < pixels.size(); ++x)
        for (std::uint16_t band = 0; band < bands; ++band)
            setSample<T>(*b, band, x, 0, pixels[x][band]);
    return b;
}

template <typename T> KVIPixel pixelOf(std::uint32_t colorSpace, const std::vector<T>& values) {
    KVIPixel p(colorSpace, std::uint16_t(values.size()), typeOf<T>());
    for (std::uint16_t b = 0; b < values.size(); ++b)
        p.setSampleValueFromBytes(b, &values[b]);
    return p;
}

// The columns of a mask row, one flag per column.
std::vector<bool> taken(const KVIRunMask& mask, std::uint32_t r, std::uint32_t width) {
    std::vector<bool> out(width, false);
    const KVIRunList* list = r < mask.getRowCount() ? mask.getRow(r) : nullptr;
    if (list != nullptr)
        for (const KVIRun& run : *list)
            for (std::int64_t x = std::max(run.start, 0); x <= run.end && x < width; ++x)
                out[std::size_t(x)] = true;
    return out;
}

// Merge mask of one row, each source pixel over the destination pixel of the same column.
template <typename T>
std::vector<bool> mergeRow(std::uint32_t mode, double mag, bool blend, std::uint32_t srcSpace,
                           const std::vector<std::vector<T>>& src, std::uint32_t dstSpace,
                           const std::vector<std::vector<T>>& dst,
                           const KVIPixel* srcNoData = nullptr,
                           const KVIPixel* dstNoData = nullptr) {
    auto s = row<T>(srcSpace, src);
    auto d = row<T>(dstSpace, dst);
    KVIRunMask mask;
    EXPECT_EQ(buildMergeMask(mode, mag, *d, dstNoData, *s, srcNoData, mask, blend), KV_OK);
    return taken(mask, 0, std::uint32_t(src.size()));
}

using V = std::vector<bool>;

// --- worked values ---------------------------------------------------------------------------

TEST(KVIMergeMask, AlphaCutOffByBlendFlagAndType) {
    using U8 = std::vector<std::vector<std::uint8_t>>;
    using S8 = std::vector<std::vector<std::int8_t>>;
    const U8 opaque{{0, 0, 0, 255}, {0, 0, 0, 255}};
    // Blend clear: the middle of the range.
    EXPECT_EQ(mergeRow<std::uint8_t>(0, 1.0, false, RGBA, U8{{9, 9, 9, 127}, {9, 9, 9, 128}}, RGBA,
                                     opaque),
              (V{false, true}));
    EXPECT_EQ(mergeRow<std::int8_t>(0, 1.0, false, RGBA, S8{{9, 9, 9, 0}, {9, 9, 9, 1}}, RGBA,
                                    S8{{0, 0, 0, 127}, {0, 0, 0, 127}}),
              (V{false, true}));
    // Blend set: anything above the minimum shows.
    EXPECT_EQ(
        mergeRow<std::uint8_t>(0, 1.0, true, RGBA, U8{{9, 9, 9, 0}, {9, 9, 9, 1}}, RGBA, opaque),
        (V{false, true}));
    EXPECT_EQ(mergeRow<std::int8_t>(0, 1.0, true, RGBA, S8{{9, 9, 9, -128}, {9, 9, 9, -127}}, RGBA,
                                    S8{{0, 0, 0, 127}, {0, 0, 0, 127}}),
              (V{false, true}));
}

TEST(KVIMergeMask, ModeOneKeepsASolidDestinationAgainstFaintSources) {
    using U8 = std::vector<std::vector<std::uint8_t>>;
    // n = 4 bands, T = 64 at magnification 1, cut-offs 0.
    EXPECT_EQ(mergeRow<std::uint8_t>(1, 1.0, true, RGBA,
                                     U8{{5, 5, 5, 8}, {5, 5, 5, 9}, {5, 5, 5, 8}}, RGBA,
                                     U8{{1, 1, 1, 200}, {1, 1, 1, 200}, {1, 1, 1, 7}}),
              (V{false, true, true}));
    // Mode 0 takes all three, whatever lies beneath.
    EXPECT_EQ(mergeRow<std::uint8_t>(0, 1.0, true, RGBA,
                                     U8{{5, 5, 5, 8}, {5, 5, 5, 9}, {5, 5, 5, 8}}, RGBA,
                                     U8{{1, 1, 1, 200}, {1, 1, 1, 200}, {1, 1, 1, 7}}),
              (V{true, true, true}));
    // At 0.25 the tolerance grows by 29.365213935431907 / 16: T = 117.46, so alpha 10
    // (100) no longer passes and 11 (121) still does.
    EXPECT_DOUBLE_EQ(mergeTolerance(1.0), 16.0);
    EXPECT_DOUBLE_EQ(mergeTolerance(4.0), 16.0);
    EXPECT_DOUBLE_EQ(mergeTolerance(0.5), 21.951818898241132);
    EXPECT_DOUBLE_EQ(mergeTolerance(0.25), 29.365213935431907);
    const U8 src{{5, 5, 5, 10}, {5, 5, 5, 11}};
    const U8 dst{{1, 1, 1, 200}, {1, 1, 1, 200}};
    EXPECT_EQ(mergeRow<std::uint8_t>(1, 1.0, true, RGBA, src, RGBA, dst), (V{true, true}));
    EXPECT_EQ(mergeRow<std::uint8_t>(1, 0.25, true, RGBA, src, RGBA, dst), (V{false, true}));
}

TEST(KVIMergeMask, NoDataPixelsAlphaWinsAndNaNNeverMatches) {
    using U8 = std::vector<std::vector<std::uint8_t>>;
    const KVIPixel noData = pixelOf<std::uint8_t>(KVI_COLORSPACE_RGB, {7, 8, 9});
    EXPECT_EQ(mergeRow<std::uint8_t>(0, 1.0, true, KVI_COLORSPACE_RGB,
                                     U8{{7, 8, 9}, {7, 8, 0}, {0, 8, 9}}, KVI_COLORSPACE_RGB,
                                     U8{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, &noData),
              (V{false, true, true}));
    // A source with alpha is judged by its alpha alone, even where it matches a no-data pixel.
    const KVIPixel noDataA = pixelOf<std::uint8_t>(RGBA, {7, 8, 9, 255});
    EXPECT_EQ(mergeRow<std::uint8_t>(0, 1.0, true, RGBA, U8{{7, 8, 9, 255}, {1, 2, 3, 0}}, RGBA,
                                     U8{{1, 1, 1, 255}, {1, 1, 1, 255}}, &noDataA),
              (V{true, false}));
    // A float no-data value of NaN never matches.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const KVIPixel nanNoData = pixelOf<float>(KVI_COLORSPACE_GREY, {nan});
    EXPECT_EQ(mergeRow<float>(0, 1.0, true, KVI_COLORSPACE_GREY,
                              std::vector<std::vector<float>>{{nan}, {0.5f}}, KVI_COLORSPACE_GREY,
                              std::vector<std::vector<float>>{{0}, {0}}, &nanNoData),
              (V{true, true}));
}

// A mask source that offers columns 1 and 2 of every row.
struct MiddleColumns : KVIMaskSource {
    KVStatus getMask(const KVIScene& scene, KVIRunMask& mask) override {
        KV_RETURN_IF_FAILED(mask.reset(std::uint32_t(scene.getNumRows())));
        KVIRunListBuilder builder;
        for (std::uint32_t r = 0; r < mask.getRowCount(); ++r) {
            builder.clear();
            builder.append(1, 2);
            mask.setRow(r, builder.copyList());
        }
        return KV_OK;
    }
};

TEST(KVIMergeSceneBuffers, PlainSourcesAreCopiedWhateverTheMode) {
    using U8 = std::vector<std::vector<std::uint8_t>>;
    const KVIScene scene(0, 0, 4, 1, 1.0);
    auto src = row<std::uint8_t>(KVI_COLORSPACE_RGB, U8(4, {10, 20, 30}));
    // Mode 0 replaces an opaque destination; an invalid mode copies a plain source all the same.
    for (std::uint32_t mode : {0u, 1u, 7u}) {
        auto dst = row<std::uint8_t>(KVI_COLORSPACE_RGB, U8(4, {1, 2, 3}));
        ASSERT_EQ(mergeSceneBuffers(*dst, mode, *src, nullptr, nullptr, nullptr, scene, true),
                  KV_OK);
        EXPECT_EQ(sampleAt<std::uint8_t>(*dst, 2, 3, 0), 30);
    }
    // Through the mask source's mask only.
    MiddleColumns middle;
    auto dst = row<std::uint8_t>(KVI_COLORSPACE_RGB, U8(4, {1, 2, 3}));
    ASSERT_EQ(mergeSceneBuffers(*dst, 0, *src, nullptr, nullptr, &middle, scene, true), KV_OK);
    EXPECT_EQ(sampleAt<std::uint8_t>(*dst, 0, 0, 0), 1);
    EXPECT_EQ(sampleAt<std::uint8_t>(*dst, 0, 1, 0), 10);
    EXPECT_EQ(sampleAt<std::uint8_t>(*dst, 0, 2, 0), 10);
    EXPECT_EQ(sampleAt<std::uint8_t>(*dst, 0, 3, 0), 1);
    // Into a destination with alpha, by compositing: the source colours and an opaque alpha.
    auto alphaDst = row<std::uint8_t>(RGBA, U8(4, {1, 2, 3, 0}));
    ASSERT_EQ(mergeSceneBuffers(*alphaDst, 1, *src, nullptr, nullptr, nullptr, scene, true), KV_OK);
    EXPECT_EQ(sampleAt<std::uint8_t>(*alphaDst, 1, 0, 0), 20);
    EXPECT_EQ(sampleAt<std::uint8_t>(*alphaDst, 3, 0, 0), 255);
    // An opaque source with alpha replaces the destination in mode 0 (blend clear: band copy).
    auto opaqueDst = row<std::uint8_t>(RGBA, U8(4, {1, 2, 3, 255}));
    auto opaqueSrc = row<std::uint8_t>(RGBA, U8(4, {10, 20, 30, 255}));
    ASSERT_EQ(mergeSceneBuffers(*opaqueDst, 0, *opaqueSrc, nullptr, nullptr, nullptr, scene, false),
              KV_OK);
    EXPECT_EQ(sampleAt<std::uint8_t>(*opaqueDst, 0, 3, 0), 10);
}

TEST(KVIMergeSceneBuffers, RefusalsLeaveTheDestinationUntouched) {
    const KVIScene scene(0, 0, 2, 1, 1.0);
    using U8 = std::vector<std::vector<std::uint8_t>>;
    auto dst = row<std::uint8_t>(RGBA, U8(2, {1, 2, 3, 4}));
    auto src = row<std::uint8_t>(RGBA, U8(2, {9, 9, 9, 255}));
    EXPECT_EQ(mergeSceneBuffers(*dst, 2, *src, nullptr, nullptr, nullptr, scene, true),
              KV_BAD_MERGE_MODE);
    using U32 = std::vector<std::vector<std::uint32_t>>;
    auto dst32 = row<std::uint32_t>(RGBA, U32(2, {1, 2, 3, 4}));
    auto src32 = row<std::uint32_t>(RGBA, U32(2, {9, 9, 9, 99}));
    EXPECT_EQ(mergeSceneBuffers(*dst32, 0, *src32, nullptr, nullptr, nullptr, scene, true),
              KV_BAD_ARGUMENT);
    EXPECT_EQ(sampleAt<std::uint32_t>(*dst32, 0, 1, 0), 1u);
    auto grey = row<std::uint8_t>(KVI_COLORSPACE_GREY, U8(2, {9}));
    EXPECT_EQ(mergeSceneBuffers(*dst, 0, *grey, nullptr, nullptr, nullptr, scene, true),
              KV_PIXEL_BAND_COUNT_MISMATCH);
    EXPECT_EQ(sampleAt<std::uint8_t>(*dst, 0, 0, 0), 1);
}

TEST(KVICompositeOver, StraightAlphaWorkedValues) {
    using U8 = std::vector<std::vector<std::uint8_t>>;
    auto src = row<std::uint8_t>(RGBA, U8{{100, 100, 100, 128}});
    auto opaque = row<std::uint8_t>(RGBA, U8{{200, 200, 200, 255}});
    compositeOver<std::uint8_t>(*src, *opaque, nullptr, 0, 255);
    EXPECT_EQ(sampleAt<std::uint8_t>(*opaque, 0, 0, 0), 149);
    EXPECT_EQ(sampleAt<std::uint8_t>(*opaque, 3, 0, 0), 255);
    auto clear = row<std::uint8_t>(RGBA, U8{{200, 200, 200, 0}});
    compositeOver<std::uint8_t>(*src, *clear, nullptr, 0, 255);
    EXPECT_EQ(sampleAt<std::uint8_t>(*clear, 0, 0, 0), 99);
    EXPECT_EQ(sampleAt<std::uint8_t>(*clear, 3, 0, 0), 128);
}

// --- every kernel against a plain reference ---------------------------------------------------

template <typename T> double lo() {
    return std::is_floating_point_v<T> ? 0.0 : double(std::numeric_limits<T>::min());
}
template <typename T> double hi() {
    return std::is_floating_point_v<T> ? 1.0 : double(std::numeric_limits<T>::max());
}

// The cut-offs as listed for each type.
template <typename T> double cutoffOf(bool blend) {
    if (blend) return lo<T>();
    if constexpr (std::is_same_v<T, std::uint8_t>) return 127;
    if constexpr (std::is_same_v<T, std::uint16_t>) return 32767;
    if constexpr (std::is_floating_point_v<T>) return 0.5;
    return 0; // s8, s16
}

// A random sample, often near the ends of the range and near the cut-offs.
template <typename T> T randomSample(std::mt19937& rng) {
    const double l = lo<T>(), h = hi<T>();
    const double mid = cutoffOf<T>(false);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double u = unit(rng);
    double v = 0;
    switch (rng() % 5) {
    case 0:
        v = l + u * (std::is_floating_point_v<T> ? 0.05 : 20);
        break;
    case 1:
        v = h - u * (std::is_floating_point_v<T> ? 0.05 : 20);
        break;
    case 2:
        v = mid + (u - 0.5) * (std::is_floating_point_v<T> ? 0.05 : 20);
        break;
    case 3:
        v = std::is_floating_point_v<T> ? 0.25 : l + 3;
        break; // a frequent value
    default:
        v = l + u * (h - l);
        break;
    }
    if constexpr (std::is_floating_point_v<T>)
        return T(v);
    else
        return T(std::llround(std::clamp(v, l, h)));
}

// A buffer window at a random place of a larger area, every sample random.
template <typename T> struct RandomWindow {
    RandomWindow(std::mt19937& rng, std::uint32_t colorSpace, std::uint16_t bands, std::uint32_t w,
                 std::uint32_t h)
        : area(KVIPixel(colorSpace, bands, typeOf<T>()), w + 3, h + 2),
          window(area, rng() % 4, rng() % 3, w, h) {
        for (std::uint16_t b = 0; b < bands; ++b)
            for (std::uint32_t y = 0; y < area.getTotalHeight(); ++y)
                for (std::uint32_t x = 0; x < area.getTotalWidth(); ++x)
                    setSample<T>(area, b, x, y, randomSample<T>(rng));
    }
    KVISceneBuffer area;
    KVISceneBuffer window;
};

template <typename T> double diff2(T a, T b) {
    const double d = std::is_floating_point_v<T> ? double(float(a - b))
                                                 : double(std::int64_t(a) - std::int64_t(b));
    return d * d;
}

// One side of the reference: shows, and its distance from transparent.
template <typename T> struct RefSide {
    const KVISceneBuffer* buf;
    bool alpha;
    const KVIPixel* noData;
    double cut;
    bool present() const { return alpha || noData != nullptr; }
    bool shows(std::uint32_t x, std::uint32_t y) const {
        if (alpha) {
            const T a = sampleAt<T>(*buf, std::uint16_t(buf->getNumBands() - 1), x, y);
            return std::is_floating_point_v<T> ? !(T(cut) >= a) : double(a) > cut;
        }
        for (std::uint16_t b = 0; b < noData->getNumBands() && b < buf->getNumBands(); ++b) {
            T v;
            std::memcpy(&v, noData->getSampleValueAddr(b), sizeof(T));
            if (!(sampleAt<T>(*buf, b, x, y) == v)) return true;
        }
        return false;
    }
    double distance(std::uint32_t x, std::uint32_t y) const {
        if (alpha)
            return diff2<T>(sampleAt<T>(*buf, std::uint16_t(buf->getNumBands() - 1), x, y), T(cut));
        double sum = 0;
        for (std::uint16_t b = 0; b < noData->getNumBands() && b < buf->getNumBands(); ++b) {
            T v;
            std::memcpy(&v, noData->getSampleValueAddr(b), sizeof(T));
            sum += diff2<T>(v, sampleAt<T>(*buf, b, x, y));
        }
        return sum;
    }
};

template <typename T> void sweepMaskKernels(std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (int round = 0; round < 150; ++round) {
        const std::uint32_t mode = rng() % 2;
        const bool blend = rng() % 2;
        const double mag = std::ldexp(1.0, -int(rng() % 4));
        const bool srcAlpha = rng() % 2, dstAlpha = rng() % 2;
        const bool dstNoDataGiven = rng() % 2;
        const std::uint32_t w1 = 1 + rng() % 9, w2 = 1 + rng() % 9;
        const std::uint32_t h1 = 1 + rng() % 4, h2 = 1 + rng() % 4;
        RandomWindow<T> src(rng, srcAlpha ? RGBA : KVI_COLORSPACE_RGB, srcAlpha ? 4 : 3, w1, h1);
        RandomWindow<T> dst(rng, dstAlpha ? RGBA : KVI_COLORSPACE_RGB, dstAlpha ? 4 : 3, w2, h2);
        // No-data values taken from a pixel of the buffer, so that they match now and then.
        KVIPixel srcNoData = src.window.getPixelProps(), dstNoData = dst.window.getPixelProps();
        for (std::uint16_t b = 0; b < 3; ++b) {
            const T s = sampleAt<T>(src.window, b, 0, 0), d = sampleAt<T>(dst.window, b, 0, 0);
            srcNoData.setSampleValueFromBytes(b, &s);
            dstNoData.setSampleValueFromBytes(b, &d);
        }
        const RefSide<T> s{&src.window, srcAlpha, &srcNoData, cutoffOf<T>(blend)};
        const RefSide<T> d{&dst.window, dstAlpha, dstNoDataGiven ? &dstNoData : nullptr,
                           cutoffOf<T>(blend)};
        KVIRunMask mask;
        ASSERT_EQ(
            buildMergeMask(mode, mag, dst.window, d.noData, src.window, &srcNoData, mask, blend),
            KV_OK);
        const std::uint32_t w = std::min(w1, w2), h = std::min(h1, h2);
        ASSERT_EQ(mask.getRowCount(), h);
        const double threshold = mergeTolerance(mag) * std::min(s.alpha ? 4 : 3, d.alpha ? 4 : 3);
        for (std::uint32_t y = 0; y < h; ++y) {
            const std::vector<bool> got = taken(mask, y, w + 5);
            for (std::uint32_t x = 0; x < w + 5; ++x) {
                bool want = false;
                if (x < w) {
                    want = s.shows(x, y);
                    if (want && mode == 1 && d.present() && d.shows(x, y)) {
                        const double dS = s.distance(x, y), dD = d.distance(x, y);
                        want = dS > threshold || threshold > dD || dS > 2 * dD;
                    }
                }
                ASSERT_EQ(got[x], want) << "round " << round << " x " << x << " y " << y;
            }
        }
    }
}

TEST(KVIMergeMask, EveryKernelEqualsThePlainReference) {
    sweepMaskKernels<std::uint8_t>(1);
    sweepMaskKernels<std::int8_t>(2);
    sweepMaskKernels<std::uint16_t>(3);
    sweepMaskKernels<std::int16_t>(4);
    sweepMaskKernels<float>(5);
}

// Source-over of one pixel, written from its definition.
template <typename T>
void referenceOver(const std::vector<T>& src, std::vector<T>& dst, bool srcAlpha, bool dstAlpha,
                   bool srcPre, bool dstPre) {
    const double l = lo<T>(), h = hi<T>();
    const std::size_t colours = dst.size() - (dstAlpha ? 1 : 0);
    const double sa = srcAlpha ? double(src.back()) : h;
    const double da = dstAlpha ? double(dst.back()) : h;
    float aS, aD;
    if constexpr (std::is_floating_point_v<T>) {
        aS = float(std::clamp(sa, l, h));
        aD = float(std::clamp(da, l, h));
    } else {
        aS = (float(sa) - float(l)) / (float(h) - float(l));
        aD = (float(da) - float(l)) / (float(h) - float(l));
    }
    const float aOut = (1 - aS) * aD + aS;
    double alphaOut;
    if constexpr (std::is_same_v<T, float>)
        alphaOut = (1 - aOut) * float(l) + aOut * float(h);
    else if constexpr (std::is_same_v<T, double>)
        alphaOut = (1 - double(aOut)) * l + double(aOut) * h;
    else
        alphaOut = std::clamp(std::trunc(double((1 - aOut) * float(l) + aOut * float(h))), l, h);
    const bool straight = dstAlpha && !dstPre;
    for (std::size_t b = 0; b < colours; ++b) {
        double d, s;
        if constexpr (std::is_same_v<T, double>) {
            d = dst[b] * double(1 - aS);
            s = srcPre ? src[b] : src[b] * double(aS);
        } else {
            d = double(float(dst[b]) * (1 - aS));
            s = srcPre ? double(float(src[b])) : double(float(src[b]) * aS);
        }
        if (straight) d *= aD;
        const double v = d + s;
        double out = v < l ? l : (v > alphaOut ? alphaOut : v);
        if (!std::is_floating_point_v<T>) out = std::trunc(out);
        if (straight && double(aOut) > 0.00392) {
            if constexpr (std::is_same_v<T, double>)
                out = out / aOut;
            else
                out = double(float(out) / aOut);
            if (!std::is_floating_point_v<T>) out = std::clamp(std::trunc(out), l, h);
        }
        if constexpr (std::is_same_v<T, float>)
            dst[b] = float(out);
        else
            dst[b] = T(out);
    }
    if (dstAlpha) dst.back() = T(alphaOut);
}

template <typename T> void sweepCompositeOver(std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (int round = 0; round < 120; ++round) {
        const std::uint32_t spaces[] = {KVI_COLORSPACE_RGB, RGBA, RGBA_PRE};
        const std::uint32_t srcSpace = spaces[rng() % 3], dstSpace = spaces[rng() % 3];
        const std::uint16_t srcBands = srcSpace == KVI_COLORSPACE_RGB ? 3 : 4;
        const std::uint16_t dstBands = dstSpace == KVI_COLORSPACE_RGB ? 3 : 4;
        const std::uint32_t w1 = 1 + rng() % 8, w2 = 1 + rng() % 8;
        const std::uint32_t h1 = 1 + rng() % 4, h2 = 1 + rng() % 4;
        RandomWindow<T> src(rng, srcSpace, srcBands, w1, h1);
        RandomWindow<T> dst(rng, dstSpace, dstBands, w2, h2);
        const std::uint32_t w = std::min(w1, w2), h = std::min(h1, h2);

        // A random mask: runs that may start before column 0 or end past the width, rows
        // without a list, and fewer rows than the window now and then.
        KVIRunMask mask;
        const bool useMask = rng() % 3 != 0;
        ASSERT_EQ(mask.reset(h - (rng() % 4 == 0 ? 1 : 0)), KV_OK);
        KVIRunListBuilder builder;
        for (std::uint32_t y = 0; y < mask.getRowCount(); ++y) {
            builder.clear();
            for (std::int32_t x = -2 + std::int32_t(rng() % 3); x < std::int32_t(w) + 2;) {
                const std::int32_t end = x + std::int32_t(rng() % 3);
                builder.append(x, end);
                x = end + 2 + std::int32_t(rng() % 2);
            }
            if (rng() % 4 != 0) mask.setRow(y, builder.copyList());
        }

        // The expectation, pixel by pixel.
        std::vector<std::vector<std::vector<T>>> want(h, std::vector<std::vector<T>>(w));
        for (std::uint32_t y = 0; y < h; ++y) {
            const std::vector<bool> in = useMask ? taken(mask, y, w) : std::vector<bool>(w, true);
            for (std::uint32_t x = 0; x < w; ++x) {
                std::vector<T> s(srcBands), d(dstBands);
                for (std::uint16_t b = 0; b < srcBands; ++b)
                    s[b] = sampleAt<T>(src.window, b, x, y);
                for (std::uint16_t b = 0; b < dstBands; ++b)
                    d[b] = sampleAt<T>(dst.window, b, x, y);
                if (in[x])
                    referenceOver<T>(s, d, srcBands == 4, dstBands == 4, srcSpace == RGBA_PRE,
                                     dstSpace == RGBA_PRE);
                want[y][x] = d;
            }
        }
        compositeOver<T>(src.window, dst.window, useMask ? &mask : nullptr, T(lo<T>()), T(hi<T>()));
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x)
                for (std::uint16_t b = 0; b < dstBands; ++b) {
                    const T got = sampleAt<T>(dst.window, b, x, y);
                    ASSERT_EQ(std::memcmp(&got, &want[y][x][b], sizeof(T)), 0)
                        << "round " << round << " x " << x << " y " << y << " band " << b << " got "
                        << double(got) << " want " << double(want[y][x][b]);
                }
    }
}

TEST(KVICompositeOver, EveryTypeEqualsThePlainReference) {
    sweepCompositeOver<std::uint8_t>(11);
    sweepCompositeOver<std::int8_t>(12);
    sweepCompositeOver<std::uint16_t>(13);
    sweepCompositeOver<std::int16_t>(14);
    sweepCompositeOver<std::uint32_t>(15);
    sweepCompositeOver<std::int32_t>(16);
    sweepCompositeOver<float>(17);
    sweepCompositeOver<double>(18);
}

} // namespace
