#include "crs/gdal/KVGdalConversions.h"
#include "crs/gdal/KVGdalSpatialReference.h"
#include "crs/gdal/KVNumericLocaleScope.h"

namespace Korvel::gdal {

KVStatus epsgToWkt(std::uint16_t code, std::string& wkt) {
    KVStatus status = checkGdalData();
    if (status != KV_OK) return status;
    const KVNumericLocaleScope locale;
    if (locale.getStatus() != KV_OK) return locale.getStatus();
    const KVGdalSpatialReference srs;
    if (srs.get() == nullptr) return KV_OUT_OF_MEMORY;
    if (OSRImportFromEPSG(srs.get(), code) != OGRERR_NONE) return KV_EPSG_NO_WKT;
    if (OSRValidate(srs.get()) != OGRERR_NONE) return KV_EPSG_NO_WKT;
    status = srs.exportWkt(wkt);
    return status == KV_FAILURE ? KV_EPSG_NO_WKT : status;
}

} // namespace Korvel::gdal
