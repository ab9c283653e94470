#include "crs/KVIEpsgWkt.h"

#include "crs/KVCrsLibrary.h"
#include "metadata/KVIMetadataAccessor.h"

namespace Korvel {

KVStatus epsgToWkt(std::uint16_t code, std::string& wkt) {
    return callCrsLibrary([&](const KVCrsEntryPoints& crs) { return crs.epsgToWkt(code, wkt); });
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
