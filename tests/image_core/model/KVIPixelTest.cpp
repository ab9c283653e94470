#include "model/KVIPixel.h"
#include "support/KVUtilException.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
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

namespace {

// The same pixel band by band: every sample handed to the constructor.
KVIPixel bandByBand(const KVIPixel& pixel) {
    std::vector<KVISample> samples;
    for (std::uint16_t band = 0; band < pixel.getNumBands(); ++band)
        samples.push_back(pixel.getSample(band));
    return KVIPixel(pixel.getColorSpace(), pixel.getNumBands(), KVI_DATATYPE_NONE, samples.data());
}

void expectSameBands(const KVIPixel& got, const KVIPixel& want) {
    ASSERT_EQ(got.getNumBands(), want.getNumBands());
    ASSERT_EQ(got.getColorSpace(), want.getColorSpace());
    EXPECT_EQ(got.getDataType(), want.getDataType());
    EXPECT_EQ(got.getNumBytes(), want.getNumBytes());
    EXPECT_EQ(got.getNumColorBytes(), want.getNumColorBytes());
    for (std::uint16_t band = 0; band < want.getNumBands(); ++band) {
        const KVISample& g = got.getSample(band);
        const KVISample& w = want.getSample(band);
        ASSERT_EQ(g.getBandColor(), w.getBandColor()) << band;
        ASSERT_EQ(g.getDataType(), w.getDataType()) << band;
        ASSERT_EQ(g.getPrecision(), w.getPrecision()) << band;
        ASSERT_EQ(g.getAsDouble(), w.getAsDouble()) << band;
    }
}

} // namespace

TEST(KVIPixel, PixelsOfManyBandsActAsTheirBandByBandSelves) {
    // Pixels made without samples keep a sample per kind of band from 64 bands on; whatever is
    // done to them, each band must read as in the same pixel made band by band, and operations
    // between two pixels must agree whichever form either has.
    std::mt19937 random(7);
    const std::uint32_t spaces[] = {0x101,   0x301,   0x402,   0xFF01,
                                    0x10101, 0x10301, 0x30402, 0x1FF01};
    const std::uint16_t counts[] = {63, 64, 65, 66, 67, 300};
    const std::uint32_t types[] = {KVI_DATATYPE_UINT8, KVI_DATATYPE_SINT16, KVI_DATATYPE_UINT32,
                                   KVI_DATATYPE_FLOAT32, KVI_DATATYPE_FLOAT64};
    const auto pick = [&](const auto& list) { return list[random() % std::size(list)]; };
    for (int round = 0; round < 300; ++round) {
        const std::uint32_t type = pick(types);
        KVIPixel fast(pick(spaces), pick(counts), type);
        KVIPixel plain = bandByBand(fast);
        // A second pixel of the same type, alike in shape or not.
        KVIPixel other(random() % 2 ? fast.getColorSpace() : pick(spaces),
                       random() % 2 ? fast.getNumBands() : pick(counts), type);
        other.setSampleValuesFromDouble(double(random() % 200) - 50);
        const KVIPixel otherPlain = bandByBand(other);
        const KVIPixel& otherAs = random() % 2 ? other : otherPlain;
        SCOPED_TRACE(::testing::Message() << "round " << round);
        for (int step = 0; step < 6; ++step) {
            const double value = double(random() % 300) - 100;
            switch (random() % 8) {
            case 0:
                fast.setSampleValuesFromDouble(value);
                plain.setSampleValuesFromDouble(value);
                break;
            case 1:
                fast.setToMin();
                plain.setToMin();
                break;
            case 2:
                fast.setToMax();
                plain.setToMax();
                break;
            case 3:
                fast.keepMinOf(otherAs);
                plain.keepMinOf(otherPlain);
                break;
            case 4:
                fast.keepMaxOf(otherAs);
                plain.keepMaxOf(otherPlain);
                break;
            case 5:
                fast.copyBandsOf(otherAs);
                plain.copyBandsOf(otherPlain);
                break;
            case 6: {
                // One band changed alone.
                const auto band = static_cast<std::uint16_t>(random() % fast.getNumBands());
                fast.getSample(band).setFromDouble(value);
                plain.getSample(band).setFromDouble(value);
                break;
            }
            default: {
                const KVIPixel copy = fast;
                fast = copy;
                break;
            }
            }
            expectSameBands(fast, plain);
            EXPECT_EQ(fast.checkCompatible(otherAs), plain.checkCompatible(otherPlain));
            EXPECT_EQ(fast.checkCompatibleStrict(otherAs), plain.checkCompatibleStrict(otherPlain));
            EXPECT_EQ(fast.hasSameBandTypes(otherAs), plain.hasSameBandTypes(otherPlain));
            EXPECT_EQ(fast.hasBandsAsWideAs(otherAs), plain.hasBandsAsWideAs(otherPlain));
        }
    }
}
