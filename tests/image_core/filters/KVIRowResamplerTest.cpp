// The row resamplers: the worked values of their definition, and every operation of every data
// type against the plain sample-by-sample reference over random rows and positions.

#include "filters/KVIRowResampler.h"
#include "ResampleReference.h"
#include "model/KVIDataTypeDispatch.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <random>
#include <vector>

using namespace Korvel;

namespace {

std::unique_ptr<KVIRowResampler> rowResampler(std::uint32_t dataType) {
    auto resampler = KVIRowResampler::create(dataType);
    EXPECT_NE(resampler, nullptr) << dataType;
    return resampler;
}

TEST(KVIRowResampler, NearestAtHalfStepsRepeatsEachSampleAndHoldsTheEnds) {
    const auto nearest = rowResampler(KVI_DATATYPE_UINT16);
    const std::uint16_t row[3] = {10, 20, 30};
    std::uint16_t out[10] = {};
    nearest->resampleNearest(0.0f, 10, out, -1.5f, 0.5f, 3, row);
    // Positions -1.5 ... 3.0: below 0 (and -0.5, truncated to 0) take sample 0, 1 and 1.5 sample
    // 1, 2 and beyond sample 2.
    const std::uint16_t expected[10] = {10, 10, 10, 10, 10, 20, 20, 30, 30, 30};
    EXPECT_EQ(std::vector<std::uint16_t>(out, out + 10),
              std::vector<std::uint16_t>(expected, expected + 10));
}

TEST(KVIRowResampler, LinearTruncatesIntegerResults) {
    const std::uint8_t row[4] = {0, 0, 10, 20};
    std::uint8_t out = 0;
    rowResampler(KVI_DATATYPE_UINT8)->resampleLinear(0.0f, 1, &out, 2.75f, 1.0f, 4, row, row);
    EXPECT_EQ(out, 17); // 17.5 truncated
    const std::uint8_t below[2] = {100, 200};
    rowResampler(KVI_DATATYPE_UINT8)->resampleLinear(0.5f, 1, &out, 0.25f, 1.0f, 2, row, below);
    EXPECT_EQ(out, 62); // top 0, bottom 125, halfway
}

TEST(KVIRowResampler, CubicKeepsConstantsAndClampsOvershoot) {
    for (std::uint32_t type = 1; type <= 8; ++type) {
        withSampleType(type, [&](auto zero) {
            using T = decltype(zero);
            const T c = std::is_integral_v<T> ? T(99) : T(0.375);
            const std::vector<T> row(9, c);
            std::vector<T> out(13);
            rowResampler(type)->resampleCubic(0.3f, 13, out.data(), -2.2f, 0.77f, 9, row.data(),
                                              row.data(), row.data(), row.data());
            for (T v : out)
                EXPECT_EQ(v, c) << type;
        });
    }
    const auto cubic8 = rowResampler(KVI_DATATYPE_UINT8);
    const std::uint8_t peak[4] = {0, 255, 255, 0};   // 318.75 at the middle
    const std::uint8_t valley[4] = {255, 0, 0, 255}; // -63.75 at the middle
    std::uint8_t out[2] = {};
    cubic8->resampleCubic(0.0f, 1, out, 1.5f, 1.0f, 4, peak, peak, peak, peak);
    cubic8->resampleCubic(0.0f, 1, out + 1, 1.5f, 1.0f, 4, valley, valley, valley, valley);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 0);

    const float zeros[4] = {};
    float result = -1.0f;
    rowResampler(KVI_DATATYPE_FLOAT32)
        ->resampleCubic(0.5f, 1, &result, 1.25f, 1.0f, 4, zeros, zeros, zeros, zeros);
    EXPECT_EQ(result, 1.17549435e-38f);
    EXPECT_EQ(result, FLT_MIN);
}

// Random rows of n samples over the type's range (floating types a little beyond [0, 1]).
template <typename T> std::vector<T> randomRow(std::mt19937& rng, std::uint32_t n) {
    std::vector<T> row(n);
    for (T& v : row) {
        if constexpr (std::is_integral_v<T>)
            v = static_cast<T>(std::uniform_int_distribution<std::int64_t>(
                std::numeric_limits<T>::lowest(), std::numeric_limits<T>::max())(rng));
        else
            v = static_cast<T>(std::uniform_real_distribution<double>(-0.25, 1.25)(rng));
    }
    return row;
}

TEST(KVIRowResampler, EveryOperationOfEveryTypeMatchesTheReference) {
    std::mt19937 rng(2024);
    const float steps[] = {0.25f, 0.5f, 0.77f, 1.0f, 1.37f, 2.0f, 3.3f, 0.1f};
    for (std::uint32_t type = 1; type <= 8; ++type) {
        withSampleType(type, [&](auto zero) {
            using T = decltype(zero);
            const auto resampler = rowResampler(type);
            for (int trial = 0; trial < 300; ++trial) {
                const auto n = std::uniform_int_distribution<std::uint32_t>(1, 40)(rng);
                const auto count = std::uniform_int_distribution<std::uint32_t>(1, 37)(rng);
                const float step = steps[trial % 8];
                const float x = std::uniform_real_distribution<float>(-3.0f, float(n))(rng);
                const float fy = std::uniform_real_distribution<float>(-0.5f, 1.0f)(rng);
                std::vector<T> rows[4];
                const T* pointers[4];
                for (int r = 0; r < 4; ++r) {
                    rows[r] = randomRow<T>(rng, n);
                    pointers[r] = rows[r].data();
                }
                for (int method = 1; method <= 3; ++method) {
                    std::vector<T> got(count), want(count);
                    resample_ref::row<T>(method, fy, count, want.data(), x, step, n, pointers);
                    if (method == 1)
                        resampler->resampleNearest(fy, count, got.data(), x, step, n, pointers[0]);
                    else if (method == 2)
                        resampler->resampleLinear(fy, count, got.data(), x, step, n, pointers[0],
                                                  pointers[1]);
                    else
                        resampler->resampleCubic(fy, count, got.data(), x, step, n, pointers[0],
                                                 pointers[1], pointers[2], pointers[3]);
                    ASSERT_EQ(std::memcmp(got.data(), want.data(), count * sizeof(T)), 0)
                        << "type " << type << " method " << method << " n " << n << " count "
                        << count << " x " << x << " step " << step << " fy " << fy;
                }
            }
        });
    }
}

} // namespace
