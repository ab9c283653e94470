#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "model/KVIGeoCoord.h"
#include "model/KVIPixel.h"
#include "model/KVIPixelLookupTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace Korvel;

namespace {

class KVIMetadataAccessorTest : public ::testing::Test {
protected:
    template <typename T> void scalar(std::uint32_t tag, std::uint32_t type, T value) {
        db.remove(tag);
        ASSERT_EQ(db.add(KVIMetadataRecord(tag, type, &value)), KV_OK);
    }
    void u32(std::uint32_t tag, std::uint32_t value) { scalar(tag, KVI_RECORD_UINT32, value); }
    void f64(std::uint32_t tag, double value) { scalar(tag, KVI_RECORD_FLOAT64, value); }
    void text(std::uint32_t tag, const char* value) { scalar(tag, KVI_RECORD_TEXT, value); }
    template <typename T>
    void vector(std::uint32_t tag, std::uint32_t type, const std::vector<T>& values) {
        db.remove(tag);
        const auto length = static_cast<std::uint32_t>(values.size());
        ASSERT_EQ(db.add(KVIMetadataRecord(getTagName(tag), type, values.data(), 1, &length)),
                  KV_OK);
    }
    void f64s(std::uint32_t tag, const std::vector<double>& values) {
        vector(tag, KVI_RECORD_FLOAT64, values);
    }
    std::string storedModifications() {
        const char* stored = nullptr;
        EXPECT_EQ(accessor.getString(KVI_TAG_IMAGE_MODIFICATIONS, stored), KV_OK);
        return stored ? stored : "(null)";
    }
    std::uint32_t modificationsOf(const char* words) {
        text(KVI_TAG_IMAGE_MODIFICATIONS, words);
        std::uint32_t mask = 0xDEAD;
        EXPECT_EQ(accessor.getModifications(mask), KV_OK);
        return mask;
    }
    std::vector<std::uint32_t> precisions(const KVIPixel& pixel) {
        std::vector<std::uint32_t> bits;
        for (std::uint16_t band = 0; band < pixel.getNumBands(); ++band)
            bits.push_back(pixel.getSample(band).getPrecision());
        return bits;
    }

    KVIMetadataDatabase db;
    KVIMetadataAccessor accessor{db};
};

using Bits = std::vector<std::uint32_t>;

} // namespace

TEST_F(KVIMetadataAccessorTest, TypedGettersCheckPresenceTypeAndShape) {
    std::uint16_t u16 = 7;
    EXPECT_EQ(accessor.getHorizontalUnits(u16), KV_METADATA_NOT_FOUND);
    scalar(KVI_TAG_IMAGE_HORIZONTAL_UNITS, KVI_RECORD_UINT16, std::uint16_t{9001});
    EXPECT_EQ(accessor.getUint16ByName("IMAGE::HORIZONTAL_UNITS", u16), KV_OK);
    EXPECT_EQ(u16, 9001);
    double d = 0;
    EXPECT_EQ(accessor.getDouble(KVI_TAG_IMAGE_HORIZONTAL_UNITS, d), KV_METADATA_WRONG_TYPE);
    f64s(KVI_TAG_IMAGE_X_RESOLUTION, {1.0, 2.0});
    EXPECT_EQ(accessor.getDouble(KVI_TAG_IMAGE_X_RESOLUTION, d), KV_METADATA_NOT_SCALAR);
    std::uint32_t length = 0;
    const std::uint32_t dims[] = {2, 2};
    ASSERT_EQ(db.add(KVIMetadataRecord("IMAGE::INPUT_LUT", KVI_RECORD_UINT8, nullptr, 2, dims)),
              KV_OK);
    const std::uint8_t* bytes = nullptr;
    EXPECT_EQ(accessor.getUint8Vector(KVI_TAG_IMAGE_INPUT_LUT, bytes, length),
              KV_METADATA_NOT_SCALAR);
}

TEST_F(KVIMetadataAccessorTest, WritersReplaceAndReadOnlyAccessRefuses) {
    EXPECT_EQ(accessor.setInputName("first.tif"), KV_OK);
    EXPECT_EQ(accessor.setInputName("second.tif"), KV_OK);
    EXPECT_EQ(accessor.setInputFileSize(12345.0), KV_OK);
    const char* name = nullptr;
    double size = 0;
    EXPECT_EQ(accessor.getInputName(name), KV_OK);
    EXPECT_STREQ(name, "second.tif");
    EXPECT_EQ(accessor.getInputFileSize(size), KV_OK);
    EXPECT_EQ(size, 12345.0);
    EXPECT_EQ(db.getCount(), 2u);
    EXPECT_EQ(accessor.setString(136, "x"), KV_BAD_ARGUMENT);

    const KVIMetadataDatabase& constDb = db;
    KVIMetadataAccessor reader(constDb);
    EXPECT_EQ(reader.setModifications(0), KV_FAILURE);
    EXPECT_EQ(reader.removeImageInfoTags(), KV_FAILURE);
    EXPECT_EQ(reader.getInputName(name), KV_OK);
}

