#pragma once
// Status codes of the raster reader front and the single-image readers. They sit beside the codes
// of image_core (KVStatus.h) and of the container (qg3/QG3Status.h, which holds 50607 and 50614
// for the classification of a file start); 0 is success.

#include "qg3/container/QG3Status.h"
#include "support/KVStatus.h"

namespace Korvel {

// The image's colour space has no pixel colour space, or its band count none.
inline constexpr KVStatus KV_QRN_COLOR_SPACE_UNSUPPORTED = 50601;
// The image's data type has no sample type.
inline constexpr KVStatus KV_QRN_DATA_TYPE_UNSUPPORTED = 50602;
// An unexpected exception while the generation-2 header was read.
inline constexpr KVStatus KV_QRN_UNEXPECTED_EXCEPTION = 50603;
// A memory usage outside 1 to 4, met when a generation-3/4 image is first decoded.
inline constexpr KVStatus KV_QRN_UNKNOWN_MEMORY_USAGE = 50603;
// The metadata could not be placed in a stream, or its position in the file is unusable.
inline constexpr KVStatus KV_QRN_METADATA_UNUSABLE = 50605;
// An image of a kind that no reader reads.
inline constexpr KVStatus KV_QRN_UNKNOWN_READER_KIND = 50612;
// A band listed twice in a band selection.
inline constexpr KVStatus KV_QRN_BAND_LISTED_TWICE = 50615;
// A generation-4 point-cloud file given to the raster reader.
inline constexpr KVStatus KV_QRN_POINT_CLOUD_FILE = 50617;

} // namespace Korvel
