// The resamplers over scene buffers: a whole destination rectangle against the plain reference,
// two stacked strips against one buffer holding the same rows, rows past the source rectangle,
// the tap-widened input scene and the refusals; a running position advanced at once against the
// same additions made one by one.

#include "filters/KVIResampler.h"
#include "ResampleReference.h"
#include "SyntheticImageStage.h"
#include "buffers/KVISceneBuffer.h"
#include "filters/KVIResamplePosition.h"
#include "model/KVIDataTypeDispatch.h"

#include "support/KVIRef.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>

using namespace Korvel;
using quarn_test::SyntheticImageStage;

namespace {

KVIRect rect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
    return KVIRect{x0, y0, x1, y1};
}

template <typename T> T* band(const KVISceneBuffer& buffer, std::uint16_t b) {
    return reinterpret_cast<T*>(buffer.getWindowBandData(b));
}

TEST(KVIResampler, CreatedPerMethodWithItsTaps) {
    const std::int32_t taps[3][2] = {{0, 0}, {0, 1}, {-1, 2}};
    for (std::uint32_t method = 1; method <= 3; ++method) {
        const auto resampler = KVIResampler::create(KVI_DATATYPE_SINT16, method);
        ASSERT_NE(resampler, nullptr);
        EXPECT_EQ(resampler->getFirstTap(), taps[method - 1][0]);
        EXPECT_EQ(resampler->getLastTap(), taps[method - 1][1]);
    }
    EXPECT_EQ(KVIResampler::create(KVI_DATATYPE_UINT8, 0), nullptr);
    EXPECT_EQ(KVIResampler::create(KVI_DATATYPE_UINT8, 4), nullptr);
    EXPECT_EQ(KVIResampler::create(KVI_DATATYPE_NONE, 1), nullptr); // no row resampler
    EXPECT_EQ(KVIResampler::create(9, 1), nullptr);
}

TEST(KVIResampler, BufferAndStripsMatchTheReferenceForEveryTypeAndMethod) {
    std::mt19937 rng(7);
    for (std::uint32_t type = 1; type <= 8; ++type) {
        withSampleType(type, [&](auto zero) {
            using T = decltype(zero);
            const KVIPixel pixel(KVI_COLORSPACE_MULTIBAND, 2, type);
            for (int trial = 0; trial < 24; ++trial) {
                // A source of 2 bands, 23 x 21, filled at random; a source rectangle inside it.
                KVISceneBuffer source(pixel, 23, 21);
                for (std::uint16_t b = 0; b < 2; ++b)
                    for (std::uint32_t i = 0; i < 23 * 21; ++i)
                        band<T>(source, b)[i] =
                            std::is_integral_v<T>
                                ? static_cast<T>(std::int64_t(rng() % 60000) - 30000)
                                : static_cast<T>(double(rng() % 1000) / 999.0);
                const KVIRect s = rect(trial % 4, trial % 3, 22 - trial % 5, 20 - trial % 2);
                const KVIRect d = rect(1, 2, 1 + int(rng() % 30), 2 + int(rng() % 25));
                const float originX = float(int(rng() % 50) - 12) / 7.0f;
                const float originY = float(int(rng() % 50) - 12) / 9.0f;
                const float stepX = float(1 + rng() % 40) / 13.0f;
                const float stepY = float(1 + rng() % 40) / 11.0f;
                for (std::uint32_t method = 1; method <= 3; ++method) {
                    const auto resampler = KVIResampler::create(type, method);
                    KVISceneBuffer got(pixel, 40, 30);
                    KVISceneBuffer want(pixel, 40, 30);
                    ASSERT_EQ(resampler->resampleBuffer(got, d, source, s, originX, originY, stepX,
                                                        stepY),
                              KV_OK);
                    for (std::uint16_t b = 0; b < 2; ++b)
                        resample_ref::rect<T>(int(method), band<T>(want, b), 40,
                                              {d.x0, d.y0, d.x1, d.y1}, band<T>(source, b), 23,
                                              {s.x0, s.y0, s.x1, s.y1}, originX, originY, stepX,
                                              stepY);
                    // The same rows split into two stacked windows at a random row.
                    const auto split = std::uint32_t(1 + rng() % 20);
                    KVISceneBuffer upper(source, 0, 0, 23, split);
                    KVISceneBuffer lower(source, 0, split, 23, 21 - split);
                    KVISceneBuffer stacked(pixel, 40, 30);
                    ASSERT_EQ(resampler->resampleStrips(stacked, d, upper, lower, s, originX,
                                                        originY, stepX, stepY),
                              KV_OK);
                    for (std::uint16_t b = 0; b < 2; ++b) {
                        ASSERT_EQ(
                            std::memcmp(band<T>(got, b), band<T>(want, b), 40 * 30 * sizeof(T)), 0)
                            << "type " << type << " method " << method << " trial " << trial;
                        ASSERT_EQ(
                            std::memcmp(band<T>(stacked, b), band<T>(want, b), 40 * 30 * sizeof(T)),
                            0)
                            << "type " << type << " method " << method << " split " << split;
                    }
                }
            }
        });
    }
}

