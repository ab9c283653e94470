// Files of several images read through the reader front as one mosaic: the canvas that the
// images' georeferencing lays out, and scenes at several magnifications and windows, each equal
// to the test's own composition of the images read one by one through their own readers. Coded
// images are also checked, wherever their own reader reads them at a level of their wavelet,
// against what the test's writer says the decoder must rebuild. Stacked images of several
// resolutions give the pixels of one read per image however the mosaic bounds what it holds,
// and files that once read otherwise keep their pixels.

#include "QG2ImageWriter.h"
#include "QuarnImageReader.h"
#include "QuarnImageStageManager.h"
#include "RasterFileWriter.h"
#include "RasterImageWriter.h"
#include "RasterRead.h"
#include "RasterScene.h"
#include "TestStreams.h"
#include "buffers/KVISceneBuffer.h"
#include "filters/KVIMosaicFilter.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

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

Bands readBands(KVIImageStage& stage, const KVIScene& scene) {
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
    // coders: for each image, its coder when it is a coded generation-3/4 image, else null.
    Composition(const Bytes& file, std::vector<Placement> images,
                std::vector<const RasterImageCoder*> coders = {})
        : stream_(file, false), images_(std::move(images)), coders_(std::move(coders)) {
        coders_.resize(images_.size(), nullptr);
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
            // An image that cannot be read magnified is read at its largest magnification and
            // enlarged by an integer factor, each pixel repeated.
            const double read = std::min(own, stage->getMaxMagnification());
            const auto factor = static_cast<std::uint32_t>(own / read);
            std::uint32_t iw = 0, ih = 0;
            EXPECT_EQ(stage->getDimsAtMag(read, iw, ih), KV_OK);
            const Bands image = readBands(*stage, KVIScene(0, 0, iw, ih, read));
            if (coders_[i] != nullptr) expectRebuilt(*coders_[i], read, iw, ih, image);
            const auto offX =
                static_cast<std::int64_t>(std::floor(mag * (p.x - left_) / res_ + 0.5));
            const auto offY =
                static_cast<std::int64_t>(std::floor(mag * (top_ - p.y) / res_ + 0.5));
            for (std::uint32_t y = 0; y < h; ++y)
                for (std::uint32_t x = 0; x < w; ++x) {
                    std::int64_t u = x0 + x - offX, v = y0 + y - offY;
                    if (u < 0 || v < 0) continue;
                    u /= factor;
                    v /= factor;
                    if (u >= iw || v >= ih) continue;
                    for (std::size_t b = 0; b < 3; ++b)
                        out[b][std::size_t{y} * w + x] = image[b][std::size_t(v) * iw + u];
                }
        }
        return out;
    }

    std::uint32_t width = 0, height = 0;

private:
    // At magnification 2^-k (k up to the image's levels) its own reader gives the writer's
    // rebuilt image of level k, clamped to 8 bits.
    static void expectRebuilt(const RasterImageCoder& coder, double own, std::uint32_t w,
                              std::uint32_t h, const Bands& image) {
        int k = 0;
        while (k < coder.image().levels && std::ldexp(1.0, -k) > own)
            ++k;
        if (std::ldexp(1.0, -k) != own) return;
        for (unsigned b = 0; b < 3; ++b) {
            const RasterSubband& rebuilt = coder.expected(b, std::uint8_t(k));
            ASSERT_EQ(rebuilt.width, w);
            ASSERT_EQ(rebuilt.height, h);
            std::vector<std::uint8_t> clamped;
            for (const std::int32_t v : rebuilt.samples)
                clamped.push_back(std::uint8_t(std::clamp(v, 0, 255)));
            EXPECT_EQ(clamped, image[b]) << "band " << b << " at magnification " << own;
        }
    }

    VectorStream stream_;
    KVIRef<QuarnImageStageManager> manager_{QuarnImageStageManager::create()};
    std::vector<Placement> images_;
    std::vector<const RasterImageCoder*> coders_;
    double res_ = 1.0, left_ = 0.0, top_ = 0.0;
};

// The whole canvas at a magnification, then three random windows of it.
std::vector<KVIScene> scenesAt(const KVIImage& image, double mag, std::mt19937& random) {
    std::uint32_t w = 0, h = 0;
    EXPECT_EQ(image.getDimsAtMag(mag, w, h), KV_OK);
    std::vector<KVIScene> scenes{KVIScene(0, 0, w, h, mag)};
    for (int window = 1; window < 4 && w > 0 && h > 0; ++window) {
        const std::uint32_t cols = 1 + random() % w, rows = 1 + random() % h;
        const std::uint32_t x = random() % (w - cols + 1), y = random() % (h - rows + 1);
        scenes.emplace_back(x, y, cols, rows, mag);
    }
    return scenes;
}

