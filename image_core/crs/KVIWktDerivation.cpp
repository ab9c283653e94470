#include "crs/KVIWktDerivation.h"

#include "crs/KVIEpsgWkt.h"
#include "crs/KVIGeoTiffWkt.h"
#include "crs/KVIImgProjection.h"
#include "metadata/KVIMetadataDatabase.h"
#include "model/KVIGeoCoord.h"
#include "support/KVStatusGuard.h"
#include "support/KVUtilException.h"

#include <cstdint>
#include <new>
#include <string>
#include <string_view>

namespace Korvel {

namespace {

bool yields(KVStatus status, const std::string& wkt) {
    return status == KV_OK && !wkt.empty();
}

} // namespace

bool hasGeoTiffKeys(const KVIMetadataDatabase& metadata) {
    for (std::uint32_t i = 0; i < metadata.getCount(); ++i) {
        const KVIMetadataRecord* record = nullptr;
        if (metadata.getByIndex(i, record) != KV_OK || record == nullptr) continue;
        const std::string_view name(record->getName());
        if (name.starts_with("GEOTIFF_NUM::") || name.starts_with("GEOTIFF_CHAR::")) return true;
    }
    return false;
}

bool hasGeoTags(const KVIMetadataDatabase& metadata) {
    return metadata.has(KVI_TAG_GEO_PROJECTED_CS_TYPE_GEO_KEY) ||
           metadata.has(KVI_TAG_GEO_HORIZONTAL_DATUM) ||
           metadata.has(KVI_TAG_IMAGE_HORIZONTAL_UNITS);
}

bool hasImgProjectionTags(const KVIMetadataDatabase& metadata) {
    if (metadata.has(KVI_TAG_IMG_PROJECTION_NAME) && metadata.has(KVI_TAG_IMG_HORIZONTAL_UNITS))
        return true;
    const std::uint32_t full[] = {KVI_TAG_IMG_PROJECTION_TYPE,
                                  KVI_TAG_IMG_PROJECTION_NUMBER,
                                  KVI_TAG_IMG_PROJECTION_ZONE,
                                  KVI_TAG_IMG_PROJECTION_PARAMETERS,
                                  KVI_TAG_IMG_SPHEROID_NAME,
                                  KVI_TAG_IMG_SPHEROID_SEMI_MAJOR_AXIS,
                                  KVI_TAG_IMG_SPHEROID_SEMI_MINOR_AXIS,
                                  KVI_TAG_IMG_SPHEROID_ECCENTRICITY_SQUARED,
                                  KVI_TAG_IMG_SPHEROID_RADIUS};
    for (std::uint32_t tag : full)
        if (!metadata.has(tag)) return false;
    return true;
}

KVStatus deriveWktFromMetadata(const KVIMetadataDatabase& metadata, KVIGeoCoord& geo, bool& found) {
    found = false;
    KV_RETURN_IF_FAILED(geo.readFromMetadata(metadata, found));
    if (!found || geo.getWKT() != nullptr) return KV_OK;
    return kvGuard([&] {
        std::string wkt;
        const bool derived =
            (hasGeoTiffKeys(metadata) && yields(geoTiffKeysToWkt(metadata, wkt), wkt)) ||
            (hasGeoTags(metadata) && yields(geoTagsToWkt(metadata, wkt), wkt)) ||
            (hasImgProjectionTags(metadata) && yields(imgTagsToWkt(metadata, wkt), wkt));
        if (derived) geo.setWKT(wkt.c_str());
    });
}

} // namespace Korvel
