#pragma once
// The conversions of the coordinate-system library, behind its table of entry points. Each runs
// with the caller holding the GDAL lock, and reports as the function of the image core that
// forwards to it (crs/KVGdalData.h, crs/KVIEpsgWkt.h, crs/KVIImgProjection.h,
// crs/KVIGeoTiffWkt.h).

#include "support/KVStatus.h"

#include <cstdint>
#include <string>

namespace Korvel {

class KVIGeoTiffTagDirectory;
struct KVIImgMapRecord;
struct KVIImgProjectionRecord;

namespace gdal {

KVStatus checkGdalData();
KVStatus epsgToWkt(std::uint16_t code, std::string& wkt);
KVStatus imgProjectionToWkt(const KVIImgProjectionRecord* projection, const KVIImgMapRecord& map,
                            std::string& wkt);
KVStatus geoTiffTagsToWkt(KVIGeoTiffTagDirectory& directory, std::string& wkt);
KVStatus wktToGeoTiffKeys(const char* wkt, KVIGeoTiffTagDirectory& directory);

} // namespace gdal
} // namespace Korvel
