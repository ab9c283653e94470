#pragma once
// Whether GDAL can find its data files, which its spatial-reference interface reads (the
// state-plane table among them).

#include "support/KVStatus.h"

namespace Korvel {

// GDAL's configuration value "GDAL_DATA" (set in the environment or in GDAL's configuration)
// must name an existing folder; when it is unset, GDAL must find its own data files.
// KV_GDAL_DATA_MISSING otherwise; KV_NOT_AVAILABLE without the coordinate-system library.
// Takes the GDAL lock.
KVStatus checkGdalData();

} // namespace Korvel
