#include "crs/KVIImgProjection.h"

#include "crs/KVCrsLibrary.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "support/KVStatusGuard.h"

#include <algorithm>

namespace Korvel {

namespace {

std::string readText(const KVIMetadataAccessor& accessor, std::uint32_t tag) {
    const char* text = nullptr;
    if (accessor.getString(tag, text) != KV_OK || text == nullptr) return {};
    return text;
}

} // namespace

KVStatus imgProjectionToWkt(const KVIImgProjectionRecord* projection, const KVIImgMapRecord& map,
                            std::string& wkt) {
    return callCrsLibrary(
        [&](const KVCrsEntryPoints& crs) { return crs.imgProjectionToWkt(projection, map, wkt); });
}

KVStatus imgTagsToWkt(const KVIMetadataDatabase& metadata, std::string& wkt) {
    return kvGuard([&] {
        const KVIMetadataAccessor accessor(metadata);
        KVIImgMapRecord map;
        map.projectionName = readText(accessor, KVI_TAG_IMG_PROJECTION_NAME);
        map.unitsName = readText(accessor, KVI_TAG_IMG_HORIZONTAL_UNITS);
        if (!metadata.has(KVI_TAG_IMG_PROJECTION_TYPE))
            return imgProjectionToWkt(nullptr, map, wkt);

        KVIImgProjectionRecord projection;
        projection.internal = readText(accessor, KVI_TAG_IMG_PROJECTION_TYPE) == "Internal";
        std::uint16_t value = 0;
        if (accessor.getUint16(KVI_TAG_IMG_PROJECTION_NUMBER, value) == KV_OK)
            projection.number = value;
        value = 0;
        if (accessor.getUint16(KVI_TAG_IMG_PROJECTION_ZONE, value) == KV_OK)
            projection.zone = value;
        projection.name = map.projectionName;
        const double* parameters = nullptr;
        std::uint32_t count = 0;
        if (accessor.getDoubleVector(KVI_TAG_IMG_PROJECTION_PARAMETERS, parameters, count) ==
                KV_OK &&
            parameters != nullptr) {
            const std::uint32_t used = std::min<std::uint32_t>(count, projection.parameters.size());
            std::copy(parameters, parameters + used, projection.parameters.begin());
        }
        projection.spheroidName = readText(accessor, KVI_TAG_IMG_SPHEROID_NAME);
        accessor.getDouble(KVI_TAG_IMG_SPHEROID_SEMI_MAJOR_AXIS, projection.semiMajor);
        accessor.getDouble(KVI_TAG_IMG_SPHEROID_SEMI_MINOR_AXIS, projection.semiMinor);
        accessor.getDouble(KVI_TAG_IMG_SPHEROID_ECCENTRICITY_SQUARED,
                           projection.eccentricitySquared);
        accessor.getDouble(KVI_TAG_IMG_SPHEROID_RADIUS, projection.radius);
        return imgProjectionToWkt(&projection, map, wkt);
    });
}

} // namespace Korvel