TEST_F(KVIMetadataAccessorTest, ModificationWordsInTheirFixedOrder) {
    EXPECT_EQ(accessor.setModifications(0x14), KV_OK);
    EXPECT_EQ(storedModifications(), "CROPPED SCALED");
    accessor.setModifications(0x10001);
    EXPECT_EQ(storedModifications(), "UNKNOWN");
    accessor.setModifications(0x6);
    EXPECT_EQ(storedModifications(), "COMPRESSED CROPPED");
    accessor.setModifications(0);
    EXPECT_EQ(storedModifications(), "LOSSLESS");
    accessor.setModifications(0x4002);
    EXPECT_EQ(storedModifications(), "COMPRESSED OVERLAID");
    EXPECT_EQ(db.getCount(), 1u);

    // Every bit through its text and back.
    for (std::uint32_t bit = 0x1; bit <= 0x4000; bit <<= 1) {
        SCOPED_TRACE(bit);
        ASSERT_EQ(accessor.setModifications(bit), KV_OK);
        std::uint32_t mask = 0;
        ASSERT_EQ(accessor.getModifications(mask), KV_OK);
        EXPECT_EQ(mask, bit);
    }
    ASSERT_EQ(accessor.setModifications(0x7FFF), KV_OK);
    std::uint32_t all = 0;
    ASSERT_EQ(accessor.getModifications(all), KV_OK);
    EXPECT_EQ(all, 0x7FFFu);
}

TEST_F(KVIMetadataAccessorTest, ModificationTextIsParsedLeniently) {
    EXPECT_EQ(modificationsOf("cropped  Scaled"), 0x14u);
    EXPECT_EQ(modificationsOf("  CROPPED dithered "), 0x5u);
    EXPECT_EQ(modificationsOf("lossless"), 0u);
    EXPECT_EQ(modificationsOf(""), 1u);
    EXPECT_EQ(modificationsOf(nullptr), 1u);
    EXPECT_EQ(modificationsOf("Interpreted-Alpha MOSAICKED"), 0x840u);

    db.removeAll();
    std::uint32_t mask = 0;
    EXPECT_EQ(accessor.getModifications(mask), KV_METADATA_NOT_FOUND);
    u32(KVI_TAG_IMAGE_MODIFICATIONS, 0);
    EXPECT_EQ(accessor.getModifications(mask), KV_METADATA_WRONG_TYPE);
}

TEST_F(KVIMetadataAccessorTest, PixelPropsFromColourSchemeAndDataType) {
    KVIPixel pixel(KVI_COLORSPACE_GREY, 4, KVI_DATATYPE_UINT8);
    u32(KVI_TAG_IMAGE_COLOR_SCHEME, 13);
    u32(KVI_TAG_IMAGE_DATA_TYPE, 2);
    ASSERT_EQ(accessor.getPixelProps(pixel), KV_OK);
    EXPECT_EQ(pixel.getColorSpace(), 0x10301u);
    EXPECT_EQ(pixel.getDataType(), KVI_DATATYPE_UINT16);
    EXPECT_EQ(pixel.getSample(3).getBandColor(), KVI_BAND_ALPHA);

    // Unknown codes leave the pixel as it is.
    u32(KVI_TAG_IMAGE_COLOR_SCHEME, 1);
    u32(KVI_TAG_IMAGE_DATA_TYPE, 15);
    ASSERT_EQ(accessor.getPixelProps(pixel), KV_OK);
    EXPECT_EQ(pixel.getColorSpace(), 0x10301u);
    EXPECT_EQ(pixel.getDataType(), KVI_DATATYPE_UINT16);

    f64(KVI_TAG_IMAGE_COLOR_SCHEME, 3.0);
    EXPECT_EQ(accessor.getPixelProps(pixel), KV_METADATA_WRONG_TYPE);
}