TEST(KVIResampler, RowsPastTheSourceRectangleRepeatItsLastRow) {
    const KVIPixel grey(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8);
    KVISceneBuffer source(grey, 4, 6);
    for (std::uint32_t i = 0; i < 24; ++i)
        band<std::uint8_t>(source, 0)[i] = std::uint8_t(i);
    KVISceneBuffer out(grey, 4, 8);
    // Source rows 1 ... 3 only; destination rows step past row 3.
    ASSERT_EQ(KVIResampler::create(KVI_DATATYPE_UINT8, KVI_RESAMPLE_NEAREST)
                  ->resampleBuffer(out, rect(0, 0, 3, 7), source, rect(0, 1, 3, 3), 0.0f, 1.0f,
                                   1.0f, 1.0f),
              KV_OK);
    for (std::uint32_t r = 0; r < 8; ++r)
        for (std::uint32_t c = 0; c < 4; ++c)
            EXPECT_EQ(band<std::uint8_t>(out, 0)[r * 4 + c], std::min(r + 1, 3u) * 4 + c) << r;
}

TEST(KVIResampler, InputSceneIsWidenedByTheTapsAndHeldInTheImage) {
    KVIRef<SyntheticImageStage> image(new SyntheticImageStage(100, 50));
    image->setMagnification(0.5, 1.0);
    const auto cubic = KVIResampler::create(KVI_DATATYPE_UINT8, KVI_RESAMPLE_CUBIC);
    EXPECT_EQ(cubic->getInputScene(*image, KVIScene(10.5, 3.2, 20, 10, 1.0)),
              KVIScene(9, 2, 24, 14, 1.0));
    EXPECT_EQ(cubic->getInputScene(*image, KVIScene(0.5, 0.0, 49.5, 25, 0.5)),
              KVIScene(0, 0, 50, 25, 0.5));
    const auto nearest = KVIResampler::create(KVI_DATATYPE_UINT8, KVI_RESAMPLE_NEAREST);
    EXPECT_EQ(nearest->getInputScene(*image, KVIScene(10.5, 3.2, 20, 10, 1.0)),
              KVIScene(10, 3, 21, 11, 1.0));
}

TEST(KVIResampler, RectanglesOutsideTheirWindowsAndForeignBandsAreRefused) {
    const KVIPixel grey(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8);
    const auto resampler = KVIResampler::create(KVI_DATATYPE_UINT8, KVI_RESAMPLE_LINEAR);
    KVISceneBuffer source(grey, 8, 8);
    KVISceneBuffer out(grey, 8, 8);
    const auto run = [&](KVIRect d, KVIRect s) {
        return resampler->resampleBuffer(out, d, source, s, 0, 0, 1, 1);
    };
    EXPECT_EQ(run(rect(0, 0, 8, 0), rect(0, 0, 7, 7)), KV_BAD_ARGUMENT);
    EXPECT_EQ(run(rect(-1, 0, 3, 0), rect(0, 0, 7, 7)), KV_BAD_ARGUMENT);
    EXPECT_EQ(run(rect(0, 0, 7, 7), rect(0, 0, 7, 8)), KV_BAD_ARGUMENT);
    EXPECT_EQ(run(rect(0, 0, 7, 7), rect(3, 0, 2, 7)), KV_BAD_ARGUMENT);
    EXPECT_EQ(run(rect(0, 0, -1, 7), rect(0, 0, 7, 7)), KV_OK); // nothing to do
    KVISceneBuffer wide(grey, 9, 8);
    EXPECT_EQ(resampler->resampleStrips(out, rect(0, 0, 7, 7), source, wide, rect(0, 0, 7, 15), 0,
                                        0, 1, 1),
              KV_BAD_ARGUMENT);
    KVISceneBuffer shorts(KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT16), 8, 8);
    EXPECT_EQ(
        resampler->resampleBuffer(out, rect(0, 0, 7, 7), shorts, rect(0, 0, 7, 7), 0, 0, 1, 1),
        KV_PIXEL_DATA_TYPE_MISMATCH);
    KVISceneBuffer rgb(KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8), 8, 8);
    EXPECT_EQ(resampler->resampleBuffer(out, rect(0, 0, 7, 7), rgb, rect(0, 0, 7, 7), 0, 0, 1, 1),
              KV_PIXEL_BAND_COUNT_MISMATCH);
}

TEST(KVIResamplePosition, AdvancingAtOnceGivesTheAdditionsOneByOne) {
    // Positions from 0 to beyond 2^24 (where a step is rounded away), steps of every size, and
    // steps of a whole number of units and a half (ties, rounded to even) at the position's scale
    // or at the scale of the binade it is about to enter.
    std::mt19937 random(5);
    for (int i = 0; i < 2000; ++i) {
        const int scale = int(random() % 26) - 2;
        float position = i % 7 == 0 ? 0.0f : std::ldexp(float(random() % 65536), scale - 16);
        float step = std::ldexp(float(1 + random() % 4096), -int(random() % 14));
        if (i % 3 == 0) step = std::ldexp(float(2 * (random() % 64) + 1), scale - 25);
        if (i % 3 == 1) {
            // Just below a power of two, with a step of half units of the binade above it.
            position = std::ldexp(1.0f, scale) - std::ldexp(float(1 + random() % 8), scale - 24);
            step = std::ldexp(float(2 * (random() % 64) + 1), scale - 24);
        }
        const std::uint64_t count = random() % (i % 10 == 0 ? 3000000 : 20000);
        float added = position;
        for (std::uint64_t k = 0; k < count; ++k)
            added += step;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(kviAdvance(position, step, count)),
                  std::bit_cast<std::uint32_t>(added))
            << position << " + " << count << " x " << step;
    }
}

} // namespace
