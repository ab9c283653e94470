#include "support/KVMagnification.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace Korvel {
namespace {

constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(MagnificationLevel, NearestLevelAndBack) {
    EXPECT_EQ(magToLevel(1.0), 0);
    EXPECT_EQ(magToLevel(0.25), 2);
    EXPECT_EQ(magToLevel(4.0), -2);
    EXPECT_EQ(magToLevel(0.7), 1); // -log2(0.7) = 0.515
    EXPECT_EQ(magToLevel(0.75), 0);
    EXPECT_DOUBLE_EQ(levelToMag(3), 0.125);
    EXPECT_DOUBLE_EQ(levelToMag(-127), std::ldexp(1.0, 127));
    // Degenerate magnifications give the extreme levels instead of an undefined conversion.
    EXPECT_EQ(magToLevel(0.0), kMax32);
    EXPECT_EQ(magToLevel(-1.0), kMax32);
    EXPECT_EQ(magToLevel(kInf), kMin32);
    EXPECT_EQ(magToLevel(std::nan("")), 0);
    EXPECT_TRUE(std::isinf(levelToMag(kMin32)));
}

TEST(MagnificationShift, RoundingAndSaturation) {
    EXPECT_EQ(shiftCeil(5, 1), 3);
    EXPECT_EQ(shiftCeil(-5, 1), -3);
    EXPECT_EQ(shiftCeil(0, 4), 0);
    EXPECT_EQ(shiftCeil(3, -2), 12);
    EXPECT_EQ(shiftFloor(-5, 1), -3);
    EXPECT_EQ(shiftFloor(-4, 1), -2);
    EXPECT_EQ(shiftFloor(5, 1), 2);
    EXPECT_EQ(shiftFloor(-3, -2), -12);
    // Extreme values and levels: no overflow, results held in 32 bits.
    EXPECT_EQ(shiftCeil(kMin32, 1), -(1 << 30));
    EXPECT_EQ(shiftCeil(kMax32, 31), 1);
    EXPECT_EQ(shiftCeil(-1, 100), -1);
    EXPECT_EQ(shiftFloor(-1, 100), -1);
    EXPECT_EQ(shiftFloor(kMax32, 100), 0);
    EXPECT_EQ(shiftCeil(0x40000000, -1), kMax32);
    EXPECT_EQ(shiftFloor(-0x40000000, -1), kMin32);
    EXPECT_EQ(shiftFloor(-1, kMin32), kMin32);
    EXPECT_EQ(shiftFloor(0, kMin32), 0);

    EXPECT_TRUE(shiftOverflows(0x40000000, -1));
    EXPECT_FALSE(shiftOverflows(0x3FFFFFFF, -1));
    EXPECT_TRUE(shiftOverflows(-0x40000001, -1));
    EXPECT_TRUE(shiftOverflows(1, -31));
    EXPECT_FALSE(shiftOverflows(0, -40));
    EXPECT_FALSE(shiftOverflows(kMax32, 0));
}

TEST(MagnificationSnap, HeldWithinTheImageRange) {
    EXPECT_DOUBLE_EQ(snapMagnification(0.7, 0.125, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(snapMagnification(0.45, 0.125, 1.0), 0.5);
    EXPECT_DOUBLE_EQ(snapMagnification(0.05, 0.125, 1.0), 0.125);
    EXPECT_DOUBLE_EQ(snapMagnification(3.0, 0.125, 1.0), 1.0);
    // Within a quarter level above a power of two it goes down, beyond that up.
    EXPECT_DOUBLE_EQ(snapMagnification(0.28, 0.125, 1.0), 0.25);
    EXPECT_DOUBLE_EQ(snapMagnification(0.3, 0.125, 1.0), 0.5);
    EXPECT_DOUBLE_EQ(snapMagnification(3.0, 0.125, 8.0), 4.0);
    EXPECT_DOUBLE_EQ(snapMagnification(std::nan(""), 0.125, 1.0), 0.125);
    EXPECT_DOUBLE_EQ(snapMagnification(-2.0, 0.125, 1.0), 0.125);
}

TEST(MagnificationScale, RoundsUpAndRejectsWhatDoesNotFit) {
    std::uint32_t w = 9, h = 9;
    EXPECT_EQ(scaleDimensions(1001, 7, 0.5, w, h), KV_OK);
    EXPECT_EQ(w, 501u);
    EXPECT_EQ(h, 4u);
    EXPECT_EQ(scaleDimensions(0xFFFFFFFF, 1, 1.0, w, h), KV_OK);
    EXPECT_EQ(w, 0xFFFFFFFFu);
    EXPECT_EQ(scaleDimensions(0x80000000, 1, 2.0, w, h), KV_BAD_ARGUMENT);
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(scaleDimensions(10, 10, -0.5, w, h), KV_BAD_ARGUMENT);
    EXPECT_EQ(scaleDimensions(10, 10, std::nan(""), w, h), KV_BAD_ARGUMENT);
    EXPECT_EQ(scaleDimensions(10, 10, kInf, w, h), KV_BAD_ARGUMENT);
}

} // namespace
} // namespace Korvel
