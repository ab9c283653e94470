#include "crs/KVIImgProjection.h"
#include "crs/gdal/KVGdalConversions.h"
#include "crs/gdal/KVGdalSpatialReference.h"
#include "crs/gdal/KVNumericLocaleScope.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string_view>

namespace Korvel::gdal {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kDefaultSemiMajor = 6378137.0;
constexpr double kDefaultSemiMinor = 6356752.3;
constexpr const char* kUnnamed = "unnamed";
constexpr const char* kUnknownUnits = "unknown";

struct LinearUnit {
    std::string_view name;
    double metres;
};

// Metres per unit by name, compared without regard to case. The "miles" rows keep 1304.544,
// the factor that files of this format have always been read with.
constexpr LinearUnit kLinearUnits[] = {
    {"meters", 1.0},
    {"meter", 1.0},
    {"m", 1.0},
    {"centimeters", 0.01},
    {"centimeter", 0.01},
    {"cm", 0.01},
    {"millimeters", 0.001},
    {"millimeter", 0.001},
    {"mm", 0.001},
    {"kilometers", 1000.0},
    {"kilometer", 1000.0},
    {"km", 1000.0},
    {"us_survey_feet", 0.3048006096012192},
    {"us_survey_foot", 0.3048006096012192},
    {"feet", 0.3048006096012192},
    {"foot", 0.3048006096012192},
    {"ft", 0.3048006096012192},
    {"international_feet", 0.3048},
    {"international_foot", 0.3048},
    {"inches", 0.0254000508001},
    {"inch", 0.0254000508001},
    {"in", 0.0254000508001},
    {"yards", 0.9144},
    {"yard", 0.9144},
    {"yd", 0.9144},
    {"miles", 1304.544},
    {"mile", 1304.544},
    {"mi", 1304.544},
    {"modified_american_feet", 0.304812253},
    {"modified_american_foot", 0.304812253},
    {"clarke_feet", 0.3047972651},
    {"clarke_foot", 0.3047972651},
    {"indian_feet", 0.3047995142},
    {"indian_foot", 0.3047995142},
};

struct StatePlaneZone {
    std::uint32_t code;   // as OSRSetStatePlaneWithUnits numbers the zone
    std::uint32_t stored; // as IMG::PROJECTION:ZONE holds it
};

// Searched in this order by stored number; the first match wins.
constexpr StatePlaneZone kStatePlaneZones[] = {
    {101, 3101},  {102, 3126},  {201, 3151},  {202, 3176},  {203, 3201},  {301, 3226},
    {302, 3251},  {401, 3276},  {402, 3301},  {403, 3326},  {404, 3351},  {405, 3376},
    {406, 3401},  {407, 3426},  {501, 3451},  {502, 3476},  {503, 3501},  {600, 3526},
    {700, 3551},  {901, 3601},  {902, 3626},  {903, 3576},  {1001, 3651}, {1002, 3676},
    {1101, 3701}, {1102, 3726}, {1103, 3751}, {1201, 3776}, {1202, 3801}, {1301, 3826},
    {1302, 3851}, {1401, 3876}, {1402, 3901}, {1501, 3926}, {1502, 3951}, {1601, 3976},
    {1602, 4001}, {1701, 4026}, {1702, 4051}, {1703, 6426}, {1801, 4076}, {1802, 4101},
    {1900, 4126}, {2001, 4151}, {2002, 4176}, {2101, 4201}, {2102, 4226}, {2103, 4251},
    {2111, 6351}, {2112, 6376}, {2113, 6401}, {2201, 4276}, {2202, 4301}, {2203, 4326},
    {2301, 4351}, {2302, 4376}, {2401, 4401}, {2402, 4426}, {2403, 4451}, {2500, 0},
    {2501, 4476}, {2502, 4501}, {2503, 4526}, {2600, 0},    {2601, 4551}, {2602, 4576},
    {2701, 4601}, {2702, 4626}, {2703, 4651}, {2800, 4676}, {2900, 4701}, {3001, 4726},
    {3002, 4751}, {3003, 4776}, {3101, 4801}, {3102, 4826}, {3103, 4851}, {3104, 4876},
    {3200, 4901}, {3301, 4926}, {3302, 4951}, {3401, 4976}, {3402, 5001}, {3501, 5026},
    {3502, 5051}, {3601, 5076}, {3602, 5101}, {3701, 5126}, {3702, 5151}, {3800, 5176},
    {3900, 0},    {3901, 5201}, {3902, 5226}, {4001, 5251}, {4002, 5276}, {4100, 5301},
    {4201, 5326}, {4202, 5351}, {4203, 5376}, {4204, 5401}, {4205, 5426}, {4301, 5451},
    {4302, 5476}, {4303, 5501}, {4400, 5526}, {4501, 5551}, {4502, 5576}, {4601, 5601},
    {4602, 5626}, {4701, 5651}, {4702, 5676}, {4801, 5701}, {4802, 5726}, {4803, 5751},
    {4901, 5776}, {4902, 5801}, {4903, 5826}, {4904, 5851}, {5001, 6101}, {5002, 6126},
    {5003, 6151}, {5004, 6176}, {5005, 6201}, {5006, 6226}, {5007, 6251}, {5008, 6276},
    {5009, 6301}, {5010, 6326}, {5101, 5876}, {5102, 5901}, {5103, 5926}, {5104, 5951},
    {5105, 5976}, {5201, 6001}, {5200, 6026}, {5200, 6076}, {5201, 6051}, {5202, 6051},
    {5300, 0},    {5400, 0},
};

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

double unitsFactor(std::string_view name) {
    for (const LinearUnit& unit : kLinearUnits) {
        if (unit.name.size() == name.size() &&
            std::equal(name.begin(), name.end(), unit.name.begin(),
                       [](char a, char b) { return lowerAscii(a) == b; }))
            return unit.metres;
    }
    return 1.0;
}

int statePlaneZoneCode(std::int32_t stored) {
    for (const StatePlaneZone& zone : kStatePlaneZones)
        if (static_cast<std::int64_t>(zone.stored) == stored) return static_cast<int>(zone.code);
    return 0;
}

const char* nameOr(const std::string& name, const char* fallback) {
    return name.empty() ? fallback : name.c_str();
}

// Projection numbers whose system is local.
bool isLocalProjection(std::uint32_t number) {
    return number == 15 || number > 20;
}

double degrees(double radians) {
    return radians * kDegreesPerRadian;
}

// Sets the projection of the record's number. fromDefinition tells that the system came whole,
// datum included, from GDAL's definition of a state-plane zone.
void setProjection(OGRSpatialReferenceH srs, const KVIImgProjectionRecord& projection,
                   double semiMajor, bool& fromDefinition) {
    const auto& p = projection.parameters;
    const double fe = p[6];
    const double fn = p[7];
    switch (projection.number) {
    case 0:
        break;
    case 1:
        OSRSetUTM(srs, projection.zone, p[3] >= 0.0);
        break;
    case 2: {
        const bool nad83 = std::fabs(semiMajor - kDefaultSemiMajor) < 1.0;
        char* current = nullptr;
        const double factor = OSRGetLinearUnits(srs, &current);
        const std::string units = current != nullptr ? current : "";
        fromDefinition = OSRSetStatePlaneWithUnits(srs, statePlaneZoneCode(projection.zone), nad83,
                                                   units.c_str(), factor) == OGRERR_NONE;
        break;
    }
    case 3:
        OSRSetACEA(srs, degrees(p[2]), degrees(p[3]), degrees(p[5]), degrees(p[4]), fe, fn);
        break;
    case 4:
        OSRSetLCC(srs, degrees(p[2]), degrees(p[3]), degrees(p[5]), degrees(p[4]), fe, fn);
        break;
    case 5:
        OSRSetMercator(srs, degrees(p[5]), degrees(p[4]), 1.0, fe, fn);
        break;
    case 6:
        OSRSetPS(srs, degrees(p[5]), degrees(p[4]), 1.0, fe, fn);
        break;
    case 7:
        OSRSetPolyconic(srs, degrees(p[5]), degrees(p[4]), fe, fn);
        break;
    case 8:
        OSRSetEC(srs, degrees(p[2]), degrees(p[8] == 0.0 ? p[2] : p[3]), degrees(p[5]),
                 degrees(p[4]), fe, fn);
        break;
    case 9:
        OSRSetTM(srs, degrees(p[5]), degrees(p[4]), p[2], fe, fn);
        break;
    case 10:
        OSRSetStereographic(srs, degrees(p[5]), degrees(p[4]), 1.0, fe, fn);
        break;
    case 11:
        OSRSetLAEA(srs, degrees(p[5]), degrees(p[4]), fe, fn);
        break;
    case 12:
        OSRSetAE(srs, degrees(p[5]), degrees(p[4]), fe, fn);
        break;
    case 13:
        OSRSetGnomonic(srs, degrees(p[5]), degrees(p[4]), fe, fn);
        break;
    case 14:
        OSRSetOrthographic(srs, degrees(p[5]), degrees(p[4]), fe, fn);
        break;
    case 16:
        OSRSetSinusoidal(srs, degrees(p[4]), fe, fn);
        break;
    case 17:
        OSRSetEquirectangular(srs, degrees(p[5]), degrees(p[4]), fe, fn);
        break;
    case 18:
        OSRSetMC(srs, 0.0, degrees(p[4]), fe, fn);
        break;
    case 19:
        OSRSetVDG(srs, degrees(p[4]), fe, fn);
        break;
    case 20:
        // Without its scale the oblique projection is left undefined.
        if (p[12] > 0.0)
            OSRSetHOM(srs, degrees(p[5]), degrees(p[4]), degrees(p[3]), 0.0, p[2], fe, fn);
        break;
    default: // 15 and above 20: a local system
        OSRSetLocalCS(srs, nameOr(projection.name, kUnnamed));
        break;
    }
}

} // namespace

