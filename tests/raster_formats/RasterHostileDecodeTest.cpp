// Damaged and hostile generation-3/4 images read through the reader front: each read ends in a
// status (or in some pixels), never in a fault, and the memory a read takes stays within what
// its strips need however large the image claims to be.

#include "HeapProbe.h"
#include "PlaneItemWriter.h"
#include "RasterRead.h"
#include "support/KVMagnification.h"

#include <gtest/gtest.h>

#include <random>

using namespace Korvel;
using namespace quarn_test;

namespace {

RasterImageCoder coded(std::mt19937& random) {
    RasterImage im;
    im.width = 45;
    im.height = 38;
    im.levels = 3;
    im.subblockSize = 8;
    im.colorSpace = 10;
    im.colorTransform = 10;
    appendPlanes(im, 3, [&](std::uint32_t x) { return std::int32_t(x * 4 + random() % 30); });
    im.crop = std::array<std::int32_t, 4>{2, 1, 40, 35};
    im.format.layout = std::uint8_t(random() % 2 ? 0 : 2);
    return RasterImageCoder(im);
}

// Samples the heap at every strip.
struct HeapWatch : KVIProgressDelegate {
    KVStatus reportProgress(float) override {
        peak = std::max(peak, heapInUse());
        return KV_OK;
    }
    std::uint64_t peak = 0;
};

// Reads every level whole when it is small, and a corner of it, whatever the outcome.
void readAround(const Bytes& bytes) {
    OpenRaster file(bytes);
    if (file.status != KV_OK) return;
    KVIImageStage& stage = *file.reader;
    for (int level = 0; level <= std::min<int>(file.reader->getNumLevels(), 12); ++level) {
        std::uint32_t w = 0, h = 0;
        if (stage.getDimsAtMag(levelToMag(level), w, h) != KV_OK || w == 0 || h == 0) continue;
        if (std::uint64_t(w) * h <= 4096) readScene(stage, KVIScene(0, 0, w, h, levelToMag(level)));
        readScene(stage, KVIScene(w - std::min(w, 7u), h - std::min(h, 5u), std::min(w, 7u),
                                  std::min(h, 5u), levelToMag(level)));
    }
}

} // namespace

TEST(RasterHostileDecodeTest, DamagedPlanesetsAndHeadersEndInAStatus) {
    std::mt19937 random(2);
    for (int round = 0; round < 2; ++round) {
        const RasterImageCoder coder = coded(random);
        const Bytes good = coder.file(kGen3Version);
        const RasterPacket header = coder.packets(1)[0];
        const std::size_t body = 8 + packetHeader(header.header, header.body.size()).size();
        const std::size_t planes = body + header.body.size();
        // Plane data: bytes changed, and the file cut short.
        for (int i = 0; i < 60; ++i) {
            Bytes bad = good;
            for (int n = 1 + random() % 4; n > 0; --n)
                bad[planes + random() % (bad.size() - planes)] ^= std::uint8_t(1 + random() % 255);
            readAround(bad);
            readAround(
                Bytes(good.begin(), good.begin() + planes + random() % (good.size() - planes)));
        }
        // Header fields: levels, sizes, subblock size, planes per band, crop window.
        const struct {
            std::size_t offset;
            unsigned width;
            std::uint64_t values[6];
        } fields[] = {{16, 1, {0, 1, 6, 20, 63, 255}},
                      {8, 4, {1, 2, 3, 1000000, 0x7FFFFFFF, 0xFFFFFFFF}},
                      {12, 4, {1, 2, 3, 1000000, 0x7FFFFFFF, 0xFFFFFFFF}},
                      {20, 2, {0, 1, 2, 3, 4096, 65535}},
                      {19, 1, {0, 1, 16, 31, 33, 255}},
                      {40, 4, {0xFFFFFFFF, 44, 45, 1000, 0x7FFFFFFF, 0x80000000}},
                      {48, 4, {0, 1, 37, 38, 0x7FFFFFFF, 0xFFFFFFFE}},
                      {56, 1, {1, 2, 3, 4, 31, 255}}};
        for (const auto& field : fields)
            for (std::uint64_t value : field.values) {
                Bytes bad = good;
                putBE(bad, body + field.offset, value, field.width);
                SCOPED_TRACE(::testing::Message() << "field " << field.offset << " = " << value);
                readAround(bad);
            }
    }
}

