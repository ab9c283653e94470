// Generation-3 and -4 images written by the test writer and decoded through the reader front.

#include "RasterRead.h"

#include <gtest/gtest.h>

#include <random>

using namespace Korvel;
using namespace quarn_test;

namespace {

// A recognisable picture: a gradient, a disc and some noise.
std::vector<std::int32_t> picture(std::uint32_t w, std::uint32_t h, std::uint32_t seed, int low,
                                  int high) {
    std::mt19937 random(seed);
    std::vector<std::int32_t> p(std::size_t(w) * h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const double dx = x - w / 2.0, dy = y - h / 3.0;
            double v = 0.3 + 0.4 * x / w + (dx * dx + dy * dy < w * h / 10.0 ? 0.25 : 0.0);
            v += (int(random() % 21) - 10) / 400.0;
            p[std::size_t(y) * w + x] = std::int32_t(low + v * (high - low));
        }
    return p;
}

TEST(RasterDecodeTest, Smoke) {
    RasterImage im;
    im.width = 70;
    im.height = 50;
    im.levels = 3;
    im.subblockSize = 16;
    im.planes = {picture(70, 50, 1, 0, 255)};
    RasterImageCoder coder(im);
    OpenRaster file(coder.file(kGen3Version));
    ASSERT_EQ(file.status, KV_OK);
    for (int level = 0; level <= 3; ++level) {
        const double mag = 1.0 / (1 << level);
        std::uint32_t w = 0, h = 0;
        ASSERT_EQ(file.reader->getDimsAtMag(mag, w, h), KV_OK);
        const SceneSamples s = readScene(*file.reader, KVIScene(0, 0, w, h, mag));
        ASSERT_EQ(s.status, KV_OK) << level;
        const RasterSubband& e = coder.expected(0, level);
        ASSERT_EQ(e.width, w);
        int bad = 0;
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x)
                if (s.at(0, x, y) != outputSample(im, 0, e.at(x, y)) && bad++ < 5)
                    ADD_FAILURE() << level << " " << x << "," << y << " " << s.at(0, x, y) << " "
                                  << e.at(x, y);
    }
}

} // namespace
