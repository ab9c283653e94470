// Files of many images stacked at one place, each declaring many bands, read through the reader
// front as one mosaic: a read holds the decoding state of one image at a time, however many
// images lie under the scene, and images hidden under one that covers a strip are not decoded.

#include "HeapProbe.h"
#include "HostileRasterFiles.h"
#include "RasterRead.h"

#include <gtest/gtest.h>

using namespace Korvel;
using namespace quarn_test;

namespace {

// Samples the heap at every read of the file: the decoders read plane data while their state
// is alive.
class WatchedStream : public VectorStream {
public:
    using VectorStream::VectorStream;
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override {
        peak = std::max(peak, heapInUse());
        ++reads;
        return VectorStream::read(buffer, count);
    }
    std::uint64_t peak = 0;
    std::uint64_t reads = 0;
};

struct StackedRead {
    SceneSamples samples;
    std::uint64_t peakGrowth = 0;
    std::uint64_t reads = 0;
};

StackedRead readStacked(std::uint32_t count, bool alpha, const KVIScene& scene) {
    WatchedStream stream(stackedImagesFile(count, 100, 80, alpha), false);
    const KVIRef<QuarnImageReader> reader(QuarnImageReader::create());
    EXPECT_EQ(reader->initialize(&stream, nullptr, 1, 3), KV_OK);
    StackedRead result;
    const std::uint64_t before = heapInUse();
    stream.peak = before;
    const std::uint64_t readsBefore = stream.reads;
    result.samples = readScene(*reader, scene);
    result.peakGrowth = stream.peak - before;
    result.reads = stream.reads - readsBefore;
    return result;
}

} // namespace

TEST(StackedImages, AReadHoldsOneImageAtATimeAndSkipsHiddenOnes) {
    // 80 x 80 images in strips of 64: a pixel, a row across the strip boundary, the whole image.
    for (const KVIScene& scene :
         {KVIScene(3, 4, 1, 1, 1.0), KVIScene(0, 60, 80, 8, 1.0), KVIScene(0, 0, 80, 80, 1.0)}) {
        for (bool alpha : {false, true}) {
            SCOPED_TRACE(::testing::Message() << (alpha ? "alpha, " : "") << "scene at "
                                              << scene.getY() << ", " << scene.getHeight());
            const StackedRead few = readStacked(2, alpha, scene);
            const StackedRead many = readStacked(12, alpha, scene);
            ASSERT_EQ(few.samples.status, KV_OK);
            ASSERT_EQ(many.samples.status, KV_OK);
            // Every coefficient is zero: so is every colour sample, whichever image shows (an
            // alpha of 0 shows the background, whose colour is 0 too).
            const std::size_t colorBands = many.samples.bands.size() - (alpha ? 1 : 0);
            for (std::size_t b = 0; b < colorBands; ++b)
                for (double v : many.samples.bands[b])
                    ASSERT_EQ(v, 0.0);
            // Opaque images: only the top one is decoded, whatever lies beneath it. Images with
            // alpha all show: each is decoded, one after another.
            if (!alpha)
                EXPECT_EQ(many.reads, few.reads);
            else
                EXPECT_GT(many.reads, few.reads);
            // 10 images more cost less than one image's decoding state more.
            EXPECT_LT(many.peakGrowth, few.peakGrowth + few.peakGrowth / 2 + (256u << 10));
        }
    }
}