TEST_F(KVIMetadataAccessorTest, PrecisionFollowsTheDynamicRangeWindow) {
    const KVIPixel rgb16(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16);
    f64(KVI_TAG_IMAGE_DYNAMIC_RANGE_LEVEL, 100.0);
    f64(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, 256.0);
    KVIPixel pixel = rgb16;
    ASSERT_EQ(accessor.getPixelProps(pixel), KV_OK);
    EXPECT_EQ(precisions(pixel), (Bits{8, 8, 8}));

    f64(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, 1.0);
    pixel = rgb16;
    ASSERT_EQ(accessor.getPixelProps(pixel), KV_OK);
    EXPECT_EQ(precisions(pixel), (Bits{16, 16, 16}));

    f64s(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, {1, 4096, 2});
    ASSERT_EQ(accessor.getPixelProps(pixel), KV_OK);
    EXPECT_EQ(precisions(pixel), (Bits{1, 12, 1}));

    f64s(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, {1, 4096});
    EXPECT_EQ(accessor.getPixelProps(pixel), KV_METADATA_NOT_SCALAR);

    // A window no integer can hold clamps to the full width instead of misbehaving.
    f64(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, std::numeric_limits<double>::quiet_NaN());
    pixel = rgb16;
    ASSERT_EQ(accessor.getPixelProps(pixel), KV_OK);
    EXPECT_EQ(precisions(pixel), (Bits{16, 16, 16}));

    // Bits per sample is checked, not applied, and then the window is not consulted.
    f64(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, 256.0);
    scalar(KVI_TAG_IMAGE_BITS_PER_SAMPLE, KVI_RECORD_UINT16, std::uint16_t{12});
    pixel = rgb16;
    ASSERT_EQ(accessor.getPixelProps(pixel), KV_OK);
    EXPECT_EQ(precisions(pixel), (Bits{16, 16, 16}));
    u32(KVI_TAG_IMAGE_BITS_PER_SAMPLE, 12);
    EXPECT_EQ(accessor.getPixelProps(pixel), KV_METADATA_WRONG_TYPE);
}

TEST_F(KVIMetadataAccessorTest, ScalarAndVectorDynamicRange) {
    KVIPixel low(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8);
    KVIPixel high = low;
    EXPECT_EQ(accessor.getDynamicRange(low, high), KV_METADATA_NOT_FOUND);
    f64(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, 255.0);
    f64(KVI_TAG_IMAGE_DYNAMIC_RANGE_LEVEL, 127.0);
    ASSERT_EQ(accessor.getDynamicRange(low, high), KV_OK);
    EXPECT_EQ(low.getSample(0).getAsDouble(), 0.0);
    EXPECT_EQ(high.getSample(0).getAsDouble(), 254.0);

    double lo = 0, hi = 0;
    KVIMetadataAccessor::windowLevelToRange(256, 127, lo, hi);
    EXPECT_EQ(lo, -0.5);
    EXPECT_EQ(hi, 254.5);
    KVIPixel lowF(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_FLOAT64);
    KVIPixel highF = lowF;
    f64(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, 256.0);
    ASSERT_EQ(accessor.getDynamicRange(lowF, highF), KV_OK);
    EXPECT_EQ(lowF.getSample(0).getAsDouble(), -0.5);
    EXPECT_EQ(highF.getSample(0).getAsDouble(), 254.5);

    KVIPixel low3(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_SINT16);
    KVIPixel high3 = low3;
    f64s(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, {11, 21, 101});
    f64s(KVI_TAG_IMAGE_DYNAMIC_RANGE_LEVEL, {0, 10, -50});
    ASSERT_EQ(accessor.getDynamicRange(low3, high3), KV_OK);
    EXPECT_EQ(low3.getSample(1).getAsDouble(), 0.0);
    EXPECT_EQ(high3.getSample(1).getAsDouble(), 20.0);
    EXPECT_EQ(low3.getSample(2).getAsDouble(), -100.0);

    // Both per-band vectors must cover every band, whichever was read last.
    f64(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, 11.0);
    EXPECT_EQ(accessor.getDynamicRange(low3, high3), KV_METADATA_NOT_SCALAR);
    f64s(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, {11, 21, 101});
    EXPECT_EQ(accessor.getDynamicRange(low3, low), KV_BAD_ARGUMENT);
    KVIPixel otherType(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16);
    EXPECT_EQ(accessor.getDynamicRange(low3, otherType), KV_BAD_ARGUMENT);
    KVIPixel untyped(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_NONE);
    KVIPixel untyped2 = untyped;
    EXPECT_EQ(accessor.getDynamicRange(untyped, untyped2), KV_UNSUPPORTED_DATA_TYPE);
}

