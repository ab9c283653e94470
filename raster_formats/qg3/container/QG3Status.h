#pragma once
// Status codes of the generation-3/4 raster container, its packets and the images in it. They sit
// beside the codes of image_core (KVStatus.h); 0 is success.

#include "support/KVStatus.h"

namespace Korvel {

// Short read, failed position query while reading, or a body shorter than its fields.
inline constexpr KVStatus KV_QG3_READ_FAILED = 2001;
// Short write, or failed position query while writing.
inline constexpr KVStatus KV_QG3_WRITE_FAILED = 2002;
// Failed seek or position query around a body copy, a length patch or a reservation; no memory
// stream for a metadata copy.
inline constexpr KVStatus KV_QG3_SEEK_FAILED = 2004;
// Image extras presence byte out of range.
inline constexpr KVStatus KV_QG3_BAD_EXTRAS = 2005;
// Plane data that ends inside the prefix of an item.
inline constexpr KVStatus KV_QG3_PREFIX_CUT = 2005;
// Bad format: magic, version, flag bits, geometry or a damaged contents table.
inline constexpr KVStatus KV_QG3_BAD_FORMAT = 2006;
// Descriptor, metadata or image absent.
inline constexpr KVStatus KV_QG3_NOT_FOUND = 2009;
// No object for a type, a packet missing, a deferred position missing, or opened twice.
inline constexpr KVStatus KV_QG3_NO_OBJECT = 2010;
// A wide prefix whose eighth byte still has its continuation bit.
inline constexpr KVStatus KV_QG3_PREFIX_TOO_LONG = 2010;
inline constexpr KVStatus KV_QG3_OUT_OF_MEMORY = 2012;
// An operation the format does not support (writing plane data or a generation-2 packet).
inline constexpr KVStatus KV_QG3_NOT_SUPPORTED = 2014;
// A position-table memory model other than full and partial, or a forward scan asked of a plane
// layout that has none.
inline constexpr KVStatus KV_QG3_NOT_AVAILABLE = 2015;
// A subblock geometry whose level scaling of the image size overflows 32 bits.
inline constexpr KVStatus KV_QG3_GEOMETRY_OVERFLOW = 2020;
// Internal: a body asks to be written again once all others are written.
inline constexpr KVStatus KV_QG3_WRITE_AGAIN = 2025;

// A colour-space code without a pixel colour space, met by the decoder tool.
inline constexpr KVStatus KV_QG3_COLOR_SPACE_UNSUPPORTED = 50019;

// Classification of a file start.
inline constexpr KVStatus KV_QRN_NOT_QUARN_FILE = 50607;
inline constexpr KVStatus KV_QRN_UNKNOWN_VERSION = 50614;

} // namespace Korvel
