#pragma once
// Coordinate-system text from the GeoTIFF records of an image's metadata, read back through
// libgeotiff and GDAL as a GeoTIFF reader would read them from a file (in the coordinate-system
// library: KV_NOT_AVAILABLE when it cannot be loaded).

#include "support/KVStatus.h"

#include <string>

namespace Korvel {

class KVIGeoTiffTagDirectory;
class KVIMetadataDatabase;

// Gathers the GeoKeys of the records "GEOTIFF_NUM::<key>..." and "GEO::ModelTypeGeoKey",
// "GEO::ProjectedCSTypeGeoKey", "GEO::PCSCitationGeoKey" (or, without any, the keys of the WKT
// in IMAGE::WKT) with the model placement, and converts them. KV_OK with an empty wkt when the
// keys describe only GDAL's placeholder for an unknown local system. KV_FAILURE when no system
// comes back, when a record is of a type that no GeoKey has (only u16, s16, double and text
// are), or when its values do not fit a GeoKey; KV_GDAL_DATA_MISSING, KV_OUT_OF_MEMORY.
KVStatus geoTiffKeysToWkt(const KVIMetadataDatabase& metadata, std::string& wkt);

// The tags that geoTiffKeysToWkt converts: the model placement (tie point and pixel scale, or
// the transformation of a rotated image) and the GeoKeys, each SHORT key held in its entry with
// count 1. Statuses as above.
KVStatus gatherGeoTiffTags(const KVIMetadataDatabase& metadata, KVIGeoTiffTagDirectory& directory);

// Writes the GeoKeys of a WKT text into the directory (tags 34735, 34736 and 34737), beside the
// tags it holds. KV_FAILURE when libgeotiff and GDAL cannot express the text as keys.
KVStatus wktToGeoTiffKeys(const char* wkt, KVIGeoTiffTagDirectory& directory);

} // namespace Korvel