TEST_F(KVIMetadataAccessorTest, GeoCoordSignAndRotationRules) {
    KVIGeoCoord geo;
    EXPECT_EQ(accessor.getGeoCoord(geo), KV_METADATA_NOT_FOUND);
    f64s(KVI_TAG_IMAGE_XY_ORIGIN, {10, 20, 30});
    f64(KVI_TAG_IMAGE_X_RESOLUTION, 0.0);
    f64(KVI_TAG_IMAGE_Y_RESOLUTION, 2.5);
    EXPECT_EQ(accessor.getGeoCoord(geo), KV_LOOKUP_TABLE_MISMATCH);
    f64s(KVI_TAG_IMAGE_XY_ORIGIN, {10, 20});
    ASSERT_EQ(accessor.getGeoCoord(geo), KV_OK);
    EXPECT_EQ(geo.getX(), 10.0);
    EXPECT_EQ(geo.getY(), 20.0);
    EXPECT_EQ(geo.getXRes(), 1.0);
    EXPECT_EQ(geo.getYRes(), -2.5);
    f64(KVI_TAG_IMAGE_Y_RESOLUTION, -2.5);
    ASSERT_EQ(accessor.getGeoCoord(geo), KV_OK);
    EXPECT_EQ(geo.getYRes(), -2.5);
    f64(KVI_TAG_IMAGE_Y_RESOLUTION, 0.0);
    ASSERT_EQ(accessor.getGeoCoord(geo), KV_OK);
    EXPECT_EQ(geo.getYRes(), -1.0);

    // Rotations only as a pair.
    f64(KVI_TAG_IMAGE_X_ROTATION, 0.5);
    ASSERT_EQ(accessor.getGeoCoord(geo), KV_OK);
    EXPECT_EQ(geo.getXRot(), 0.0);
    f64(KVI_TAG_IMAGE_Y_ROTATION, 0.25);
    text(KVI_TAG_IMAGE_WKT, "GEOGCS[\"x\"]");
    ASSERT_EQ(accessor.getGeoCoord(geo), KV_OK);
    EXPECT_EQ(geo.getXRot(), 0.5);
    EXPECT_EQ(geo.getYRot(), 0.25);
    EXPECT_STREQ(geo.getWKT(), "GEOGCS[\"x\"]");

    u32(KVI_TAG_IMAGE_WKT, 1);
    EXPECT_EQ(accessor.getGeoCoord(geo), KV_METADATA_WRONG_TYPE);
    f64(KVI_TAG_IMAGE_XY_ORIGIN, 3.0);
    EXPECT_EQ(accessor.getGeoCoord(geo), KV_LOOKUP_TABLE_MISMATCH);
    u32(KVI_TAG_IMAGE_XY_ORIGIN, 3);
    EXPECT_EQ(accessor.getGeoCoord(geo), KV_METADATA_WRONG_TYPE);
}

TEST_F(KVIMetadataAccessorTest, BackgroundAndTransparentPixels) {
    KVIPixel grey(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8);
    EXPECT_EQ(accessor.getBackgroundPixel(grey), KV_METADATA_NOT_FOUND);
    vector(KVI_TAG_IMAGE_NO_DATA_VALUE, KVI_RECORD_UINT8, std::vector<std::uint8_t>{42});
    ASSERT_EQ(accessor.getBackgroundPixel(grey), KV_OK);
    EXPECT_EQ(grey.getSample(0).getAsDouble(), 42.0);
    // The no-data value stands in only for unsigned 8-bit images.
    KVIPixel rgb16(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16);
    EXPECT_EQ(accessor.getBackgroundPixel(rgb16), KV_METADATA_NOT_FOUND);

    // Bytes are copied band by band, never past the record's data.
    vector(KVI_TAG_IMAGE_DEFAULT_DATA_VALUE, KVI_RECORD_UINT16,
           std::vector<std::uint16_t>{1000, 2000, 3000});
    ASSERT_EQ(accessor.getBackgroundPixel(rgb16), KV_OK);
    EXPECT_EQ(rgb16.getSample(2).getAsDouble(), 3000.0);
    KVIPixel rgb32(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT32);
    rgb32.setSampleValuesFromDouble(7);
    ASSERT_EQ(accessor.getBackgroundPixel(rgb32), KV_OK);
    EXPECT_EQ(rgb32.getSample(0).getAsDouble(), 1000.0 + 2000.0 * 65536.0);
    EXPECT_EQ(rgb32.getSample(1).getAsDouble(), 7.0);

    EXPECT_EQ(accessor.getTransparentPixel(rgb16), KV_METADATA_NOT_FOUND);
    const std::uint32_t dims[] = {3, 1};
    ASSERT_EQ(db.add(KVIMetadataRecord("IMAGE::TRANSPARENT_DATA_VALUE", KVI_RECORD_UINT16, nullptr,
                                       2, dims)),
              KV_OK);
    EXPECT_EQ(accessor.getTransparentPixel(rgb16), KV_METADATA_NOT_VECTOR);
}

