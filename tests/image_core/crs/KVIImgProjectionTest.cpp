#include "crs/KVIImgProjection.h"
#include "GdalOracle.h"

#include <string>

using namespace Korvel;
using namespace wkt_test;

namespace {

constexpr double kFeet = 0.3048006096012192;
constexpr double kDeg = 57.29577951308232;

KVIImgProjectionRecord clarke1866(std::uint32_t number) {
    KVIImgProjectionRecord p;
    p.number = number;
    p.name = "Test projection";
    p.spheroidName = "Clarke 1866";
    p.semiMajor = 6378206.4;
    p.semiMinor = 6356583.8;
    return p;
}

// The system GDAL reads back from the text made of the records.
Srs convert(const KVIImgProjectionRecord* p, const char* units = "meters") {
    std::string wkt;
    EXPECT_EQ(imgProjectionToWkt(p, KVIImgMapRecord{"Map projection", units}, wkt), KV_OK);
    return importWkt(wkt);
}

std::string attr(const Srs& srs, const char* node) {
    const char* value = srs != nullptr ? OSRGetAttrValue(srs.get(), node, 0) : nullptr;
    return value != nullptr ? value : "";
}

} // namespace

TEST(KVIImgProjection, ParametersLandWhereGdalReportsThem) {
    struct Case {
        std::uint32_t number;
        const char* method;
        std::vector<std::pair<const char*, double>> expected;
    };
    // P[2] = 0.5, P[3] = 0.75, P[4] = -1.5, P[5] = 0.25 (radians), FE 1000 m, FN 2000 m, P[8] 0.
    // clang-format off
    const Case cases[] = {
        {3, "Albers_Conic_Equal_Area", {{SRS_PP_STANDARD_PARALLEL_1, 0.5 * kDeg}, {SRS_PP_STANDARD_PARALLEL_2, 0.75 * kDeg}, {SRS_PP_LATITUDE_OF_CENTER, 0.25 * kDeg}, {SRS_PP_LONGITUDE_OF_CENTER, -1.5 * kDeg}}},
        {8, "Equidistant_Conic", {{SRS_PP_STANDARD_PARALLEL_1, 0.5 * kDeg}, {SRS_PP_STANDARD_PARALLEL_2, 0.5 * kDeg}, {SRS_PP_LATITUDE_OF_CENTER, 0.25 * kDeg}}},
        {9, "Transverse_Mercator", {{SRS_PP_SCALE_FACTOR, 0.5}, {SRS_PP_LATITUDE_OF_ORIGIN, 0.25 * kDeg}, {SRS_PP_CENTRAL_MERIDIAN, -1.5 * kDeg}}},
        {16, "Sinusoidal", {{SRS_PP_LONGITUDE_OF_CENTER, -1.5 * kDeg}}},
        {20, "Hotine_Oblique_Mercator", {{SRS_PP_AZIMUTH, 0.75 * kDeg}, {SRS_PP_SCALE_FACTOR, 0.5}, {SRS_PP_LONGITUDE_OF_CENTER, -1.5 * kDeg}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        KVIImgProjectionRecord p = clarke1866(c.number);
        p.parameters = {0, 0, 0.5, 0.75, -1.5, 0.25, 1000.0, 2000.0, 0, 0, 0, 0, 1.0, 0, 0};
        const Srs srs = convert(&p, "FEET");
        ASSERT_NE(srs, nullptr);
        EXPECT_EQ(attr(srs, "PROJECTION"), c.method);
        for (const auto& [name, value] : c.expected)
            EXPECT_NEAR(OSRGetProjParm(srs.get(), name, -999, nullptr), value, 1e-9) << name;
        // The false origin is given in metres and reported in the records' units.
        EXPECT_NEAR(OSRGetProjParm(srs.get(), SRS_PP_FALSE_EASTING, 0, nullptr), 1000.0 / kFeet,
                    1e-6);
        EXPECT_NEAR(OSRGetProjParm(srs.get(), SRS_PP_FALSE_NORTHING, 0, nullptr), 2000.0 / kFeet,
                    1e-6);
        EXPECT_EQ(attr(srs, "UNIT"), "FEET");
        // The records' spheroid, not GDAL's stand-in.
        EXPECT_EQ(attr(srs, "SPHEROID"), "Clarke 1866");
        EXPECT_NEAR(OSRGetInvFlattening(srs.get(), nullptr), 1.0 / (1.0 - 6356583.8 / 6378206.4),
                    1e-9);
    }
}

TEST(KVIImgProjection, UtmZoneUnitsAndSphere) {
    KVIImgProjectionRecord p = clarke1866(1);
    p.zone = 17;
    p.parameters[3] = -1.0;
    int north = -1;
    EXPECT_EQ(OSRGetUTMZone(convert(&p).get(), &north), 17);
    EXPECT_EQ(north, 0);

    for (const auto& [name, factor] : {std::pair{"MiLeS", 1304.544}, {"furlong", 1.0}}) {
        const Srs srs = convert(&p, name);
        char* unit = nullptr;
        EXPECT_EQ(OSRGetLinearUnits(srs.get(), &unit), factor) << name;
        EXPECT_STREQ(unit, name);
    }

    p = clarke1866(0); // geographic
    p.semiMajor = p.semiMinor = 6371000.0;
    const Srs sphere = convert(&p);
    EXPECT_TRUE(OSRIsGeographic(sphere.get()));
    EXPECT_EQ(OSRGetInvFlattening(sphere.get(), nullptr), 0.0);
}

TEST(KVIImgProjection, StatePlaneZonesAndDatums) {
    struct Case {
        std::int32_t stored;
        double semiMajor;
        const char* units;
        int epsg;
    };
    const Case cases[] = {
        {3101, 6378137.0, "meters", 26929},         // Alabama East, NAD83
        {3101, 6378206.4, "us_survey_feet", 26729}, // NAD27
        {0, 0.0, "meters", 32100},                  // first row storing 0: Montana, NAD83
        {6051, 6378206.4, "us_survey_feet", 3991},  // first row storing 6051: zone 5201
    };
    for (const Case& c : cases) {
        KVIImgProjectionRecord p = clarke1866(2);
        p.zone = c.stored;
        p.semiMajor = c.semiMajor;
        std::string wkt;
        ASSERT_EQ(imgProjectionToWkt(&p, KVIImgMapRecord{"x", c.units}, wkt), KV_OK);
        EXPECT_TRUE(sameSystem(wkt, epsgWkt1(c.epsg))) << c.stored << ": " << wkt;
    }
    // A zone in no row is zone 0, which GDAL leaves a local system of that name.
    KVIImgProjectionRecord p = clarke1866(2);
    p.zone = 3102;
    p.semiMajor = 6378137.0;
    EXPECT_EQ(attr(convert(&p), "LOCAL_CS"), "State Plane Zone 0 / NAD83");
}

TEST(KVIImgProjection, LocalSystems) {
    const Srs none = convert(nullptr, "feet");
    EXPECT_EQ(attr(none, "LOCAL_CS"), "Map projection");
    EXPECT_NEAR(OSRGetLinearUnits(none.get(), nullptr), kFeet, 1e-15);
    for (const std::uint32_t number : {15u, 21u}) {
        const KVIImgProjectionRecord p = clarke1866(number);
        EXPECT_EQ(attr(convert(&p), "LOCAL_CS"), "Test projection") << number;
    }
    KVIImgProjectionRecord internal = clarke1866(0);
    internal.internal = true;
    EXPECT_TRUE(OSRIsLocal(convert(&internal).get()));
    // Oblique Mercator without its scale (P[12] = 0) gets no projection.
    const Srs oblique = convert(&(internal = clarke1866(20)));
    EXPECT_TRUE(OSRIsProjected(oblique.get()));
    EXPECT_NE(attr(oblique, "PROJECTION"), "Hotine_Oblique_Mercator");
}

TEST(KVIImgProjection, RecordsAreReadFromMetadata) {
    KVIMetadataDatabase db;
    addText(db, "IMG::PROJECTION:NAME", "Transverse Mercator");
    addText(db, "IMG::HORIZONTAL_UNITS", "meters");
    addText(db, "IMG::PROJECTION:TYPE", "External");
    addScalar<std::uint16_t>(db, KVI_TAG_IMG_PROJECTION_NUMBER, KVI_RECORD_UINT16, 9);
    std::vector<double> parameters(20, 0.0); // more than the 15 that count
    parameters[2] = 0.9996;
    parameters[4] = 0.1;
    parameters[6] = 500000.0;
    addVector(db, "IMG::PROJECTION:PARAMETERS", KVI_RECORD_FLOAT64, parameters);
    addText(db, "IMG::SPHEROID:NAME", "GRS 1980");
    std::string wkt;
    ASSERT_EQ(imgTagsToWkt(db, wkt), KV_OK);
    const Srs srs = importWkt(wkt);
    EXPECT_EQ(attr(srs, "PROJCS"), "Transverse Mercator");
    EXPECT_EQ(attr(srs, "SPHEROID"), "GRS 1980");
    EXPECT_EQ(OSRGetSemiMajor(srs.get(), nullptr), 6378137.0); // absent axes take defaults
    EXPECT_EQ(OSRGetProjParm(srs.get(), SRS_PP_SCALE_FACTOR, 0, nullptr), 0.9996);
    EXPECT_NEAR(OSRGetProjParm(srs.get(), SRS_PP_CENTRAL_MERIDIAN, 0, nullptr), 0.1 * kDeg, 1e-9);
    EXPECT_EQ(OSRGetProjParm(srs.get(), SRS_PP_FALSE_EASTING, 0, nullptr), 500000.0);
}
