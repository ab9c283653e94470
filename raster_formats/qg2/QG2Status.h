#pragma once
// Status codes of the generation-2 decoder. They sit beside the codes of image_core (KVStatus.h);
// 0 is success.

#include "support/KVStatus.h"

namespace Korvel {

// A read that stopped short, or a count, size or offset that reaches beyond the stream.
inline constexpr KVStatus KV_QG2_SHORT_READ = 8101;
// A seek that failed, or a stream that could not be opened, closed or duplicated.
inline constexpr KVStatus KV_QG2_SEEK_FAILED = 8103;
// The file does not start with "qrnd".
inline constexpr KVStatus KV_QG2_BAD_MAGIC = 8104;
// A version this decoder does not read.
inline constexpr KVStatus KV_QG2_BAD_VERSION = 8105;
// A structure without its marker (subband information, block directory), or with a field that no
// valid file holds: an image of no pixels, too many levels, an inverted or overlapping region, a
// block of no width, more than 256 Huffman codes, blocks that end before they begin.
inline constexpr KVStatus KV_QG2_BAD_STRUCTURE = 8106;
// A coded block that does not begin with 0xFF 0xA3.
inline constexpr KVStatus KV_QG2_BAD_BLOCK = 8021;
// A Huffman table that makes no prefix code, or a code walk that finds no symbol: a leaf above
// 512, an entry never assigned, or a walk that runs past the end of its block.
inline constexpr KVStatus KV_QG2_BAD_CODE = 8022;

// Decoding (subband trees, synthesis, output). Taking a plane that does not exist.
inline constexpr KVStatus KV_QG2_NO_PLANE = 8001;
// A subband rectangle outside its full size or inverted, or a full size beyond 32 bits.
inline constexpr KVStatus KV_QG2_BAD_SUBBAND_RECT = 8008;
// A level above the image's number of levels.
inline constexpr KVStatus KV_QG2_LEVEL_TOO_HIGH = 8009;
// Joining trees of different shapes.
inline constexpr KVStatus KV_QG2_JOIN_SHAPE = 8011;
// Overlapping trees whose nodes differ in plane count, or in shape.
inline constexpr KVStatus KV_QG2_OVERLAP_PLANES = 8012;
inline constexpr KVStatus KV_QG2_OVERLAP_SHAPE = 8013;
// Overlap or remainder leaves whose rectangles do not fit together.
inline constexpr KVStatus KV_QG2_OVERLAP_RECT = 8014;
// Remainder trees whose nodes differ in plane count, or in shape.
inline constexpr KVStatus KV_QG2_REMAINDER_PLANES = 8015;
inline constexpr KVStatus KV_QG2_REMAINDER_SHAPE = 8016;
// Moving a plane to an index outside a set, or between sets of different sizes.
inline constexpr KVStatus KV_QG2_BAD_PLANE_MOVE = 8017;
// Joining a leaf whose rectangle does not lie within the target's.
inline constexpr KVStatus KV_QG2_JOIN_RECT = 8023;
// The interrupt delegate asked to stop.
inline constexpr KVStatus KV_QG2_INTERRUPTED = 8040;
// An exception other than a status or out of memory at a decoder entry point.
inline constexpr KVStatus KV_QG2_UNEXPECTED_EXCEPTION = 8114;
// A rectangle not wholly inside the stored region at the decoded level.
inline constexpr KVStatus KV_QG2_OUTSIDE_REGION = 8117;
// Four bands cannot be given as floating-point samples.
inline constexpr KVStatus KV_QG2_FOUR_BANDS_FLOAT = 8118;

} // namespace Korvel