TEST_F(KVIMetadataAccessorTest, InputLookupTable) {
    const KVIPixel rgb(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8);
    auto table = std::make_unique<KVIPixelLookupTable>(rgb, 1);
    EXPECT_EQ(accessor.getInputLUT(rgb, table), KV_OK);
    EXPECT_EQ(table, nullptr);

    std::vector<std::uint8_t> entries(3 * 4);
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i] = static_cast<std::uint8_t>(i * 10);
    const std::uint32_t dims[] = {3, 4};
    ASSERT_EQ(
        db.add(KVIMetadataRecord("IMAGE::INPUT_LUT", KVI_RECORD_UINT8, entries.data(), 2, dims)),
        KV_OK);
    ASSERT_EQ(accessor.getInputLUT(rgb, table), KV_OK);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->getColorSpace(), KVI_COLORSPACE_RGB);
    EXPECT_EQ(table->getTableSize(), 4u);
    EXPECT_EQ(table->getEntries()[4], 40); // band 1, entry 0

    // A one-band map for a grey image whose pixel has more bands.
    const KVIPixel grey(0xFF01, 2, KVI_DATATYPE_UINT8);
    db.remove(KVI_TAG_IMAGE_INPUT_LUT);
    const std::uint32_t oneBand[] = {1, 12};
    ASSERT_EQ(
        db.add(KVIMetadataRecord("IMAGE::INPUT_LUT", KVI_RECORD_UINT8, entries.data(), 2, oneBand)),
        KV_OK);
    ASSERT_EQ(accessor.getInputLUT(grey, table), KV_OK);
    EXPECT_EQ(table->getColorSpace(), KVI_COLORSPACE_GREY);

    EXPECT_EQ(accessor.getInputLUT(KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16), table),
              KV_LOOKUP_TABLE_MISMATCH);
    EXPECT_EQ(table, nullptr);
    db.remove(KVI_TAG_IMAGE_INPUT_LUT);
    vector(KVI_TAG_IMAGE_INPUT_LUT, KVI_RECORD_UINT8, entries);
    EXPECT_EQ(accessor.getInputLUT(rgb, table), KV_LOOKUP_TABLE_MISMATCH);
    db.remove(KVI_TAG_IMAGE_INPUT_LUT);
    const std::uint32_t tooManyBands[] = {0x10000, 1};
    ASSERT_EQ(
        db.add(KVIMetadataRecord("IMAGE::INPUT_LUT", KVI_RECORD_UINT8, nullptr, 2, tooManyBands)),
        KV_OK);
    EXPECT_EQ(accessor.getInputLUT(rgb, table), KV_LOOKUP_TABLE_MISMATCH);
}

TEST_F(KVIMetadataAccessorTest, RemovingImageInfoTagsKeepsTheRest) {
    for (std::uint32_t tag : {113u, 114u, 116u, 133u, 130u, 107u, 108u, 104u, 119u, 103u, 120u,
                              124u, 126u, 127u, 129u, 135u, 137u, 140u, 102u})
        u32(tag, 1);
    EXPECT_EQ(accessor.removeImageInfoTags(), KV_OK);
    EXPECT_EQ(db.getCount(), 2u);
    EXPECT_TRUE(db.has(KVI_TAG_IMAGE_MODIFICATIONS));
    EXPECT_TRUE(db.has(KVI_TAG_IMAGE_INPUT_NAME));
    EXPECT_EQ(accessor.removeGeoTags(), KV_OK);

    EXPECT_EQ(KVIMetadataAccessor::recordTypeToDataType(KVI_RECORD_FLOAT32), KVI_DATATYPE_FLOAT32);
    EXPECT_EQ(KVIMetadataAccessor::recordTypeToDataType(KVI_RECORD_FLOAT64), KVI_DATATYPE_FLOAT64);
    EXPECT_EQ(KVIMetadataAccessor::recordTypeToDataType(KVI_RECORD_SINT32), KVI_DATATYPE_SINT32);
    EXPECT_EQ(KVIMetadataAccessor::recordTypeToDataType(KVI_RECORD_TEXT), KVI_DATATYPE_NONE);
    EXPECT_EQ(KVIMetadataAccessor::recordTypeToDataType(7), KVI_DATATYPE_NONE);
}
