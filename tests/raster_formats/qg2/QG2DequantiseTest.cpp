#include "qg2/QG2Dequantise.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>

namespace Korvel {
namespace {

std::vector<float> dequantise(const std::vector<std::int32_t>& q, float step,
                              const QG2Dither* dither = nullptr) {
    std::vector<float> out(q.size(), 7.0f);
    qg2Dequantise(q.data(), static_cast<std::uint32_t>(q.size()), 1, out.data(), q.size(), step,
                  dither);
    return out;
}

TEST(QG2Dequantise, MatchesTheFormulaWorkedOutByHand) {
    // (q - 0.44) D + 0.5 D above zero, (q + 0.44) D - 0.5 D below, 0 for 0.
    const std::vector<float> one = dequantise({1, -1, 0, -46, 46}, 1.0f);
    EXPECT_FLOAT_EQ(one[0], 1.06f);
    EXPECT_FLOAT_EQ(one[1], -1.06f);
    EXPECT_EQ(one[2], 0.0f);
    EXPECT_FLOAT_EQ(one[3], -46.06f);
    EXPECT_FLOAT_EQ(one[4], 46.06f);
    // Both sides of the table's reach (|q| <= 45) and a large value.
    const std::vector<float> half = dequantise({45, 46, -45, 1000}, 0.5f);
    EXPECT_FLOAT_EQ(half[0], 22.53f);
    EXPECT_FLOAT_EQ(half[1], 23.03f);
    EXPECT_FLOAT_EQ(half[2], -22.53f);
    EXPECT_FLOAT_EQ(half[3], 500.03f);
    EXPECT_FLOAT_EQ(dequantise({-3}, 2.5f)[0], -7.65f);
    // The single-precision steps exactly: (1 - 0.44f) + 0.5f.
    EXPECT_EQ(one[0], (1.0f - 0.44f) * 1.0f + 0.5f * 1.0f);
    // A step of 0 gives 0 everywhere.
    EXPECT_EQ(dequantise({5, -9, 70000}, 0.0f), std::vector<float>(3, 0.0f));
}

TEST(QG2Dequantise, DitherTileIsFixedAndUniformInAQuarter) {
    // The documented generator's first values.
    const float scale = 1.0f / 33554432.0f;
    EXPECT_EQ(QG2DitherTile::value(0, 0), 11844298 * scale - 0.25f);
    EXPECT_EQ(QG2DitherTile::value(0, 1), 10744509 * scale - 0.25f);
    EXPECT_EQ(QG2DitherTile::value(0, 127), 5137887 * scale - 0.25f);
    EXPECT_EQ(QG2DitherTile::value(1, 0), 11446407 * scale - 0.25f);
    EXPECT_EQ(QG2DitherTile::value(129, 255), QG2DitherTile::value(1, 127));

    // Spread over [-0.25, 0.25) with a mean near 0.
    std::vector<float> all;
    for (std::uint32_t r = 0; r < 128; ++r)
        all.insert(all.end(), QG2DitherTile::row(r), QG2DitherTile::row(r) + 128);
    const auto [low, high] = std::minmax_element(all.begin(), all.end());
    EXPECT_TRUE(*low >= -0.25f && *low < -0.249f && *high < 0.25f && *high > 0.249f);
    EXPECT_NEAR(std::accumulate(all.begin(), all.end(), 0.0) / all.size(), 0.0, 0.01);
}

TEST(QG2Dequantise, DitherSubtractsTheStepTimesTheTileAtSubbandPosition) {
    // Columns 126.. with column offset 5 wrap at the tile's end; rows 1.. with row offset 3. The
    // rows go into a plane of stride 4, whose fourth column stays as it was.
    const std::vector<std::int32_t> q{0, 1, -2, 3, 0, 100};
    std::vector<float> plane(8, -1.0f);
    const QG2Dither dither{5, 3, 126, 1};
    qg2Dequantise(q.data(), 3, 2, plane.data(), 4, 2.0f, &dither);
    const std::vector<float> plain = dequantise(q, 2.0f);
    for (std::uint32_t j = 0; j < 2; ++j) {
        for (std::uint32_t i = 0; i < 3; ++i) {
            const float t = QG2DitherTile::value(1 + j + 3, (126 + i + 5) % 128);
            EXPECT_EQ(plane[j * 4 + i], plain[j * 3 + i] - 2.0f * t) << i << "," << j;
        }
        EXPECT_EQ(plane[j * 4 + 3], -1.0f);
    }
    EXPECT_NE(plane[0], 0.0f); // zero coefficients are dithered too
}

} // namespace
} // namespace Korvel
