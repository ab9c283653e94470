#pragma once
// The table of entry points of the coordinate-system library (libquarn-crs.so), the one shared
// library that calls GDAL, libgeotiff and PROJ. The image core loads it on the first derivation
// (KVCrsLibrary) and calls it only through this table, so that nothing of GDAL is mapped in a
// process that never derives a coordinate system.
//
// Every entry runs with the caller holding the GDAL lock (KVGdalLock), starts with the check
// of GDAL's data folder, and reports as the function of the image core that forwards to it.

#include "support/KVStatus.h"

#include <cstdint>
#include <string>

namespace Korvel {

class KVIGeoTiffTagDirectory;
struct KVIImgMapRecord;
struct KVIImgProjectionRecord;

// Raised whenever the table or a type that it passes changes, so that a library of another
// build is refused rather than called.
inline constexpr std::uint32_t KV_CRS_ENTRY_POINTS_VERSION = 1;
// The one symbol that the library exports.
inline constexpr const char* KV_CRS_ENTRY_POINTS_SYMBOL = "kvCrsEntryPoints";
inline constexpr const char* KV_CRS_LIBRARY_NAME = "libquarn-crs.so";

struct KVCrsEntryPoints {
    std::uint32_t version;
    std::uint32_t size; // sizeof(KVCrsEntryPoints) in the library's build
    KVStatus (*checkGdalData)();
    KVStatus (*epsgToWkt)(std::uint16_t code, std::string& wkt);
    KVStatus (*imgProjectionToWkt)(const KVIImgProjectionRecord* projection,
                                   const KVIImgMapRecord& map, std::string& wkt);
    // The system of the GeoKeys and model tags in the directory.
    KVStatus (*geoTiffTagsToWkt)(KVIGeoTiffTagDirectory& directory, std::string& wkt);
    KVStatus (*wktToGeoTiffKeys)(const char* wkt, KVIGeoTiffTagDirectory& directory);
};

using KVCrsEntryPointsFunction = const KVCrsEntryPoints* (*)();

} // namespace Korvel
