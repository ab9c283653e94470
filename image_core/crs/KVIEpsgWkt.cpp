#include "crs/KVIEpsgWkt.h"

#include "crs/KVGdalData.h"
#include "crs/KVGdalLock.h"
#include "crs/KVGdalSpatialReference.h"
#include "crs/KVNumericLocaleScope.h"
#include "metadata/KVIMetadataAccessor.h"

namespace Korvel {

KVStatus epsgToWkt(std::uint16_t code, std::string& wkt) {
    KVStatus status = checkGdalData();
    if (status != KV_OK) return status;
    KVGdalLock lock;
    if (lock.getStatus() != KV_OK) return lock.getStatus();
    const KVNumericLocaleScope locale;
    if (locale.getStatus() != KV_OK) return locale.getStatus();
    const KVGdalSpatialReference srs;
    if (srs.get() == nullptr) return KV_OUT_OF_MEMORY;
    if (OSRImportFromEPSG(srs.get(), code) != OGRERR_NONE) return KV_EPSG_NO_WKT;
    if (OSRValidate(srs.get()) != OGRERR_NONE) return KV_EPSG_NO_WKT;
    status = srs.exportWkt(wkt);
    return status == KV_FAILURE ? KV_EPSG_NO_WKT : status;
}

KVStatus geoTagsToWkt(const KVIMetadataDatabase& metadata, std::string& wkt) {
    const KVIMetadataAccessor accessor(metadata);
    std::uint16_t code = 0;
    std::uint16_t datum = 0;
    std::uint16_t units = 0;
    KVStatus status = accessor.getProjectedCSTypeGeoKey(code);
    if (status == KV_OK) status = accessor.getHorizontalDatum(datum);
    if (status == KV_OK) status = accessor.getHorizontalUnits(units);
    if (status != KV_OK) return status;
    // Datum and units only confirm that the tags were written together; the code says it all.
    return epsgToWkt(code, wkt);
}

} // namespace Korvel
