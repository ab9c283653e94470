#include "buffers/KVISceneBuffer.h"
#include "buffers/KVIRunMask.h"
#include "support/KVUtilException.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

using namespace Korvel;

namespace {

template <typename T> T at(const KVISceneBuffer& buffer, std::uint16_t band, int x, int y) {
    T value;
    std::memcpy(&value,
                buffer.getWindowBandData(band) +
                    (std::size_t(y) * buffer.getTotalWidth() + x) * sizeof(T),
                sizeof(T));
    return value;
}

template <typename T> void put(KVISceneBuffer& buffer, std::uint16_t band, int x, int y, T value) {
    std::memcpy(buffer.getWindowBandData(band) +
                    (std::size_t(y) * buffer.getTotalWidth() + x) * sizeof(T),
                &value, sizeof(T));
}

// A window of a window addresses the shared area at the sum of the offsets, in every band.
template <typename T> void checkNestedWindows(std::uint32_t dataType) {
    SCOPED_TRACE(dataType);
    const KVIPixel pixel(KVI_COLORSPACE_MULTIBAND, 2, dataType);
    KVISceneBuffer area(pixel, 8, 6);
    for (std::uint16_t band = 0; band < 2; ++band)
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(at<T>(area, band, x, y), T(0));
    KVISceneBuffer separate(pixel, 8, 6, 2, 1, 5, 4, nullptr);
    {
        KVISceneBuffer child(area, 2, 1, 5, 4);
        KVISceneBuffer grandchild(child, 3, 2, 2, 2);
        EXPECT_EQ(grandchild.getWindowX(), 5u);
        EXPECT_EQ(grandchild.getWindowY(), 3u);
        put<T>(grandchild, 1, 1, 1, T(42));
        put<T>(grandchild, 0, 0, 0, T(7));
    }
    // The area outlives its windows with their writes in place.
    EXPECT_EQ(at<T>(area, 1, 6, 4), T(42));
    EXPECT_EQ(at<T>(area, 0, 5, 3), T(7));
    EXPECT_EQ(at<T>(area, 1, 5, 3), T(0));
    EXPECT_EQ(at<T>(separate, 0, 3, 2), T(0)); // a buffer of its own
}

TEST(KVISceneBufferWindows, NestedWindowsOverOneTwoAndEightByteSamples) {
    checkNestedWindows<std::uint8_t>(KVI_DATATYPE_UINT8);
    checkNestedWindows<std::int16_t>(KVI_DATATYPE_SINT16);
    checkNestedWindows<double>(KVI_DATATYPE_FLOAT64);
}

TEST(KVISceneBufferWindows, HandedInBandsAndInterleavedImport) {
    std::vector<std::uint8_t> red(6), green(6), blue(6);
    std::uint8_t* bands[] = {red.data(), green.data(), blue.data()};
    const KVIPixel rgb(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8);
    KVISceneBuffer buffer(rgb, 3, 2, 1, 1, 2, 1, bands);
    const std::uint8_t pixels[] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(buffer.importInterleaved(pixels), KV_OK);
    EXPECT_EQ(red, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 4}));
    EXPECT_EQ(green, (std::vector<std::uint8_t>{0, 0, 0, 0, 2, 5}));
    EXPECT_EQ(blue, (std::vector<std::uint8_t>{0, 0, 0, 0, 3, 6}));

    // Bands of different sizes: one byte, then two.
    const KVISample samples[] = {KVISample(KVI_BAND_OTHER, KVI_DATATYPE_UINT8),
                                 KVISample(KVI_BAND_OTHER, KVI_DATATYPE_UINT16)};
    KVISceneBuffer mixed(KVIPixel(KVI_COLORSPACE_MULTIBAND, 2, KVI_DATATYPE_NONE, samples), 2, 1);
    const std::uint16_t wide[] = {0x0201, 0x0403};
    std::uint8_t bytes[6] = {9, 0, 0, 8, 0, 0};
    std::memcpy(bytes + 1, &wide[0], 2);
    std::memcpy(bytes + 4, &wide[1], 2);
    ASSERT_EQ(mixed.importInterleaved(bytes), KV_OK);
    EXPECT_EQ(at<std::uint8_t>(mixed, 0, 1, 0), 8);
    EXPECT_EQ(at<std::uint16_t>(mixed, 1, 0, 0), 0x0201);
    EXPECT_EQ(at<std::uint16_t>(mixed, 1, 1, 0), 0x0403);
}

