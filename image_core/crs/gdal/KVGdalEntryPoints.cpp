// The table of entry points of the coordinate-system library, its one exported symbol.

#include "crs/KVCrsEntryPoints.h"
#include "crs/gdal/KVGdalConversions.h"

#include <cpl_error.h>

namespace Korvel::gdal {

namespace {

// GDAL's messages go to a quiet handler instead of stderr while an entry runs: failures reach
// callers only as statuses. GDAL keeps its handlers per thread, so the caller's thread, which
// holds the GDAL lock, pushes and pops its own.
class QuietErrors {
public:
    QuietErrors() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietErrors() { CPLPopErrorHandler(); }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;
};

// Each entry: the conversion, quietly.
template <auto Conversion, typename... Args> KVStatus quietly(Args... args) {
    const QuietErrors quiet;
    return Conversion(args...);
}

constexpr KVCrsEntryPoints kEntryPoints{
    KV_CRS_ENTRY_POINTS_VERSION,
    sizeof(KVCrsEntryPoints),
    &quietly<&checkGdalData>,
    &quietly<&epsgToWkt, std::uint16_t, std::string&>,
    &quietly<&imgProjectionToWkt, const KVIImgProjectionRecord*, const KVIImgMapRecord&,
             std::string&>,
    &quietly<&geoTiffTagsToWkt, KVIGeoTiffTagDirectory&, std::string&>,
    &quietly<&wktToGeoTiffKeys, const char*, KVIGeoTiffTagDirectory&>,
};

} // namespace

} // namespace Korvel::gdal

extern "C" __attribute__((visibility("default"))) const Korvel::KVCrsEntryPoints*
kvCrsEntryPoints() {
    return &Korvel::gdal::kEntryPoints;
}
