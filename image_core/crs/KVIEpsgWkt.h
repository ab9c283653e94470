#pragma once
// Coordinate-system text from an EPSG code, looked up in GDAL's database (through the
// coordinate-system library: KV_NOT_AVAILABLE when it cannot be loaded).

#include "support/KVStatus.h"

#include <cstdint>
#include <string>

namespace Korvel {

class KVIMetadataDatabase;

// The WKT1 text of an EPSG coordinate system. KV_EPSG_NO_WKT when GDAL does not know the code
// or gives no valid system for it; KV_GDAL_DATA_MISSING, KV_LOCALE_NOT_SET, KV_OUT_OF_MEMORY.
KVStatus epsgToWkt(std::uint16_t code, std::string& wkt);

// The text of the EPSG code in tag GEO::ProjectedCSTypeGeoKey, derived only when that tag,
// GEO::HORIZONTAL_DATUM and IMAGE::HORIZONTAL_UNITS are all u16 scalars (the first failing
// read is returned otherwise).
KVStatus geoTagsToWkt(const KVIMetadataDatabase& metadata, std::string& wkt);

} // namespace Korvel
