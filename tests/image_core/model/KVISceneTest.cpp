#include "model/KVIScene.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace Korvel;

TEST(KVIScene, WholePixelViewsRoundHalfUp) {
    const KVIScene scene(0.4, 0.6, 9.8, 9.5, 1.0);
    EXPECT_EQ(scene.getUpperLeftCol(), 0);
    EXPECT_EQ(scene.getUpperLeftRow(), 1);
    EXPECT_EQ(scene.getNumCols(), 10);
    EXPECT_EQ(scene.getNumRows(), 9);
    EXPECT_EQ(scene.getLowerRightCol(), 9);
    EXPECT_EQ(scene.getLowerRightRow(), 9);
    EXPECT_EQ(KVIScene(-1.5, -0.5, 1.0, 1.0, 1.0).getUpperLeftCol(), -1);
}

TEST(KVIScene, HugeCoordinatesStayWithin32Bits) {
    const KVIScene scene(-1e300, 0.0, 3e300, 1e20, 1.0);
    EXPECT_EQ(scene.getUpperLeftCol(), INT32_MIN);
    EXPECT_EQ(scene.getNumCols(), INT32_MAX);
    EXPECT_EQ(scene.getLowerRightRow(), INT32_MAX - 1);
}
