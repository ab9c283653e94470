// Initialize on raster files made to cost memory: a good file followed by 10 MB of zero bytes,
// one followed by 2^20 tiny packets, and files of images stacked at one place that each declare
// the most bands. Opening any stays under a fixed ceiling of heap, sampled at every read of the
// stream.

#include "HandlerTestSupport.h"
#include "HeapProbe.h"
#include "HostileRasterFiles.h"

#include <gtest/gtest.h>

using namespace quarn_test;

namespace {

// What any file may cost the handler's Initialize.
constexpr std::uint64_t kHeapCeiling = 64u << 20;

Bytes goodFile() {
    HeaderBody body;
    body.width = 256;
    body.height = 256;
    body.bands = 3;
    body.colorSpace = 10;
    return rasterFile(kGen3Version,
                      {headerPacket(1, body), planesetPacket(1, 64, Bytes(64, 0x5A))});
}

// Initialize on the stream; returns the heap's growth at its highest while the stream was read.
std::uint64_t peakGrowth(SparseStream& stream, HandlerResult& result) {
    const std::uint64_t baseline = heapInUse();
    std::uint64_t peak = baseline;
    stream.beforeRead = [&] { peak = std::max(peak, heapInUse()); };
    result = runHandler(&stream);
    peak = std::max(peak, heapInUse());
    return peak - baseline;
}

TEST(HostileRaster, InitializeStaysUnderTheHeapCeiling) {
    const Bytes good = goodFile();
    const struct {
        const char* name;
        Bytes stored;
        std::uint64_t length;
    } files[] = {
        {"10 MB of zero bytes after the file", good, good.size() + (10u << 20)},
        {"2^20 tiny packets after the file", withTinyPackets(good, kManyTinyPackets), 0},
    };
    for (const auto& file : files) {
        SparseStream stream({{0, file.stored}}, file.length ? file.length : file.stored.size());
        HandlerResult r;
        EXPECT_LT(peakGrowth(stream, r), kHeapCeiling) << file.name;
        EXPECT_EQ(u"QG3 Raster", r.generation) << file.name;
    }
}

TEST(HostileRaster, StackedImagesOfManyBandsOpenUnderTheHeapCeiling) {
    // 5 KB, 84 KB and 338 KB of images each declaring 65,534 bands: the mosaic's pixel of
    // 65,535 bands is described once, each image's in a few samples.
    for (const std::uint32_t count : {34u, 539u, 2167u}) {
        const Bytes file = stackedImagesFile(count);
        SparseStream stream({{0, file}}, file.size());
        HandlerResult r;
        EXPECT_LT(peakGrowth(stream, r), std::uint64_t{16} << 20) << count;
        EXPECT_EQ(r.initialize, S_OK) << count;
        EXPECT_EQ(u"QG3 Raster", r.generation) << count;
        // A mosaic is never lossless: its size over the file's.
        EXPECT_EQ(r.compression, std::u16string(u"") + (count == 34    ? u"3158:1"
                                                        : count == 539 ? u"200:1"
                                                                       : u"50:1"))
            << count;
    }
}

} // namespace
