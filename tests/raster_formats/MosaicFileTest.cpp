// Files of several images read through the reader front as one mosaic: the canvas that the
// images' georeferencing lays out, and scenes at several magnifications and windows, each equal
// to the test's own composition of the images read one by one through their own readers.

#include "KVIRef.h"
#include "KVISceneBuffer.h"
#include "QG2ImageWriter.h"
#include "QuarnImageReader.h"
#include "QuarnImageStageManager.h"
#include "RasterFileWriter.h"
#include "TestStreams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace Korvel;
using namespace quarn_test;

namespace {

// Where an image lies: the ground position of its pixel (0, 0) and its ground resolution (the
// same in x and y, rows running down).
struct Placement {
    std::uint32_t width, height;
    double x, y, res;
};

// The samples of a scene of three 8-bit bands, band by band, row by row.
using Bands = std::vector<std::vector<std::uint8_t>>;

// A generation-2 RGB image of smooth bands that differ with the seed, placed by its metadata.
Bytes qg2Image(const Placement& p, std::uint32_t seed, bool dither) {
    QG2ImageSpec s;
    s.levels = 2;
    for (std::uint32_t b = 0; b < 3; ++b) {
        QG2Plane plane{p.width, p.height, {}};
        for (std::uint32_t y = 0; y < p.height; ++y)
            for (std::uint32_t x = 0; x < p.width; ++x)
                plane.samples.push_back(120.0 + 70.0 * std::sin(0.21 * x + seed + b) +
                                        50.0 * std::cos(0.17 * y * (b + 1) + 2.0 * seed));
        s.bands.push_back(std::move(plane));
    }
    s.steps = {1.0f, 1.0f, 1.0f};
    s.noDither = !dither;
    s.geo = std::array<double, 4>{p.x, p.y, p.res, -p.res};
    return writeQG2Image(s).file.bytes;
}

Bands readScene(KVIImageStage& stage, const KVIScene& scene) {
    const auto w = static_cast<std::uint32_t>(scene.getNumCols());
    const auto h = static_cast<std::uint32_t>(scene.getNumRows());
    KVISceneBuffer buffer(stage.getPixelProps(), w, h);
    EXPECT_EQ(stage.read(scene, buffer), KV_OK);
    Bands bands(3);
    for (std::uint16_t b = 0; b < 3; ++b)
        bands[b].assign(buffer.getWindowBandData(b), buffer.getWindowBandData(b) + w * h);
    return bands;
}

// The mosaic as the test lays it out: the cover of the images' ground boxes at the finest
// resolution, and each image composed into it as its own reader reads it.
class Composition {
public:
    Composition(const Bytes& file, std::vector<Placement> images)
        : stream_(file, false), images_(std::move(images)) {
        EXPECT_EQ(manager_->open(&stream_, 1, 3), KV_OK);
        res_ = images_[0].res;
        left_ = top_ = -1e300;
        double right = -1e300, bottom = 1e300;
        left_ = 1e300;
        for (const Placement& p : images_) {
            res_ = std::min(res_, p.res);
            left_ = std::min(left_, p.x);
            right = std::max(right, p.x + p.width * p.res);
            top_ = std::max(top_, p.y);
            bottom = std::min(bottom, p.y - p.height * p.res);
        }
        width = static_cast<std::uint32_t>(std::floor((right - left_) / res_ + 0.5));
        height = static_cast<std::uint32_t>(std::floor((top_ - bottom) / res_ + 0.5));
    }