TEST(KVISceneBufferCopy, CommonPartAndMaskedRuns) {
    const KVIPixel grey16(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT16);
    KVISceneBuffer source(grey16, 6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            put<std::uint16_t>(source, 0, x, y, std::uint16_t(100 + 10 * y + x));
    KVISceneBuffer area(grey16, 6, 5);
    {
        // Only the common top-left 4 x 3 part is copied.
        KVISceneBuffer window(area, 1, 1, 4, 3);
        ASSERT_EQ(window.copyBandWindow(0, source, 0), KV_OK);
    }
    EXPECT_EQ(at<std::uint16_t>(area, 0, 1, 1), 100);
    EXPECT_EQ(at<std::uint16_t>(area, 0, 4, 3), 123);
    EXPECT_EQ(at<std::uint16_t>(area, 0, 5, 3), 0);
    EXPECT_EQ(at<std::uint16_t>(area, 0, 1, 4), 0);

    // Runs before column 0 start at 0, runs past the width stop at it, a run wholly beyond the
    // width is skipped, a row without runs and rows beyond the mask keep their samples.
    KVISceneBuffer destination(grey16, 5, 4);
    KVIRunMask mask;
    ASSERT_EQ(mask.reset(2), KV_OK);
    KVIRunListPtr row0(KVIRunList::create(3));
    row0->count = 3;
    (*row0)[0] = {-4, 0};
    (*row0)[1] = {3, 40};
    (*row0)[2] = {50, 60};
    mask.setRow(0, std::move(row0));
    ASSERT_EQ(destination.copyBandWindow(0, source, 0, &mask), KV_OK);
    const std::vector<int> row0Want{100, 0, 0, 103, 104};
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(at<std::uint16_t>(destination, 0, x, 0), row0Want[x]) << x;
        for (int y = 1; y < 4; ++y)
            EXPECT_EQ(at<std::uint16_t>(destination, 0, x, y), 0) << x << "," << y;
    }

    EXPECT_EQ(destination.copyBandWindow(1, source, 0), KV_BAD_ARGUMENT);
    KVISceneBuffer bytes(KVIPixel(), 5, 4);
    EXPECT_EQ(destination.copyBandWindow(0, bytes, 0), KV_PIXEL_DATA_TYPE_MISMATCH);
}

KVStatus constructionStatus(const std::function<void()>& make) {
    try {
        make();
    } catch (const KVUtilException& e) {
        return e.getStatus();
    }
    return KV_OK;
}

TEST(KVISceneBufferRefusals, WindowsOutsideAndSizesThatOverflow) {
    const KVIPixel pixel;
    EXPECT_EQ(constructionStatus([&] { KVISceneBuffer b(pixel, 4, 4, 2, 0, 3, 1); }),
              KV_SCENE_BUFFER_MISMATCH);
    EXPECT_EQ(constructionStatus([&] { KVISceneBuffer b(pixel, 4, 4, 0, 0xFFFFFFFFu, 1, 2); }),
              KV_SCENE_BUFFER_MISMATCH);
    KVISceneBuffer area(pixel, 4, 4, 1, 1, 2, 2);
    EXPECT_EQ(constructionStatus([&] { KVISceneBuffer w(area, 2, 0, 2, 1); }),
              KV_SCENE_BUFFER_MISMATCH);
    EXPECT_EQ(constructionStatus([&] { KVISceneBuffer w(area, 3, 3, 0, 0); }), KV_OK);
    // 8 x 2^32 x 2^32 bytes does not fit in 64 bits, let alone in memory.
    const KVIPixel wide(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_FLOAT64);
    EXPECT_EQ(constructionStatus([&] { KVISceneBuffer b(wide, 0xFFFFFFFFu, 0xFFFFFFFFu); }),
              KV_OUT_OF_MEMORY);
}

} // namespace
