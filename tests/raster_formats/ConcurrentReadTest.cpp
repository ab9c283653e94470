// One reader read from several threads at once, for each generation and for a mosaic: the reads
// take turns inside the reader, and every read gives what the same read gives alone.

#include "QG2ImageWriter.h"
#include "RasterRead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

using namespace Korvel;
using namespace quarn_test;

namespace {

RasterImageCoder coded(std::uint32_t width, std::uint32_t height, bool lossy, std::uint32_t seed) {
    std::mt19937 random(seed);
    RasterImage im;
    im.width = width;
    im.height = height;
    im.levels = 2;
    im.subblockSize = 8;
    im.colorSpace = 10;
    im.colorTransform = 10;
    im.droppedPlanes = lossy ? 3 : 0;
    appendPlanes(im, 3, [&](std::uint32_t x) { return std::int32_t(x * 5 + random() % 40); });
    return RasterImageCoder(im);
}

Bytes generation2() {
    QG2ImageSpec spec;
    spec.levels = 2;
    for (std::uint32_t b = 0; b < 3; ++b) {
        QG2Plane plane{40, 30, {}};
        for (std::uint32_t y = 0; y < 30; ++y)
            for (std::uint32_t x = 0; x < 40; ++x)
                plane.samples.push_back(b == 0 ? 4.0 * x + 3.0 * y : 20.0 * ((x + y + b) % 3));
        spec.bands.push_back(std::move(plane));
        spec.steps.push_back(1.0f + b);
    }
    spec.blockWidth = 5;
    spec.blockHeight = 4;
    return writeQG2Image(spec).file.bytes;
}

// Two generation-4 images side by side, overlapping by a few columns.
Bytes mosaic() {
    std::vector<RasterPacket> packets;
    for (std::uint32_t i = 1; i <= 2; ++i) {
        for (RasterPacket& p : coded(30, 26, i == 2, i).packets(i))
            packets.push_back(std::move(p));
        packets.push_back(placementPacket(i, 25.0 * (i - 1), 26.0, 1.0, -1.0));
    }
    return rasterFile(kGen4Version, packets);
}

bool sameSamples(const SceneSamples& a, const SceneSamples& b) {
    return a.status == b.status && a.width == b.width && a.height == b.height && a.bands == b.bands;
}

} // namespace

TEST(ConcurrentRead, OneReaderReadFromEightThreadsGivesEveryReadItsOwnResult) {
    const struct {
        const char* name;
        Bytes file;
    } files[] = {{"generation 2", generation2()},
                 {"generation 3", coded(45, 38, false, 3).file(kGen3Version)},
                 {"generation 4, lossy", coded(45, 38, true, 4).file(kGen4Version)},
                 {"generation 4 mosaic", mosaic()}};
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        OpenRaster raster(file.file);
        ASSERT_EQ(raster.status, KV_OK);
        QuarnImageReader& reader = *raster.reader;
        const double w = reader.getWidth();
        const double h = reader.getHeight();
        const std::vector<KVIScene> scenes = {
            KVIScene(0, 0, w, h, 1.0), KVIScene(3, 5, w - 9, h - 7, 1.0),
            KVIScene(0, 0, std::ceil(w / 2), std::ceil(h / 2), 0.5), KVIScene(7, 2, 1, 1, 1.0)};
        std::vector<SceneSamples> alone;
        for (const KVIScene& scene : scenes) {
            alone.push_back(readScene(reader, scene));
            ASSERT_EQ(alone.back().status, KV_OK);
        }
        const KVIScene full = scenes[0];
        const std::uint32_t modifications = reader.getModifications(full);

        // Every thread reads every scene many times, each starting at another one, and asks the
        // questions that build a mosaic's images in between.
        std::atomic<int> mismatches{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < 12; ++round)
                    for (std::size_t k = 0; k < scenes.size(); ++k) {
                        const std::size_t s = (k + t + round) % scenes.size();
                        if (!sameSamples(readScene(reader, scenes[s]), alone[s])) ++mismatches;
                        if (reader.getModifications(full) != modifications) ++mismatches;
                        reader.getSceneCost(scenes[s]);
                    }
            });
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(mismatches.load(), 0);
    }
}
