#pragma once
// Coordinate-system text from the IMG:: projection records of an image's metadata (converted by
// the coordinate-system library: KV_NOT_AVAILABLE when it cannot be loaded).

#include "support/KVStatus.h"

#include <array>
#include <cstdint>
#include <string>

namespace Korvel {

class KVIMetadataDatabase;

// The map information: IMG::PROJECTION:NAME and IMG::HORIZONTAL_UNITS.
struct KVIImgMapRecord {
    std::string projectionName;
    std::string unitsName;
};

// The projection records. Parameters are in radians where they are angles, in metres where
// they are distances.
struct KVIImgProjectionRecord {
    bool internal = false;               // IMG::PROJECTION:TYPE is "Internal"
    std::uint32_t number = 0;            // IMG::PROJECTION:NUMBER
    std::string name;                    // IMG::PROJECTION:NAME
    std::int32_t zone = 0;               // IMG::PROJECTION:ZONE
    std::array<double, 15> parameters{}; // IMG::PROJECTION:PARAMETERS, the rest 0
    std::string spheroidName;            // IMG::SPHEROID:NAME
    double semiMajor = 0.0;              // IMG::SPHEROID:SEMI_MAJOR_AXIS
    double semiMinor = 0.0;              // IMG::SPHEROID:SEMI_MINOR_AXIS
    double eccentricitySquared = 0.0;
    double radius = 0.0;
};

// Reads the map record and, when IMG::PROJECTION:TYPE exists, the projection record, and
// converts them. A record that is absent or of another type leaves its field 0 or empty.
KVStatus imgTagsToWkt(const KVIMetadataDatabase& metadata, std::string& wkt);

// The WKT1 text of the records: a local system without a projection record. An empty
// projection name is written "unnamed", an empty units name "unknown" (of one metre).
// KV_FAILURE when GDAL gives no text; KV_GDAL_DATA_MISSING, KV_LOCALE_NOT_SET,
// KV_OUT_OF_MEMORY.
KVStatus imgProjectionToWkt(const KVIImgProjectionRecord* projection, const KVIImgMapRecord& map,
                            std::string& wkt);

} // namespace Korvel
