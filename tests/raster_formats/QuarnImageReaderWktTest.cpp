// The reader front derives the coordinate system of a georeferenced image from its metadata
// through the coordinate-system library, as GDAL itself gives it, in each generation and from
// each kind of record.

#include "ClassicalMetadataWriter.h"
#include "QG2FileWriter.h"
#include "QuarnImageReader.h"
#include "RasterFileWriter.h"
#include "TestStreams.h"
#include "support/KVIRef.h"

#include <cpl_conv.h>
#include <ogr_srs_api.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace Korvel;
using namespace quarn_test;

namespace {

// GDAL's own WKT1 text of the system that define() sets.
std::string gdalWkt1(const std::function<OGRErr(OGRSpatialReferenceH)>& define) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    char* text = nullptr;
    const char* const options[] = {"FORMAT=WKT1", nullptr};
    EXPECT_EQ(define(srs), OGRERR_NONE);
    EXPECT_EQ(OSRExportToWktEx(srs, &text, options), OGRERR_NONE);
    std::string wkt = text != nullptr ? text : "";
    CPLFree(text);
    OSRDestroySpatialReference(srs);
    return wkt;
}

// What `gdalsrsinfo -o wkt1 EPSG:code` prints.
std::string gdalWkt1(int code) {
    return gdalWkt1([code](OGRSpatialReferenceH srs) { return OSRImportFromEPSG(srs, code); });
}

// A placement and the records of one source.
Bytes block(const std::function<void(ClassicalMetadataWriter&)>& records) {
    ClassicalMetadataWriter writer;
    writer.vector("IMAGE::XY_ORIGIN", cm::F64, std::vector<double>{500000.0, 4000000.0})
        .scalar("IMAGE::X_RESOLUTION", cm::F64, 10.0)
        .scalar("IMAGE::Y_RESOLUTION", cm::F64, 10.0);
    records(writer);
    return writer.eom().bytes();
}

Bytes rasterWith(const Version& version, const Bytes& metadata) {
    HeaderBody b;
    b.width = 24;
    b.height = 16;
    b.numLevels = 1;
    b.dataType = 5;
    return singleImageFile(version, b, {metadataPacket(1, 0, 1, metadata)}, 16);
}

Bytes qg2With(const Bytes& metadata) {
    QG2FileLayout layout;
    layout.width = 24;
    layout.height = 16;
    layout.levels = 1;
    layout.subbands.assign(4, std::nullopt);
    layout.d0 = true;
    layout.metadata = {0xFF, 0xD1};
    layout.metadata.insert(layout.metadata.end(), metadata.begin(), metadata.end());
    return writeQG2File(layout).bytes;
}

std::string wktOf(Bytes file) {
    VectorStream stream(std::move(file), false);
    const KVIRef<QuarnImageReader> reader(QuarnImageReader::create());
    EXPECT_EQ(reader->initialize(&stream, nullptr, 1, 3), KV_OK);
    const KVIGeoCoord geo = reader->getGeoCoord();
    EXPECT_EQ(geo.getX(), 500000.0);
    return geo.getWKT() != nullptr ? geo.getWKT() : "";
}

} // namespace

TEST(QuarnImageReaderWkt, GeoreferencedImagesCarryGdalsSystem) {
    const struct {
        const char* source;
        Bytes metadata;
        std::string expected;
    } cases[] = {
        {"EPSG code", block([](auto& w) {
             w.scalar("GEO::ProjectedCSTypeGeoKey", cm::U16, std::uint16_t{32633})
                 .scalar("GEO::HORIZONTAL_DATUM", cm::U16, std::uint16_t{6326})
                 .scalar("IMAGE::HORIZONTAL_UNITS", cm::U16, std::uint16_t{9001});
         }),
         gdalWkt1(32633)},
        {"GeoTIFF keys", block([](auto& w) {
             w.vector("GEOTIFF_NUM::1024::GTModelTypeGeoKey", cm::U16,
                      std::vector<std::uint16_t>{1})
                 .vector("GEOTIFF_NUM::3072", cm::U16, std::vector<std::uint16_t>{32617});
         }),
         gdalWkt1(32617)},
        {"IMG:: records", block([](auto& w) {
             w.texts("IMG::PROJECTION:NAME", {"Plant grid"}, {})
                 .texts("IMG::HORIZONTAL_UNITS", {"feet"}, {});
         }),
         gdalWkt1([](OGRSpatialReferenceH srs) {
             OSRSetLocalCS(srs, "Plant grid");
             return OSRSetLinearUnits(srs, "feet", 0.3048006096012192);
         })},
        {"no source", block([](auto&) {}), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wktOf(rasterWith(kGen3Version, c.metadata)), c.expected) << c.source;
        EXPECT_EQ(wktOf(rasterWith(kGen4Version, c.metadata)), c.expected) << c.source;
        EXPECT_EQ(wktOf(qg2With(c.metadata)), c.expected) << c.source;
    }
}
