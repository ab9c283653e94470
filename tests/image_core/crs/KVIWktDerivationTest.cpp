#include "crs/KVIWktDerivation.h"
#include "GdalOracle.h"
#include "crs/KVGdalLock.h"
#include "model/KVIGeoCoord.h"
#include "support/MutexLock.h"

#include <string>
#include <thread>
#include <vector>

using namespace Korvel;
using namespace wkt_test;

namespace {

enum Source { kGeoTiff = 1, kPlaceholder = 2, kWrongType = 4, kEpsg = 8, kImg = 16 };

// A geo coordinate with the chosen sources: GeoTIFF records of WGS 84 (or records that yield
// nothing), the geo tags of a UTM zone, IMG:: records of a local system.
void build(KVIMetadataDatabase& db, int sources) {
    addGeoTags(db, 500000.0, 4000000.0, 10.0, 10.0);
    if (sources & kGeoTiff) {
        addVector<std::uint16_t>(db, "GEOTIFF_NUM::1024::GTModelTypeGeoKey", KVI_RECORD_UINT16,
                                 {2});
        addVector<std::uint16_t>(db, "GEOTIFF_NUM::2048", KVI_RECORD_UINT16, {4326});
    }
    if (sources & kPlaceholder)
        addVector<std::uint16_t>(db, "GEOTIFF_NUM::1025", KVI_RECORD_UINT16, {1});
    if (sources & kWrongType)
        addVector<std::uint32_t>(db, "GEOTIFF_NUM::1025", KVI_RECORD_UINT32, {1});
    addScalar<std::uint16_t>(db, KVI_TAG_GEO_PROJECTED_CS_TYPE_GEO_KEY, KVI_RECORD_UINT16, 32617);
    if (sources & kEpsg) {
        addScalar<std::uint16_t>(db, KVI_TAG_GEO_HORIZONTAL_DATUM, KVI_RECORD_UINT16, 6326);
        addScalar<std::uint16_t>(db, KVI_TAG_IMAGE_HORIZONTAL_UNITS, KVI_RECORD_UINT16, 9001);
    }
    if (sources & kImg) {
        addText(db, "IMG::PROJECTION:NAME", "Plant grid");
        addText(db, "IMG::HORIZONTAL_UNITS", "feet");
    }
}

std::string derive(int sources) {
    KVIMetadataDatabase db;
    build(db, sources);
    KVIGeoCoord geo;
    bool found = false;
    EXPECT_EQ(deriveWktFromMetadata(db, geo, found), KV_OK);
    EXPECT_TRUE(found);
    return geo.getWKT() != nullptr ? geo.getWKT() : "";
}

const std::string kLocalWkt = "LOCAL_CS[\"Plant grid\",UNIT[\"feet\",0.304800609601219]]";

} // namespace

TEST(KVIWktDerivation, FirstSourceThatYieldsWins) {
    EXPECT_TRUE(sameSystem(derive(kGeoTiff | kEpsg | kImg), epsgWkt1(4326)));
    // GeoTIFF records of GDAL's unknown local system, or of a type no GeoKey has, yield nothing.
    EXPECT_TRUE(sameSystem(derive(kPlaceholder | kEpsg | kImg), epsgWkt1(32617)));
    EXPECT_TRUE(sameSystem(derive(kWrongType | kEpsg | kImg), epsgWkt1(32617)));
    // A code without the datum and units tags yields nothing either.
    EXPECT_TRUE(sameSystem(derive(kImg), kLocalWkt));
    EXPECT_EQ(derive(0), "");
}

TEST(KVIWktDerivation, StoredWktIsKept) {
    KVIMetadataDatabase db;
    build(db, kEpsg);
    addText(db, "IMAGE::WKT", "LOCAL_CS[\"stored\"]");
    KVIGeoCoord geo;
    bool found = false;
    EXPECT_EQ(deriveWktFromMetadata(db, geo, found), KV_OK);
    EXPECT_STREQ(geo.getWKT(), "LOCAL_CS[\"stored\"]");
}

TEST(KVIWktDerivation, ConcurrentCallsAreSerialisedAndAgree) {
    const int kinds[] = {kGeoTiff, kPlaceholder | kEpsg, kImg};
    std::string expected[3];
    for (int i = 0; i < 3; ++i)
        expected[i] = derive(kinds[i]);
    constexpr int kThreads = 6;
    std::vector<std::string> results(kThreads * 3);
    std::vector<std::thread> workers;
    {
        // The workers queue on the lock that this thread holds, then all run at once.
        const KVGdalLock held;
        ASSERT_EQ(held.getStatus(), KV_OK);
        for (int t = 0; t < kThreads; ++t)
            workers.emplace_back([&, t] {
                for (int i = 0; i < 3; ++i)
                    results[t * 3 + (i + t) % 3] = derive(kinds[(i + t) % 3]);
            });
        // One process-wide mutex, which its holder may take again.
        EXPECT_EQ(KVGdalLock::getMutex().lock(), KV_OK);
        EXPECT_EQ(KVGdalLock::getMutex().unlock(), KV_OK);
    }
    for (std::thread& worker : workers)
        worker.join();
    for (int i = 0; i < kThreads * 3; ++i)
        EXPECT_EQ(results[i], expected[i % 3]) << i;
}
