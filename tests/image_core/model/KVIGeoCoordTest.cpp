#include "model/KVIGeoCoord.h"
#include "TestStreams.h"
#include "metadata/KVIMetadataDatabase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

using namespace Korvel;
using quarn_test::VectorStream;

namespace {

VectorStream textStream(const std::string& text) {
    return VectorStream(std::vector<std::uint8_t>(text.begin(), text.end()));
}

void addDouble(KVIMetadataDatabase& db, std::uint32_t tag, double value) {
    ASSERT_EQ(db.add(KVIMetadataRecord(tag, KVI_RECORD_FLOAT64, &value)), KV_OK);
}

} // namespace

TEST(KVIGeoCoord, WorldFileOfSixNumbersKeepsTheWkt) {
    KVIGeoCoord geo(0, 0, 1, -1, 0, 0, "LOCAL_CS[\"x\"]");
    VectorStream stream = textStream("2.5\r\n0\r\n0\r\n-2.5\r\n1000.0\r\n2000.0\r\n");
    ASSERT_EQ(geo.readWorldFile(&stream), KV_OK);
    EXPECT_EQ(geo.getXRes(), 2.5);
    EXPECT_EQ(geo.getYRes(), -2.5);
    EXPECT_EQ(geo.getX(), 1000.0);
    EXPECT_EQ(geo.getY(), 2000.0);
    EXPECT_STREQ(geo.getWKT(), "LOCAL_CS[\"x\"]");
}

TEST(KVIGeoCoord, WorldFileRotationTermsPlaceRotatedPixels) {
    // Lines A, D, B, E, C, F: gx = A px + B py + C, gy = D px + E py + F.
    KVIGeoCoord geo;
    VectorStream stream = textStream("2 0.5 0.25 -2 100 200");
    ASSERT_EQ(geo.readWorldFile(&stream), KV_OK);
    EXPECT_EQ(geo.getYRot(), 0.5);
    EXPECT_EQ(geo.getXRot(), 0.25);
    double gx = 0, gy = 0;
    ASSERT_EQ(geo.pixelToGeo(10, 20, 1.0, gx, gy), KV_OK);
    EXPECT_DOUBLE_EQ(gx, 2 * 10 + 0.25 * 20 + 100);
    EXPECT_DOUBLE_EQ(gy, 0.5 * 10 - 2 * 20 + 200);
}

TEST(KVIGeoCoord, UnusableWorldFilesChangeNothing) {
    KVIGeoCoord geo(7, 8, 3, -3, 0, 0);
    VectorStream five = textStream("2.5 0 0 -2.5 1000.0");
    EXPECT_EQ(geo.readWorldFile(&five), KV_WORLD_FILE_UNUSABLE);
    VectorStream comma = textStream("2,5 0 0 -2,5 1000 2000");
    EXPECT_EQ(geo.readWorldFile(&comma), KV_WORLD_FILE_UNUSABLE);
    VectorStream huge = textStream("1e999 0 0 -1 0 0");
    EXPECT_EQ(geo.readWorldFile(&huge), KV_WORLD_FILE_UNUSABLE);
    std::string cut = "1 0 0 -1 5 6";
    cut[3] = '\0'; // the text ends at its first zero byte
    VectorStream zero(std::vector<std::uint8_t>(cut.begin(), cut.end()));
    EXPECT_EQ(geo.readWorldFile(&zero), KV_WORLD_FILE_UNUSABLE);
    EXPECT_EQ(geo.getX(), 7.0);
    EXPECT_EQ(geo.getXRes(), 3.0);
    EXPECT_EQ(geo.readWorldFile(nullptr), KV_BAD_ARGUMENT);
}

