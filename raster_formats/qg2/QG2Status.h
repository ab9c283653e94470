#pragma once
// Status codes of the generation-2 decoder. They sit beside the codes of image_core (KVStatus.h);
// 0 is success.

#include "KVStatus.h"

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

} // namespace Korvel
