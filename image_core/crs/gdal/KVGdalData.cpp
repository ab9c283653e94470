#include "crs/gdal/KVGdalConversions.h"

#include <cpl_conv.h>
#include <cpl_vsi.h>

namespace Korvel::gdal {

namespace {

// A data file that the spatial-reference interface itself needs.
constexpr const char* kProbeFile = "stateplane.csv";

} // namespace

KVStatus checkGdalData() {
    const char* folder = CPLGetConfigOption("GDAL_DATA", nullptr);
    if (folder != nullptr) {
        VSIStatBufL info;
        if (VSIStatL(folder, &info) != 0 || !VSI_ISDIR(info.st_mode)) return KV_GDAL_DATA_MISSING;
        return KV_OK;
    }
    return CPLFindFile("gdal", kProbeFile) != nullptr ? KV_OK : KV_GDAL_DATA_MISSING;
}

} // namespace Korvel::gdal
