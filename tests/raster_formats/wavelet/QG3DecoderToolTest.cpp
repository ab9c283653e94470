// The decoder tool driven through its decode hooks by a caller whose scene starts above and left
// of the image: its strips follow the caller's strip grid, each decoded row lands in the strip of
// the scene that holds it, and rows outside the image are left alone.

#include "../RasterRead.h"
#include "QG3SingleImageReaderBase.h"
#include "wavelet/QG3FileSimpleDecoderTool.h"

#include <gtest/gtest.h>

#include <random>

using namespace Korvel;
using namespace quarn_test;

TEST(QG3DecoderToolTest, StripsFollowTheCallersStripGrid) {
    std::mt19937 random(5);
    RasterImage im;
    im.width = 20;
    im.height = 20;
    im.levels = 2;
    im.subblockSize = 8;
    appendPlanes(im, 1, [&](std::uint32_t x) { return std::int32_t(x * 9 + random() % 40); });
    const RasterImageCoder coder(im);
    OpenRaster file(coder.file(kGen3Version));
    ASSERT_EQ(file.status, KV_OK);
    ASSERT_EQ(readScene(*file.reader, KVIScene(0, 0, 1, 1, 1.0)).status, KV_OK);
    QG3DecoderTool& tool =
        *dynamic_cast<QG3SingleImageReaderBase&>(*file.reader->getSingleStage()).getDecoderTool();

    for (const std::uint32_t stripHeight : {1u, 3u, 4u, 7u}) {
        SCOPED_TRACE(::testing::Message() << "strips of " << stripHeight);
        ASSERT_EQ(tool.setStripHeight(stripHeight), KV_OK);
        // Columns -2 to 12 and rows -6 to 9 of the image.
        const KVIScene scene(-2, -6, 15, 16, 1.0);
        ASSERT_EQ(tool.decodeBegin(scene), KV_OK);
        KVISceneBuffer buffer(tool.getPixelProps(), 15, 16, nullptr);
        std::fill_n(buffer.getWindowBandData(0), 15 * 16, std::uint8_t(0xEE));
        for (std::uint32_t top = 0; top < 16; top += stripHeight) {
            const std::uint32_t rows = std::min(stripHeight, 16 - top);
            KVISceneBuffer window(buffer, 0, top, 15, rows);
            ASSERT_EQ(tool.decodeStrip(window, KVIScene(-2, -6.0 + top, 15, rows, 1.0)), KV_OK);
        }
        ASSERT_EQ(tool.decodeEnd(), KV_OK);
        const RasterSubband& image = coder.expected(0, 0);
        for (std::int32_t y = 0; y < 16; ++y)
            for (std::int32_t x = 0; x < 15; ++x) {
                const std::int32_t column = x - 2, row = y - 6;
                const double want =
                    column >= 0 && row >= 0
                        ? outputSample(im, 0, image.at(std::uint32_t(column), std::uint32_t(row)))
                        : 0xEE;
                ASSERT_EQ(buffer.getWindowBandData(0)[y * 15 + x], want)
                    << "scene column " << x << " row " << y;
            }
    }
}
