// What a decode holds while it runs: images whose headers declare 65,535 bands and far more
// levels than their size has, without plane data (two inputs a fuzzer found, built with the
// test writers), read whole through the reader front strip by strip.

#include "../RasterRead.h"
#include "HeapProbe.h"
#include "HostileRasterFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Korvel;
using namespace quarn_test;

TEST(DecodeCostTest, HeadersOfManyBandsAndLevelsCostWhatTheyDecode) {
    for (const bool cropped : {false, true}) {
        SCOPED_TRACE(cropped ? "10 x 6 window, 41 levels" : "32 x 32, 57 levels");
        OpenRaster file(manyBandsFile(cropped));
        ASSERT_EQ(file.status, KV_OK);
        KVIImageStage& stage = *file.reader;
        const std::uint32_t width = stage.getWidth(), height = stage.getHeight();
        const std::uint16_t bands = stage.getPixelProps().getNumBands();
        ASSERT_EQ(bands, 65535);
        ASSERT_EQ(width, cropped ? 10u : 32u);
        ASSERT_EQ(height, cropped ? 6u : 32u);

        // The caller's strip buffer is made first: the heap the read takes beyond it is the
        // decoder's.
        const std::uint32_t stripHeight = std::min(stage.getStripHeight(), height);
        KVISceneBuffer strip(stage.getPixelProps(), width, stripHeight, nullptr);
        const std::uint64_t before = heapInUse();
        std::uint64_t peak = 0;
        ASSERT_EQ(stage.readBegin(KVIScene(0, 0, width, height, 1.0)), KV_OK);
        for (std::uint32_t i = 0; i * stripHeight < height; ++i) {
            const KVIScene part = stage.getStripScene(i);
            const auto rows = std::uint32_t(part.getNumRows());
            KVISceneBuffer window(strip, 0, 0, width, rows);
            std::fill_n(window.getWindowBandData(bands - 1), width, std::uint8_t(1));
            ASSERT_EQ(stage.readStrip(window, part), KV_OK);
            peak = std::max(peak, heapInUse() - before);
            // No plane data: every sample is zero.
            for (std::uint16_t b = 0; b < bands; b += 4093) {
                const std::uint8_t* data = window.getWindowBandData(b);
                ASSERT_TRUE(std::all_of(data, data + std::size_t(width) * rows,
                                        [](std::uint8_t v) { return v == 0; }))
                    << "band " << b;
            }
            ASSERT_EQ(window.getWindowBandData(bands - 1)[0], 0);
        }
        ASSERT_EQ(stage.readEnd(), KV_OK);
        // Bands that no data reaches hold nothing at a level beyond a pointer: what remains is
        // a few pointers per band and the pixel descriptions, far below one strip of output
        // (the decoder once held over 200 MB here).
        EXPECT_LT(peak, std::uint64_t(bands) * 512) << "bytes at the peak";
        EXPECT_LT(peak, std::uint64_t(100) << 20);
    }
}
