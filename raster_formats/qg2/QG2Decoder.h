#pragma once
// The generation-2 decoder of one image: turns the coded blocks of its subbands into dequantised
// coefficients.
//
// Coded block: 0xFF 0xA3, then a bit stream read most significant bit first, in which a byte 0xFF
// is followed by a stuffed byte. Symbols (the Huffman leaf values):
//   0..100   a run of that many zero coefficients
//   101/102  +v / -v, v in the next 8 raw bits
//   103/104  +v / -v, v in the next 16 raw bits taken as a signed 16-bit value
//   105/106  a run of r zero coefficients, r in the next 8 / 16 raw bits
//   107..256 one coefficient of (symbol - 180)
// While a code is walked, the byte after a 0xFF is always skipped; while raw bits are read it is
// skipped when it is 0x00, and otherwise reading stays on the 0xFF (1-bits) so that it never
// passes a marker.

#include "QG2DitherTile.h"
#include "QG2HuffmanTree.h"
#include "QG2Rect.h"
#include "QG2ResumeState.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace Korvel {

class QG2DBInfo;

class QG2Decoder {
public:
    // The database information is not owned and must outlive the decoder.
    explicit QG2Decoder(QG2DBInfo* dbInfo) : dbInfo_(dbInfo) {}
    QG2Decoder(const QG2Decoder&) = delete;
    QG2Decoder& operator=(const QG2Decoder&) = delete;
    virtual ~QG2Decoder();

    QG2DBInfo* getDBInfo() const { return dbInfo_; }

    // Decodes the wanted part of a block into out (wanted width x wanted height signed
    // coefficients, row by row, cleared to zero by the caller). Positions run in the raster order
    // of the whole block; resume continues from a state an earlier call returned. Returns the
    // state to continue from when the wanted rectangle stops before the block's last column or
    // last row, else none.
    // Throws KVUtilException: KV_QG2_BAD_BLOCK when a block decoded from its start lacks
    // 0xFF 0xA3; KV_QG2_BAD_CODE when a code walk finds no symbol or runs past the block's end;
    // KV_QG2_BAD_STRUCTURE for a block of more than 2^32 - 1 coefficients; KV_BAD_ARGUMENT for a
    // wanted rectangle outside the block or a resume state that does not fit it.
    static std::optional<QG2ResumeState> decodeBlock(const QG2HuffmanTree& tree,
                                                     const std::uint8_t* bytes, std::size_t size,
                                                     std::int32_t* out, const QG2Rect& block,
                                                     const QG2Rect& wanted,
                                                     const QG2ResumeState* resume);

    // Dequantises width x height coefficients (row by row) with step D into out, whose rows lie
    // outStride floats apart: 0 stays 0, q > 0 gives (q - 0.44) D + 0.5 D, q < 0 gives
    // (q + 0.44) D - 0.5 D, in single precision. With a dither, D x tile value is subtracted from
    // each sample, the tile indexed by the sample's subband row and column plus the offsets.
    static void dequantise(const std::int32_t* coefficients, std::uint32_t width,
                           std::uint32_t height, float* out, std::size_t outStride, float step,
                           const QG2Dither* dither);

private:
    QG2DBInfo* dbInfo_;
};

} // namespace Korvel