TEST(RasterHostileDecodeTest, HugeImagesWithLittleDataCostOnlyTheirStrips) {
    // A million pixels square and no plane data: every coefficient is zero.
    HeaderBody body;
    body.width = body.height = 1000000;
    body.numLevels = 5;
    body.subblockSize = 64;
    body.estimateFactor = 32;
    // Data first: the section offset, no data, and one run covering every item.
    std::uint64_t items = 0;
    for (const SubbandSize& size : subbandSizes({body.width, body.height, 5, 64}))
        items += std::uint64_t(size.rows) * size.columns * 32;
    RasterPacket planeset = planesetPacket(1, 0, {}, 5, 2);
    ByteBuilder data;
    data.u32(packetHeader(planeset.header, 0).size() + 10 + 4);

    for (std::uint64_t left = items; left > 0;
         left -= std::min<std::uint64_t>(left, (1u << 27) - 1))
        data.bytes(planePrefix(false, false, std::min<std::uint64_t>(left, (1u << 27) - 1), false));
    planeset.body = planesetBody(5, 2, data.size(), data.data());
    OpenRaster file(rasterFile(kGen4Version, {headerPacket(1, body), planeset}));
    ASSERT_EQ(file.status, KV_OK);
    // The first read makes the plane store (its position table is empty) and the decoder.
    const std::uint64_t opened = heapInUse();
    ASSERT_EQ(readScene(*file.reader, KVIScene(0, 0, 4, 4, 1.0)).status, KV_OK);
    EXPECT_LT(heapInUse() - opened, std::uint64_t(1) << 20);

    for (const KVIScene& scene :
         {KVIScene(500000, 300000, 100000, 1, 1.0), KVIScene(123457, 654321, 64, 70, 1.0),
          KVIScene(0, 31240, 31250, 10, 1.0 / 32)}) {
        HeapWatch watch;
        file.reader->setProgressDelegate(&watch);
        const std::uint64_t before = heapInUse();
        const SceneSamples s = readScene(*file.reader, scene);
        file.reader->setProgressDelegate(nullptr);
        ASSERT_EQ(s.status, KV_OK);
        for (double v : s.bands[0])
            ASSERT_EQ(v, 0.0);
        // The strip of 2-byte samples (strip height and 3 rows), and a few rows of 4-byte
        // samples per level.
        const std::uint64_t columns = std::uint64_t(scene.getWidth());
        EXPECT_LT(watch.peak - before, columns * (2 * (64 + 3) + 80) + (64 << 10));
    }
}

TEST(RasterHostileDecodeTest, LevelsBeyondTheImageCostNothing) {
    // 32 x 32 is a single sample after five levels. A header may claim many more, here over
    // many bands and without plane data: a read must cost what it costs with five levels.
    auto peaks = [](std::uint8_t levels) {
        HeaderBody body;
        body.width = body.height = 32;
        body.numLevels = levels;
        body.bands = 1024;
        body.subblockSize = 32;
        body.estimateFactor = 32;
        std::uint64_t items = 0;
        for (const SubbandSize& size : subbandSizes({body.width, body.height, levels, 32}))
            items += std::uint64_t(size.rows) * size.columns * 32 * body.bands;
        RasterPacket planeset = planesetPacket(1, 0, {}, 5, 2);
        ByteBuilder data;
        data.u32(packetHeader(planeset.header, 0).size() + 10 + 4);
        for (std::uint64_t left = items; left > 0;
             left -= std::min<std::uint64_t>(left, (1u << 27) - 1))
            data.bytes(
                planePrefix(false, false, std::min<std::uint64_t>(left, (1u << 27) - 1), false));
        planeset.body = planesetBody(5, 2, data.size(), data.data());
        OpenRaster file(rasterFile(kGen4Version, {headerPacket(1, body), planeset}));
        EXPECT_EQ(file.status, KV_OK);
        std::vector<std::uint64_t> result;
        for (const double mag : {1.0, 1.0 / 4}) {
            HeapWatch watch;
            file.reader->setProgressDelegate(&watch);
            const std::uint64_t before = heapInUse();
            const auto side = static_cast<std::uint32_t>(32 * mag);
            const SceneSamples s = readScene(*file.reader, KVIScene(0, 0, side, 1, mag));
            file.reader->setProgressDelegate(nullptr);
            EXPECT_EQ(s.status, KV_OK);
            EXPECT_EQ(s.bands[1023], std::vector<double>(side, 0.0));
            result.push_back(watch.peak - before);
        }
        return result;
    };
    const std::vector<std::uint64_t> five = peaks(5);
    const std::vector<std::uint64_t> forty = peaks(40);
    for (std::size_t i = 0; i < five.size(); ++i)
        EXPECT_LT(forty[i], five[i] + five[i] / 16) << "read " << i;
}