KVStatus imgProjectionToWkt(const KVIImgProjectionRecord* projection, const KVIImgMapRecord& map,
                            std::string& wkt) {
    try {
        const KVStatus status = checkGdalData();
        if (status != KV_OK) return status;
        const KVNumericLocaleScope locale;
        if (locale.getStatus() != KV_OK) return locale.getStatus();
        const KVGdalSpatialReference reference;
        const OGRSpatialReferenceH srs = reference.get();
        if (srs == nullptr) return KV_OUT_OF_MEMORY;

        // The kind of system: local, projected, or (number 0) geographic from the spheroid.
        if (projection == nullptr)
            OSRSetLocalCS(srs, nameOr(map.projectionName, kUnnamed));
        else if (projection->internal || isLocalProjection(projection->number))
            OSRSetLocalCS(srs, nameOr(projection->name, kUnnamed));
        else if (projection->number != 0)
            OSRSetProjCS(srs, nameOr(projection->name, kUnnamed));
        if (OSRIsProjected(srs) || OSRIsLocal(srs))
            OSRSetLinearUnits(srs, nameOr(map.unitsName, kUnknownUnits),
                              unitsFactor(map.unitsName));

        if (projection == nullptr) {
            if (!OSRIsLocal(srs)) return KV_FAILURE;
            return reference.exportWkt(wkt);
        }

        const double a = projection->semiMajor == 0.0 ? kDefaultSemiMajor : projection->semiMajor;
        const double b = projection->semiMinor == 0.0 ? kDefaultSemiMinor : projection->semiMinor;
        // A sphere has no flattening; GDAL writes its inverse as 0.
        const double inverseFlattening = a == b ? 0.0 : 1.0 / (1.0 - b / a);
        bool fromDefinition = false;
        setProjection(srs, *projection, a, fromDefinition);

        // GDAL's projection setters supply a stand-in geographic system; the records' spheroid
        // replaces it, except in a state-plane zone that GDAL defined whole.
        if (!OSRIsLocal(srs) && !fromDefinition) {
            const char* spheroid = projection->spheroidName.c_str();
            OSRSetGeogCS(srs, spheroid, spheroid, spheroid, a, inverseFlattening, nullptr, 0.0,
                         nullptr, 0.0);
        }
        return reference.exportWkt(wkt);
    } catch (const std::bad_alloc&) {
        return KV_OUT_OF_MEMORY;
    }
}

} // namespace Korvel::gdal
