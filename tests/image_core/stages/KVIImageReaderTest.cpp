#include "SyntheticImageStage.h"
#include "TestStreams.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "model/KVIPixelLookupTable.h"
#include "stages/KVIGeoImageReader.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Korvel;
using Korvel::KVIRef;
using quarn_test::SyntheticImageStage;

namespace {

struct GeoReader : KVIGeoImageReader {
    KVStatus decodeBegin(const KVIScene&) override { return KV_OK; }
    KVStatus decodeStrip(KVISceneBuffer&, const KVIScene&) override { return KV_OK; }
    KVStatus decodeEnd() override { return KV_OK; }
};

void addBytes(KVIMetadataDatabase& db, std::uint32_t tag, const std::vector<std::uint8_t>& bytes) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    ASSERT_EQ(
        db.add(KVIMetadataRecord(getTagName(tag), KVI_RECORD_UINT8, bytes.data(), 1, &length)),
        KV_OK);
}

void addText(KVIMetadataDatabase& db, std::uint32_t tag, const char* text) {
    ASSERT_EQ(db.add(KVIMetadataRecord(tag, KVI_RECORD_TEXT, &text)), KV_OK);
}

TEST(KVIImageReaderQueries, ModificationsDimsCostAndClip) {
    KVIRef<SyntheticImageStage> image(new SyntheticImageStage(200, 100));
    image->setMagnification(0.25, 1.0);
    EXPECT_EQ(image->getModifications(KVIScene(0, 0, 100, 50, 0.5)), KVI_MOD_SCALED);
    EXPECT_EQ(image->getModifications(KVIScene(0, 0, 99, 50, 0.5)),
              KVI_MOD_SCALED | KVI_MOD_CROPPED);
    EXPECT_EQ(image->getModifications(KVIScene(0, 0, 200, 100, 1.0)), 0u);
    EXPECT_EQ(image->getModifications(KVIScene(0, 0, 200, 99, 1.0)), KVI_MOD_CROPPED);
    EXPECT_EQ(image->getModifications(KVIScene(0, 0, 1, 1, 2.0)), 0u); // outside the range

    KVIRef<SyntheticImageStage> odd(new SyntheticImageStage(1001, 7));
    odd->setMagnification(0.5, 1.0);
    std::uint32_t w = 0, h = 0;
    ASSERT_EQ(odd->getDimsAtMag(0.5, w, h), KV_OK);
    EXPECT_EQ(w, 501u);
    EXPECT_EQ(h, 4u);
    EXPECT_EQ(odd->getDimsAtMag(0.25, w, h), KV_BAD_ARGUMENT);

    KVIRef<SyntheticImageStage> rgb(
        new SyntheticImageStage(100, 100, KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8)));
    EXPECT_EQ(rgb->getSceneCost(KVIScene(0, 0, 100, 100, 1.0)), 29);
    KVIScene clipped;
    ASSERT_TRUE(rgb->clipScene(KVIScene(-10, 50, 200, 100, 1.0), clipped));
    EXPECT_EQ(clipped, KVIScene(0, 50, 100, 50, 1.0));
    EXPECT_FALSE(rgb->clipScene(KVIScene(100, 0, 5, 5, 1.0), clipped));
}

TEST(KVIImageReaderSetters, StoreCopiesAndClear) {
    KVIRef<SyntheticImageStage> reader(
        new SyntheticImageStage(10, 5, KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT16)));
    // setPixelProps resets the dynamic range to the type's full range.
    EXPECT_EQ(reader->getMinDynamicRange().getSample(0).getAsDouble(), 0.0);
    EXPECT_EQ(reader->getMaxDynamicRange().getSample(0).getAsDouble(), 65535.0);
    EXPECT_EQ(reader->setDynamicRange(KVIPixel(), reader->getMaxDynamicRange()), KV_BAD_ARGUMENT);
    EXPECT_EQ(reader->setPrecision(0), KV_OK);
    EXPECT_EQ(reader->getPixelProps().getSample(0).getPrecision(), 16u);
    EXPECT_EQ(reader->setPrecision(12), KV_OK);
    EXPECT_EQ(reader->getPixelProps().getSample(0).getPrecision(), 12u);

    KVIPixel background(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT16);
    background.setSampleValuesFromDouble(9);
    ASSERT_EQ(reader->setBackgroundPixel(&background), KV_OK);
    background.setSampleValuesFromDouble(1);
    EXPECT_EQ(reader->getBackgroundPixel()->getSample(0).getAsDouble(), 9.0);
    // Handing back the held pixel keeps it.
    ASSERT_EQ(reader->setBackgroundPixel(reader->getBackgroundPixel()), KV_OK);
    EXPECT_EQ(reader->getBackgroundPixel()->getSample(0).getAsDouble(), 9.0);
    EXPECT_EQ(reader->setBackgroundPixel(nullptr), KV_OK);
    EXPECT_EQ(reader->getBackgroundPixel(), nullptr);

    const KVIPixelLookupTable table(KVIPixel(), 4);
    ASSERT_EQ(reader->setPixelLookupTable(&table), KV_OK);
    EXPECT_EQ(reader->getPixelLookupTable()->getTableSize(), 4u);

    EXPECT_TRUE(reader->isGeoCoordImplicit());
    EXPECT_EQ(reader->getGeoCoord().getY(), 4.0);
    ASSERT_EQ(reader->setGeoCoord(KVIGeoCoord(1, 2, 3, -3, 0, 0, "WKT")), KV_OK);
    EXPECT_FALSE(reader->isGeoCoordImplicit());
    EXPECT_STREQ(reader->getGeoCoord().getWKT(), "WKT");

    // A held database takes the argument's records in place of its own.
    KVIMetadataDatabase first;
    addText(first, KVI_TAG_IMAGE_INPUT_NAME, "a");
    ASSERT_EQ(reader->setMetadata(&first), KV_OK);
    const KVIMetadataDatabase* held = &reader->getMetadata();
    KVIMetadataDatabase second;
    addText(second, KVI_TAG_IMAGE_CREATION_DATE, "b");
    ASSERT_EQ(reader->setMetadata(&second), KV_OK);
    EXPECT_EQ(&reader->getMetadata(), held);
    EXPECT_FALSE(reader->getMetadata().has(KVI_TAG_IMAGE_INPUT_NAME));
    ASSERT_EQ(reader->setMetadata(&reader->getMetadata()), KV_OK);
    EXPECT_TRUE(reader->getMetadata().has(KVI_TAG_IMAGE_CREATION_DATE));
    ASSERT_EQ(reader->setMetadata(nullptr), KV_OK);
    EXPECT_EQ(reader->getMetadata().getCount(), 0u);
}

