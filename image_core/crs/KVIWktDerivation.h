#pragma once
// Derives the coordinate-system text of an image's geo coordinate from its metadata, trying in
// order its GeoTIFF records, its EPSG-coded geo tags and its IMG:: projection records.

#include "support/KVStatus.h"

namespace Korvel {

class KVIGeoCoord;
class KVIMetadataDatabase;

// Reads the geo coordinate from the metadata (its status is returned; found tells whether there
// was one). When it has no WKT, the first source that yields a text sets it; a source that
// fails is passed over, and with none the coordinate stays without WKT. KV_OUT_OF_MEMORY when
// the text cannot be kept, else KV_OK.
KVStatus deriveWktFromMetadata(const KVIMetadataDatabase& metadata, KVIGeoCoord& geo, bool& found);

// A record named "GEOTIFF_NUM::..." or "GEOTIFF_CHAR::...".
bool hasGeoTiffKeys(const KVIMetadataDatabase& metadata);
// GEO::ProjectedCSTypeGeoKey, GEO::HORIZONTAL_DATUM or IMAGE::HORIZONTAL_UNITS.
bool hasGeoTags(const KVIMetadataDatabase& metadata);
// IMG::PROJECTION:NAME with IMG::HORIZONTAL_UNITS, or the full set of projection and spheroid
// records.
bool hasImgProjectionTags(const KVIMetadataDatabase& metadata);

} // namespace Korvel