// Opens the file through the reader front and compares the full canvas and random windows at
// each magnification with the composition.
void expectComposition(const Bytes& file, const std::vector<Placement>& images,
                       std::initializer_list<double> mags,
                       std::vector<const RasterImageCoder*> coders = {}) {
    Composition reference(file, images, std::move(coders));
    VectorStream stream(file, false);
    const KVIRef<QuarnImageReader> reader(QuarnImageReader::create());
    ASSERT_EQ(reader->initialize(&stream, nullptr, 1, 3), KV_OK);
    ASSERT_NE(reader->getMosaic(), nullptr);
    ASSERT_EQ(reader->getWidth(), reference.width);
    ASSERT_EQ(reader->getHeight(), reference.height);
    std::mt19937 random(7);
    for (const double mag : mags)
        for (const KVIScene& scene : scenesAt(*reader, mag, random))
            EXPECT_EQ(readBands(*reader, scene),
                      reference.compose(mag, scene.getUpperLeftCol(), scene.getUpperLeftRow(),
                                        scene.getNumCols(), scene.getNumRows()))
                << "mag " << mag << " window " << scene.getX() << ", " << scene.getY() << ", "
                << scene.getWidth() << " x " << scene.getHeight();
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

// A coded RGB image of the placement's size, a landscape that differs with the seed: lossless
// with the colour transform, or lossy with two planes dropped and no transform.
RasterImageCoder codedImage(const Placement& p, std::uint32_t seed, bool lossy) {
    RasterImage image;
    image.width = p.width;
    image.height = p.height;
    image.planes = landscape(p.width, p.height, 3, seed);
    image.colorSpace = 10;
    image.levels = 2;
    image.subblockSize = 16;
    image.colorTransform = lossy ? 1 : 10;
    image.droppedPlanes = lossy ? 2 : 0;
    return RasterImageCoder(std::move(image));
}

TEST(MosaicFile, CodedImagesReadAsTheirComposition) {
    struct Case {
        const char* name;
        Version version;
        std::vector<Placement> images;
        std::vector<bool> lossy;
        std::initializer_list<double> mags;
    };
    // Where resolutions differ, only magnifications at which each image is read at a level of its
    // own or enlarged by a whole factor: at other scales the mosaic resamples, which the
    // composition does not model.
    const Case cases[] = {
        // Apart, at odd ground positions, equal resolutions.
        {"generation 3, apart",
         kGen3Version,
         {{40, 30, 3, 30, 1}, {36, 28, 51, 47, 1}},
         {0, 0},
         {1.0, 0.5, 0.25, 0.375}},
        // Overlapping, equal resolutions: each later image on top; one lossy.
        {"generation 4, overlapping",
         kGen4Version,
         {{40, 32, 0, 32, 1}, {36, 28, 21, 45, 1}, {18, 17, 10, 20, 1}},
         {0, 1, 0},
         {1.0, 0.5, 0.25, 0.375}},
        // Overlapping, the second at twice the first one's ground resolution.
        {"generation 3, coarser on top",
         kGen3Version,
         {{40, 32, 0, 32, 1}, {20, 18, 25, 40, 2}},
         {0, 1},
         {1.0, 0.5, 0.25}},
        // Apart, the second finer: the canvas takes its resolution and the first is enlarged.
        {"generation 4, finer apart",
         kGen4Version,
         {{24, 20, 0, 20, 1}, {34, 30, 30, 12, 0.5}},
         {1, 0},
         {1.0, 0.5, 0.25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RasterImageCoder> coders;
        std::vector<RasterPacket> packets;
        for (std::uint32_t i = 0; i < c.images.size(); ++i) {
            const Placement& p = c.images[i];
            coders.push_back(codedImage(p, 20 + i, c.lossy[i]));
            for (RasterPacket& packet : coders.back().packets(i + 1))
                packets.push_back(std::move(packet));
            packets.push_back(placementPacket(i + 1, p.x, p.y, p.res, -p.res));
        }
        std::vector<const RasterImageCoder*> refs;
        for (const RasterImageCoder& coder : coders)
            refs.push_back(&coder);
        expectComposition(rasterFile(c.version, packets), c.images, c.mags, refs);
    }
}

TEST(MosaicFile, CodedAndGeneration2ImagesInOneFile) {
    // A generation-3 file of a coded image and a generation-2 image overlapping it at half its
    // resolution, and a second coded image apart from both.
    const std::vector<Placement> images = {
        {40, 32, 0, 32, 1}, {16, 16, 30, 40, 2}, {24, 16, 80, 10, 1}};
    const RasterImageCoder first = codedImage(images[0], 31, false);
    const RasterImageCoder third = codedImage(images[2], 33, true);
    std::vector<RasterPacket> packets = first.packets(1);
    packets.push_back(placementPacket(1, 0, 32, 1, -1));
    packets.push_back(qg2Packet(2, qg2Image(images[1], 2, true)));
    for (RasterPacket& p : third.packets(3))
        packets.push_back(std::move(p));
    packets.push_back(placementPacket(3, 80, 10, 1, -1));
    expectComposition(rasterFile(kGen3Version, packets), images, {1.0, 0.5, 0.25},
                      {&first, nullptr, &third});
}

TEST(MosaicFile, StackedImagesGiveThePixelsOfOneReadPerImage) {
    // Images of resolutions 1, 1.25, 0.75 and 3 stacked over a canvas of several strips, some
    // lossy; image 0 with a no-data value; an opaque image as wide as the canvas covering its
    // middle strips, with one image beneath it that first shows below it and one on top of it.
    const std::vector<Placement> images = {{60, 120, 0, 200, 1},        {40, 90, 3.3, 195.6, 1.25},
                                           {70, 150, 1.7, 190.2, 0.75}, {16, 30, 5.1, 170.3, 3},
                                           {20, 60, 30.4, 140.2, 1.25}, {61, 80, 0, 160, 1},
                                           {30, 40, 10.2, 150.7, 1.25}};
    std::vector<RasterPacket> packets;
    for (std::uint32_t i = 0; i < images.size(); ++i) {
        const Placement& p = images[i];
        for (RasterPacket& packet : codedImage(p, 40 + i, i % 3 == 2).packets(i + 1))
            packets.push_back(std::move(packet));
        ExtrasRecord extras;
        extras.presence = i == 0 ? 5 : 1;
        extras.geo = {p.x, p.y, 0.0, 0.0, p.res, -p.res};
        extras.noData.samples = {7, 7, 7};
        packets.push_back(metadataPacket(3, 0, i + 1, extrasPayload(extras)));
    }
    for (const Version& version : {kGen3Version, kGen4Version}) {
        OpenRaster bounded(rasterFile(version, packets)), whole(rasterFile(version, packets));
        ASSERT_EQ(bounded.status, KV_OK);
        ASSERT_EQ(whole.status, KV_OK);
        ASSERT_EQ(bounded.reader->getHeight(), 180u); // three strips at magnification 1
        whole.reader->getMosaic()->setReadImagesWhole(true);
        std::mt19937 random(11);
        for (const double mag : {1.0, 0.5, 0.75, 1.3})
            for (const KVIScene& scene : scenesAt(*bounded.reader, mag, random))
                EXPECT_EQ(readBands(*bounded.reader, scene), readBands(*whole.reader, scene))
                    << "mag " << mag << " window " << scene.getX() << ", " << scene.getY() << ", "
                    << scene.getWidth() << " x " << scene.getHeight();
    }
}

TEST(MosaicFile, FilesThatOnceReadOtherwiseKeepTheirPixels) {
    // Each file read whole at a magnification: zlib's crc32 of its samples interleaved by pixel,
    // each sample little-endian.
    const std::pair<const char*, std::pair<double, std::uint32_t>> files[] = {
        {"strip-alone-resampled-ties.qg3", {1.0, 0xf86d03ad}},
        {"strip-alone-resampled-ties-rgb16-lossy.qg4", {1.0, 0x971bde8b}},
        {"two-images-control.qg3", {1.0, 0xb87e9c82}},
        {"hidden-skip-later-start.qg3", {1.0, 0x2bfcce89}},
        {"strip-alone-level-extent.qg3", {0.75, 0x16142225}},
        {"strip-alone-last-row-level-mag.qg3", {0.5, 0xd5dd0d90}},
    };
    for (const auto& [name, read] : files) {
        std::ifstream in(std::string(QUARN_MOSAIC_REGRESSIONS) + "/" + name, std::ios::binary);
        OpenRaster open(Bytes(std::istreambuf_iterator<char>(in), {}));
        ASSERT_EQ(open.status, KV_OK) << name;
        std::uint32_t w = 0, h = 0;
        ASSERT_EQ(open.reader->getDimsAtMag(read.first, w, h), KV_OK);
        KVISceneBuffer buffer(open.reader->getPixelProps(), w, h);
        ASSERT_EQ(open.reader->read(KVIScene(0, 0, w, h, read.first), buffer), KV_OK) << name;
        uLong crc = crc32(0, nullptr, 0);
        for (std::uint32_t i = 0; i < w * h; ++i)
            for (std::uint16_t b = 0; b < buffer.getNumBands(); ++b)
                crc = crc32(crc, buffer.getWindowBandData(b) + i * buffer.getBytesPerSample(b),
                            buffer.getBytesPerSample(b));
        EXPECT_EQ(crc, read.second) << name;
    }
}

} // namespace