TEST(KVIImageReaderFill, CopyImagePropertiesAndPixelInfoFromMetadata) {
    KVIRef<SyntheticImageStage> source(
        new SyntheticImageStage(30, 20, KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8)));
    source->setMagnification(0.125, 2.0);
    KVIMetadataDatabase tags;
    addText(tags, KVI_TAG_IMAGE_INPUT_NAME, "kept");
    addBytes(tags, KVI_TAG_IMAGE_DEFAULT_DATA_VALUE, {1, 2, 3});
    addBytes(tags, KVI_TAG_IMAGE_TRANSPARENT_DATA_VALUE, {4, 5, 6});
    ASSERT_EQ(source->setMetadata(&tags), KV_OK);

    KVIRef<SyntheticImageStage> copy(new SyntheticImageStage(1, 1));
    ASSERT_EQ(copy->copyImageProperties(source.get()), KV_OK);
    EXPECT_EQ(copy->getWidth(), 30u);
    EXPECT_EQ(copy->getHeight(), 20u);
    EXPECT_EQ(copy->getPixelProps().getNumBands(), 3);
    EXPECT_EQ(copy->getMinMagnification(), 0.125);
    EXPECT_EQ(copy->getMaxMagnification(), 2.0);
    EXPECT_TRUE(copy->isGeoCoordImplicit());
    EXPECT_EQ(copy->getGeoCoord().getY(), 19.0);
    // The image-description tags do not travel with the rest of the metadata.
    EXPECT_TRUE(copy->getMetadata().has(KVI_TAG_IMAGE_INPUT_NAME));
    EXPECT_FALSE(copy->getMetadata().has(KVI_TAG_IMAGE_DEFAULT_DATA_VALUE));

    KVIPixel props = source->getPixelProps();
    ASSERT_EQ(copy->setPixelInfoFromMetadata(source->getMetadata(), props, true, true), KV_OK);
    ASSERT_NE(copy->getBackgroundPixel(), nullptr);
    EXPECT_EQ(copy->getBackgroundPixel()->getSample(2).getAsDouble(), 3.0);
    EXPECT_EQ(copy->getNoDataPixel()->getSample(0).getAsDouble(), 4.0);
    EXPECT_EQ(copy->getMaxDynamicRange().getSample(1).getAsDouble(), 255.0);
    EXPECT_EQ(copy->getPixelLookupTable(), nullptr);

    ASSERT_EQ(copy->copyImageProperties(nullptr), KV_OK);
    EXPECT_EQ(copy->getMetadata().getCount(), 0u);
}

TEST(KVIGeoImageReaderWorldFile, ReadsUnlessWorldFilesAreOff) {
    KVIRef<GeoReader> reader(new GeoReader());
    ASSERT_EQ(reader->init(false), KV_OK);
    ASSERT_EQ(reader->setGeoCoord(KVIGeoCoord(0, 0, 1, -1, 0, 0, "LOCAL")), KV_OK);
    const std::string text = "2.0\n0.0\n0.0\n-2.0\n100.5\n200.5\n";
    quarn_test::VectorStream stream(std::vector<std::uint8_t>(text.begin(), text.end()));
    bool found = true;
    EXPECT_EQ(reader->readWorldFile(&stream, found, true), KV_OK);
    EXPECT_FALSE(found);
    ASSERT_EQ(reader->readWorldFile(&stream, found, false), KV_OK);
    EXPECT_TRUE(found);
    const KVIGeoCoord geo = reader->getGeoCoord();
    EXPECT_EQ(geo.getX(), 100.5);
    EXPECT_EQ(geo.getYRes(), -2.0);
    EXPECT_STREQ(geo.getWKT(), "LOCAL");

    quarn_test::VectorStream shortFile(std::vector<std::uint8_t>{'1', '\n'});
    EXPECT_EQ(reader->readWorldFile(&shortFile, found, false), KV_WORLD_FILE_UNUSABLE);
    EXPECT_FALSE(found);
    EXPECT_EQ(reader->getGeoCoord().getX(), 100.5);
}

} // namespace