    // The window (x, y, w, h) of the canvas at magnification mag: background 0, then each image
    // in file order, read whole at mag times its scale and placed at its offset rounded at mag.
    Bands compose(double mag, std::int64_t x0, std::int64_t y0, std::uint32_t w, std::uint32_t h) {
        Bands out(3, std::vector<std::uint8_t>(std::size_t{w} * h, 0));
        for (std::uint32_t i = 0; i < images_.size(); ++i) {
            const Placement& p = images_[i];
            const double own = mag * p.res / res_;
            const KVIRef<KVIImageStage> stage(manager_->getImageStage(i));
            std::uint32_t iw = 0, ih = 0;
            EXPECT_EQ(stage->getDimsAtMag(own, iw, ih), KV_OK);
            const Bands image = readScene(*stage, KVIScene(0, 0, iw, ih, own));
            const auto offX =
                static_cast<std::int64_t>(std::floor(mag * (p.x - left_) / res_ + 0.5));
            const auto offY =
                static_cast<std::int64_t>(std::floor(mag * (top_ - p.y) / res_ + 0.5));
            for (std::uint32_t y = 0; y < h; ++y)
                for (std::uint32_t x = 0; x < w; ++x) {
                    const std::int64_t u = x0 + x - offX, v = y0 + y - offY;
                    if (u < 0 || v < 0 || u >= iw || v >= ih) continue;
                    for (std::size_t b = 0; b < 3; ++b)
                        out[b][std::size_t{y} * w + x] = image[b][std::size_t(v) * iw + u];
                }
        }
        return out;
    }

    std::uint32_t width = 0, height = 0;

private:
    VectorStream stream_;
    KVIRef<QuarnImageStageManager> manager_{QuarnImageStageManager::create()};
    std::vector<Placement> images_;
    double res_ = 1.0, left_ = 0.0, top_ = 0.0;
};

// Opens the file through the reader front and compares the full canvas and random windows at
// each magnification with the composition.
void expectComposition(const Bytes& file, const std::vector<Placement>& images,
                       std::initializer_list<double> mags) {
    Composition reference(file, images);
    VectorStream stream(file, false);
    const KVIRef<QuarnImageReader> reader(QuarnImageReader::create());
    ASSERT_EQ(reader->initialize(&stream, nullptr, 1, 3), KV_OK);
    ASSERT_NE(reader->getMosaic(), nullptr);
    ASSERT_EQ(reader->getWidth(), reference.width);
    ASSERT_EQ(reader->getHeight(), reference.height);
    std::mt19937 random(7);
    for (const double mag : mags) {
        std::uint32_t w = 0, h = 0;
        ASSERT_EQ(reader->getDimsAtMag(mag, w, h), KV_OK);
        for (int window = 0; window < 4; ++window) {
            std::uint32_t x = 0, y = 0, cols = w, rows = h;
            if (window > 0) {
                cols = 1 + random() % w;
                rows = 1 + random() % h;
                x = random() % (w - cols + 1);
                y = random() % (h - rows + 1);
            }
            EXPECT_EQ(readScene(*reader, KVIScene(x, y, cols, rows, mag)),
                      reference.compose(mag, x, y, cols, rows))
                << "mag " << mag << " window " << x << ", " << y << ", " << cols << " x " << rows;
        }
    }
}

TEST(MosaicFile, Generation2ImagesInAContainerReadAsTheirComposition) {
    struct Case {
        const char* name;
        std::vector<Placement> images;
        std::initializer_list<double> mags;
    };
    const Case cases[] = {
        // Apart, at odd ground positions: a gap of background between them.
        {"apart", {{40, 24, 0, 24, 1}, {32, 20, 53, 41, 1}}, {1.0, 0.5, 0.25}},
        // Overlapping: the later image lies on top.
        {"overlapping",
         {{40, 32, 0, 32, 1}, {36, 28, 21, 45, 1}, {16, 16, 10, 20, 1}},
         {1.0, 0.5, 0.25}},
        // The second image at half the first one's resolution, resampled onto the finer grid.
        {"resolutions", {{40, 32, 0, 32, 1}, {16, 16, 40, 36, 2}}, {1.0, 0.5, 0.25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RasterPacket> packets;
        for (std::uint32_t i = 0; i < c.images.size(); ++i)
            packets.push_back(qg2Packet(i + 1, qg2Image(c.images[i], i, i == 1)));
        expectComposition(rasterFile(kGen3Version, packets), c.images, c.mags);
    }
}

} // namespace
