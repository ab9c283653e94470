#pragma once
// Status codes of the image pipeline core and the raster readers: 0 is success, anything else
// names a failure by its number. The raster readers add their own codes beside these.

#include <cstdint>

namespace Korvel {

using KVStatus = std::uint32_t;

inline constexpr KVStatus KV_OK = 0;
inline constexpr KVStatus KV_FAILURE = 1;
inline constexpr KVStatus KV_BAD_ARGUMENT = 3;
inline constexpr KVStatus KV_WRONG_STREAM_STATE = 4;
inline constexpr KVStatus KV_OUT_OF_MEMORY = 8;
inline constexpr KVStatus KV_STREAM_TOLERATED = 11;
inline constexpr KVStatus KV_CRITSEC_STATE = 3010;
inline constexpr KVStatus KV_MUTEX_WAIT_FAILED = 3021;
inline constexpr KVStatus KV_MUTEX_RELEASE_FAILED = 3022;
inline constexpr KVStatus KV_LOCALE_NOT_SET = 3100;
inline constexpr KVStatus KV_UNSUPPORTED_DATA_TYPE = 50001;
// A merge mode other than 0 and 1.
inline constexpr KVStatus KV_BAD_MERGE_MODE = 50003;
inline constexpr KVStatus KV_WORLD_FILE_UNUSABLE = 50006;
inline constexpr KVStatus KV_STRIP_EMPTY = 50012;
inline constexpr KVStatus KV_SCENE_CLIPPED_AWAY = 50013;
inline constexpr KVStatus KV_SCENE_OUTSIDE_IMAGE = 50014;
inline constexpr KVStatus KV_SCENE_MAG_OUT_OF_RANGE = 50015;
inline constexpr KVStatus KV_PIXEL_DATA_TYPE_MISMATCH = 50016;
inline constexpr KVStatus KV_PIXEL_COLOR_SPACE_MISMATCH = 50017;
inline constexpr KVStatus KV_PIXEL_BAND_COUNT_MISMATCH = 50018;
inline constexpr KVStatus KV_METADATA_WRONG_TYPE = 50021;
inline constexpr KVStatus KV_SCENE_BUFFER_MISMATCH = 50027;
inline constexpr KVStatus KV_LOOKUP_TABLE_MISMATCH = 50028;
inline constexpr KVStatus KV_METADATA_NOT_SCALAR = 50029;
// Something an operation needs is not there: no resampler for a data type and method.
inline constexpr KVStatus KV_NOT_AVAILABLE = 50203;
// The images of a mosaic cannot share its pixel grid in x (in y): a resolution of another sign,
// or (differing resolutions refused) another size at the mosaic's resolution.
inline constexpr KVStatus KV_MOSAIC_X_RESOLUTION = 50206;
inline constexpr KVStatus KV_MOSAIC_Y_RESOLUTION = 50207;
// Memory for a strip's scratch buffer or for an index node could not be had.
inline constexpr KVStatus KV_BUFFER_ALLOCATION_FAILED = 50216;
// A scene maps to nothing inside a filter's input.
inline constexpr KVStatus KV_SCENE_MAPS_TO_NOTHING = 50232;
inline constexpr KVStatus KV_METADATA_EMPTY_SLOT = 50501;
inline constexpr KVStatus KV_METADATA_NOT_FOUND = 50503;
inline constexpr KVStatus KV_METADATA_EXISTS = 50504;
inline constexpr KVStatus KV_CLASSICAL_METADATA_SHORT = 50505;
inline constexpr KVStatus KV_METADATA_NOT_VECTOR = 50507;
inline constexpr KVStatus KV_EPSG_NO_WKT = 51305;
inline constexpr KVStatus KV_GDAL_DATA_MISSING = 51306;
inline constexpr KVStatus KV_STREAM_BAD_ARGUMENT = 145011;
inline constexpr KVStatus KV_MEMSTREAM_OPEN = 145012;
inline constexpr KVStatus KV_MEMSTREAM_NO_MEMORY = 145013;

} // namespace Korvel
