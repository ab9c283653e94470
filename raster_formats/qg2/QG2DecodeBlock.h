#pragma once
// Decodes the coefficients of one coded generation-2 block, or of the part of it that a strip
// wants. Coded block: 0xFF 0xA3, then a bit stream (QG2BitReader) of Huffman codes, some followed
// by raw bits. Symbols (the Huffman leaf values):
//   0..100   a run of that many zero coefficients
//   101/102  +v / -v, v in the next 8 raw bits
//   103/104  +v / -v, v in the next 16 raw bits taken as a signed 16-bit value
//   105/106  a run of r zero coefficients, r in the next 8 / 16 raw bits
//   107..256 one coefficient of (symbol - 180)
// Positions run in the raster order of the whole block; symbols before the wanted part only move
// the position, and a zero run may carry over into the wanted rows that follow.

#include "QG2HuffmanTree.h"
#include "QG2ResumeState.h"
#include "model/KVIRect.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace Korvel {

// Decodes the wanted part of a block into out (wanted width x wanted height signed coefficients,
// row by row, cleared to zero by the caller). resume continues from a state an earlier call
// returned. Returns the state to continue from when the wanted rectangle stops before the block's
// last column or last row, else none.
// Throws KVUtilException: KV_QG2_BAD_BLOCK when a block decoded from its start lacks 0xFF 0xA3;
// KV_QG2_BAD_CODE when a code walk finds no symbol or runs past the block's end;
// KV_QG2_BAD_STRUCTURE for a block of more than 2^32 - 1 coefficients; KV_BAD_ARGUMENT for a
// wanted rectangle outside the block or a resume state that does not fit it.
std::optional<QG2ResumeState> qg2DecodeBlock(const QG2HuffmanTree& tree, const std::uint8_t* bytes,
                                             std::size_t size, std::int32_t* out,
                                             const KVIRect& block, const KVIRect& wanted,
                                             const QG2ResumeState* resume);

} // namespace Korvel
