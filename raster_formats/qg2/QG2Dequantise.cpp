#include "QG2Dequantise.h"

#include <algorithm>
#include <bit>

namespace Korvel {
namespace {

constexpr float kDeadZone = 0.44f; // 0x3EE147AE

// One row, written without branches so that the compiler runs several samples at once: both
// signs' values are formed and the one that applies is kept by a mask (zero for 0), which gives
// each sample exactly what the formula alone gives it.
void dequantiseRow(const std::int32_t* in, std::size_t width, float* out, float step) {
    const float half = 0.5f * step;
    for (std::size_t i = 0; i < width; ++i) {
        const std::int32_t q = in[i];
        const auto value = static_cast<float>(q);
        const float above = (value - kDeadZone) * step + half;
        const float below = (value + kDeadZone) * step - half;
        const std::uint32_t positive = 0u - static_cast<std::uint32_t>(q > 0);
        const std::uint32_t negative = 0u - static_cast<std::uint32_t>(q < 0);
        out[i] = std::bit_cast<float>((std::bit_cast<std::uint32_t>(above) & positive) |
                                      (std::bit_cast<std::uint32_t>(below) & negative));
    }
}

// Subtracts D x the tile row from a row, the tile's column running from column and wrapping at the
// tile's end.
void ditherRow(float* out, std::size_t width, const float* tile, std::size_t column, float step) {
    while (width != 0) {
        const std::size_t run = std::min<std::size_t>(width, QG2DitherTile::kSize - column);
        const float* from = tile + column;
        for (std::size_t k = 0; k < run; ++k)
            out[k] -= step * from[k];
        out += run;
        width -= run;
        column = 0;
    }
}

} // namespace

void qg2Dequantise(const std::int32_t* coefficients, std::uint32_t width, std::uint32_t height,
                   float* out, std::size_t outStride, float step, const QG2Dither* dither) {
    for (std::uint32_t j = 0; j < height; ++j) {
        float* row = out + j * outStride;
        if (step == 0.0f) {
            std::fill_n(row, width, 0.0f);
            continue;
        }
        dequantiseRow(coefficients + std::size_t{j} * width, width, row, step);
        if (dither != nullptr) {
            const float* tile =
                QG2DitherTile::row(std::uint64_t{dither->row} + j + dither->rowOffset);
            const auto column = static_cast<std::uint32_t>(
                (std::uint64_t{dither->column} + dither->columnOffset) % QG2DitherTile::kSize);
            ditherRow(row, width, tile, column, step);
        }
    }
}

} // namespace Korvel
