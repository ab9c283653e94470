#pragma once
// Dequantisation of generation-2 coefficients with a band's step D: 0 stays 0, q > 0 gives
// (q - 0.44) D + 0.5 D and q < 0 gives (q + 0.44) D - 0.5 D, in single precision in that order of
// operations (0.44 is the single-precision 0x3EE147AE); a step of 0 gives 0 everywhere. With the
// subtractive dither of band 0, D x the dither tile's value at the sample's subband row and column
// (plus the subband's offsets, modulo the tile) is subtracted from each sample.

#include "QG2DitherTile.h"

#include <cstddef>
#include <cstdint>

namespace Korvel {

// Dequantises width x height coefficients (row by row) with step D into out, whose rows lie
// outStride floats apart; with a dither, less the dither.
void qg2Dequantise(const std::int32_t* coefficients, std::uint32_t width, std::uint32_t height,
                   float* out, std::size_t outStride, float step, const QG2Dither* dither);

} // namespace Korvel
