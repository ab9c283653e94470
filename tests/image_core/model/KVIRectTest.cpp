#include "model/KVIRect.h"

#include <gtest/gtest.h>

#include <random>

namespace Korvel {
namespace {

// Sizes and intersections against a pixel-by-pixel count over small random rectangles, empty
// ones included.
TEST(KVIRect, SizesAndIntersectionAgreeWithAPixelCount) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> v(-4, 4);
    auto inside = [](const KVIRect& r, int x, int y) {
        return x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1;
    };
    for (int i = 0; i < 2000; ++i) {
        const KVIRect a{v(rng), v(rng), v(rng), v(rng)};
        const KVIRect b{v(rng), v(rng), v(rng), v(rng)};
        const KVIRect c = a.intersect(b);
        std::int64_t inA = 0, inBoth = 0;
        bool cExact = true;
        for (int y = -5; y <= 5; ++y)
            for (int x = -5; x <= 5; ++x) {
                inA += inside(a, x, y);
                const bool both = inside(a, x, y) && inside(b, x, y);
                inBoth += both;
                cExact = cExact && both == inside(c, x, y);
            }
        EXPECT_EQ(a.width() * a.height(), inA);
        EXPECT_EQ(a.isEmpty(), inA == 0);
        EXPECT_TRUE(cExact);
        EXPECT_EQ(c.width() * c.height(), inBoth);
        if (inBoth == 0) {
            EXPECT_EQ(c, KVIRect{});
        }
        EXPECT_EQ(a.contains(c), inBoth > 0);
    }
}

} // namespace
} // namespace Korvel