TEST(KVIGeoCoord, WorldFileStreamFaults) {
    KVIGeoCoord geo;
    VectorStream shortRead = textStream("1 0 0 -1 5 6");
    shortRead.failReadsAfter(4);
    shortRead.lastError = 145013;
    EXPECT_EQ(geo.readWorldFile(&shortRead), 145013u);
    // A stream that reports no error still fails.
    VectorStream silent = textStream("1 0 0 -1 5 6");
    silent.failReadsAfter(4);
    EXPECT_EQ(geo.readWorldFile(&silent), KV_FAILURE);
    VectorStream noSize = textStream("1 0 0 -1 5 6");
    noSize.failSeeksAfter(0);
    EXPECT_NE(geo.readWorldFile(&noSize), KV_OK);
}

TEST(KVIGeoCoord, WorldFileIsReadFromTheStreamPosition) {
    KVIGeoCoord geo;
    VectorStream stream = textStream("header:\n+1.5e1 -0x1p-2 .5 -4 1e2 INF trailing words");
    ASSERT_EQ(stream.seek(8, KVIO_SEEK_SET), KV_OK);
    ASSERT_EQ(geo.readWorldFile(&stream), KV_OK);
    EXPECT_EQ(geo.getXRes(), 15.0);
    EXPECT_EQ(geo.getYRot(), -0.25);
    EXPECT_EQ(geo.getXRot(), 0.5);
    EXPECT_EQ(geo.getX(), 100.0);
    EXPECT_TRUE(std::isinf(geo.getY()));
}

TEST(KVIGeoCoord, PixelToGeoWithRotationAndMagnification) {
    const KVIGeoCoord geo(1000, 2000, 2, -2, 0.5, 0.25);
    double gx = 0, gy = 0;
    ASSERT_EQ(geo.pixelToGeo(10, 20, 0.5, gx, gy), KV_OK);
    EXPECT_DOUBLE_EQ(gx, (10 * 2 + 20 * 0.5) / 0.5 + 1000);
    EXPECT_DOUBLE_EQ(gy, (10 * 0.25 + 20 * -2) / 0.5 + 2000);
    gx = gy = -1;
    EXPECT_EQ(geo.pixelToGeo(1, 1, 0.0, gx, gy), KV_BAD_ARGUMENT);
    EXPECT_EQ(gx, -1.0);
}

TEST(KVIGeoCoord, CopiesOwnTheirWkt) {
    KVIGeoCoord geo(0, 0, 1, -1, 0, 0, "A");
    KVIGeoCoord assigned;
    assigned = geo;
    geo.setWKT(nullptr);
    EXPECT_EQ(geo.getWKT(), nullptr);
    EXPECT_STREQ(assigned.getWKT(), "A");
}

TEST(KVIGeoCoord, ReadFromMetadata) {
    KVIMetadataDatabase db;
    KVIGeoCoord geo(5, 6, 1, -1, 0, 0);
    bool found = true;
    EXPECT_EQ(geo.readFromMetadata(db, found), KV_OK);
    EXPECT_FALSE(found);
    EXPECT_EQ(geo.getX(), 5.0);

    const double origin[] = {300.0, 400.0};
    const std::uint32_t two = 2;
    ASSERT_EQ(db.add(KVIMetadataRecord("IMAGE::XY_ORIGIN", KVI_RECORD_FLOAT64, origin, 1, &two)),
              KV_OK);
    addDouble(db, KVI_TAG_IMAGE_X_RESOLUTION, 4.0);
    addDouble(db, KVI_TAG_IMAGE_Y_RESOLUTION, 4.0);
    EXPECT_EQ(geo.readFromMetadata(db, found), KV_OK);
    EXPECT_TRUE(found);
    EXPECT_EQ(geo.getY(), 400.0);
    EXPECT_EQ(geo.getYRes(), -4.0);

    db.remove(KVI_TAG_IMAGE_X_RESOLUTION);
    const std::uint32_t wrong = 4;
    ASSERT_EQ(db.add(KVIMetadataRecord(KVI_TAG_IMAGE_X_RESOLUTION, KVI_RECORD_UINT32, &wrong)),
              KV_OK);
    EXPECT_EQ(geo.readFromMetadata(db, found), KV_METADATA_WRONG_TYPE);
    EXPECT_FALSE(found);
}
