#include "model/KVIPixel.h"
#include "support/KVUtilException.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Korvel;

namespace {

std::vector<std::uint32_t> colorsOf(const KVIPixel& pixel) {
    std::vector<std::uint32_t> colors;
    for (std::uint16_t band = 0; band < pixel.getNumBands(); ++band)
        colors.push_back(pixel.getSample(band).getBandColor());
    return colors;
}

} // namespace

TEST(KVIPixel, BandColoursFollowTheColourSpace) {
    using C = std::vector<std::uint32_t>;
    EXPECT_EQ(colorsOf(KVIPixel(0x10301, 4, 1)), (C{1, 2, 3, 10}));
    EXPECT_EQ(colorsOf(KVIPixel(0x30301, 4, 1)), (C{1, 2, 3, 11}));
    EXPECT_EQ(colorsOf(KVIPixel(0xFF01, 5, 1)), (C{9, 9, 9, 9, 9}));
    EXPECT_EQ(colorsOf(KVIPixel(0x10101, 3, 1)), (C{8, 9, 10}));
    EXPECT_EQ(colorsOf(KVIPixel(0x402, 5, 3)), (C{4, 5, 6, 7, 9}));
    // Fewer bands than the colour space names: colours stop at the band count and the alpha
    // band stays the last one.
    EXPECT_EQ(colorsOf(KVIPixel(0x301, 1, 1)), (C{1}));
    EXPECT_EQ(colorsOf(KVIPixel(0x10301, 2, 1)), (C{1, 10}));
    EXPECT_TRUE(colorsOf(KVIPixel(0x10301, 0, 1)).empty());
}

TEST(KVIPixel, AlphaBandIsLeftOutOfColourCounts) {
    const KVIPixel rgba(0x10301, 4, KVI_DATATYPE_UINT16);
    EXPECT_TRUE(rgba.hasAlpha());
    EXPECT_EQ(rgba.getColorSpaceNoAlpha(), 0x301u);
    EXPECT_EQ(rgba.getNumColorBands(), 3);
    EXPECT_EQ(rgba.getNumBytes(), 8u);
    EXPECT_EQ(rgba.getNumColorBytes(), 6u);
    EXPECT_EQ(KVIPixel(0x10101, 1, 1).getNumColorBytes(), 0u);

    const KVISample mixed[] = {KVISample(1, KVI_DATATYPE_UINT8), KVISample(2, KVI_DATATYPE_UINT16)};
    EXPECT_EQ(KVIPixel(0xFF01, 2, 0, mixed).getDataType(), KVI_DATATYPE_NONE);
    EXPECT_EQ(rgba.getDataType(), KVI_DATATYPE_UINT16);
}

TEST(KVIPixel, StrictAndLenientCompatibility) {
    const KVIPixel rgba(0x10301, 4, 1);
    const KVIPixel rgb(0x301, 3, 1);
    EXPECT_EQ(rgba.checkCompatible(rgb), KV_OK);
    EXPECT_EQ(rgba.checkCompatibleStrict(rgb), KV_PIXEL_BAND_COUNT_MISMATCH);
    EXPECT_EQ(rgba.checkCompatibleStrict(KVIPixel(0x30301, 4, 1)), KV_PIXEL_COLOR_SPACE_MISMATCH);
    EXPECT_EQ(rgba.checkCompatible(KVIPixel(0x30301, 4, 1)), KV_OK);
    EXPECT_EQ(rgb.checkCompatible(KVIPixel(0x302, 3, 1)), KV_PIXEL_COLOR_SPACE_MISMATCH);
    EXPECT_EQ(rgb.checkCompatible(KVIPixel(0x301, 3, 3)), KV_PIXEL_DATA_TYPE_MISMATCH);
    EXPECT_EQ(rgb.checkCompatible(KVIPixel(0x301, 4, 1)), KV_PIXEL_BAND_COUNT_MISMATCH);

    // Only the colour bands count in the lenient comparison.
    const KVISample alphaDiffers[] = {KVISample(1, 1), KVISample(2, 1), KVISample(3, 1),
                                      KVISample(10, 3)};
    const KVIPixel other(0x10301, 4, 0, alphaDiffers);
    EXPECT_EQ(rgba.checkCompatible(other), KV_OK);
    EXPECT_EQ(rgba.checkCompatibleStrict(other), KV_PIXEL_DATA_TYPE_MISMATCH);
}

TEST(KVIPixel, ValuesAndBandAccess) {
    KVIPixel pixel(0x301, 3, KVI_DATATYPE_SINT16);
    pixel.setSampleValuesFromDouble(-3.9);
    EXPECT_EQ(pixel.getSample(2).getAsDouble(), -3.0);
    pixel.setToMax();
    EXPECT_EQ(pixel.getSample(0).getAsDouble(), 32767.0);
    const std::uint16_t values[] = {7, 8, 9};
    pixel.setSampleValuesUint16(values);
    EXPECT_EQ(pixel.getSample(1).getAsDouble(), 8.0);

    const KVIPixel copy(pixel);
    pixel.setToMin();
    EXPECT_EQ(copy.getSample(1).getAsDouble(), 8.0);

    EXPECT_EQ(pixel.getSampleValueAddr(3), nullptr);
    EXPECT_THROW(pixel.getSample(3), KVUtilException);
}
