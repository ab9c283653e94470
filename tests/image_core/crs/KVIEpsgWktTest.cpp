#include "crs/KVIEpsgWkt.h"
#include "GdalOracle.h"
#include "crs/KVGdalData.h"

#include <clocale>
#include <string>

using namespace Korvel;
using namespace wkt_test;

TEST(KVIEpsgWkt, CodesGiveGdalsOwnSystemInWkt1) {
    // Geographic, a UTM zone, state-plane zones in US feet and in metres.
    for (const int code : {4326, 32617, 2227, 26929}) {
        std::string wkt;
        ASSERT_EQ(epsgToWkt(static_cast<std::uint16_t>(code), wkt), KV_OK) << code;
        EXPECT_TRUE(sameSystem(wkt, epsgWkt1(code))) << code << ": " << wkt;
        EXPECT_EQ(wkt.rfind(code == 4326 ? "GEOGCS[" : "PROJCS[", 0), 0u) << wkt;
    }
}

TEST(KVIEpsgWkt, UnknownCodeGivesNoWkt) {
    std::string wkt;
    EXPECT_EQ(epsgToWkt(1, wkt), KV_EPSG_NO_WKT);
    EXPECT_TRUE(wkt.empty());
}

TEST(KVIEpsgWkt, GeoTagsNeedAllThreeAsU16Scalars) {
    KVIMetadataDatabase db;
    addScalar<std::uint16_t>(db, KVI_TAG_GEO_PROJECTED_CS_TYPE_GEO_KEY, KVI_RECORD_UINT16, 32617);
    addScalar<std::uint16_t>(db, KVI_TAG_GEO_HORIZONTAL_DATUM, KVI_RECORD_UINT16, 6326);
    addScalar<std::uint32_t>(db, KVI_TAG_IMAGE_HORIZONTAL_UNITS, KVI_RECORD_UINT32, 9001);
    std::string wkt;
    EXPECT_EQ(geoTagsToWkt(db, wkt), KV_METADATA_WRONG_TYPE);
    EXPECT_TRUE(wkt.empty());
    ASSERT_EQ(db.remove(KVI_TAG_IMAGE_HORIZONTAL_UNITS), KV_OK);
    addScalar<std::uint16_t>(db, KVI_TAG_IMAGE_HORIZONTAL_UNITS, KVI_RECORD_UINT16, 9001);
    ASSERT_EQ(geoTagsToWkt(db, wkt), KV_OK);
    EXPECT_TRUE(sameSystem(wkt, epsgWkt1(32617)));
}

TEST(KVIEpsgWkt, GdalDataMustNameAFolder) {
    EXPECT_EQ(checkGdalData(), KV_OK); // unset: GDAL finds its own files
    {
        const ScopedConfig config("GDAL_DATA", "/nonexistent/gdal-data");
        std::string wkt;
        EXPECT_EQ(checkGdalData(), KV_GDAL_DATA_MISSING);
        EXPECT_EQ(epsgToWkt(4326, wkt), KV_GDAL_DATA_MISSING);
        EXPECT_TRUE(wkt.empty());
    }
}

TEST(KVIEpsgWkt, NumericLocaleIsRestored) {
    if (std::setlocale(LC_NUMERIC, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    std::string wkt;
    EXPECT_EQ(epsgToWkt(4326, wkt), KV_OK);
    EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), before);
    std::setlocale(LC_NUMERIC, "C");
}
