#pragma once
// The raster wavelet of generation-3/4 images, written plainly over whole arrays: the forward
// transform that turns image planes into subbands, and the whole-image inverse that tests use as
// the reference for the row-pipelined decoder.
//
// Each level is the reversible 5/3 lifting pair, rows first then columns on the way forward
// (columns first then rows on the way back), with both ends of a signal extended by mirroring the
// sample one before the end. Rounding is to the nearest integer with ties to even:
//
//   forward   odd  x[k] -= round((x[k-1] + x[k+1]) / 2)
//             even x[k] += round((x[k-1] + x[k+1]) / 4)
//   inverse   even x[k] -= round((x[k-1] + x[k+1]) / 4)
//             odd  x[k] += round((x[k-1] + x[k+1]) / 2)
//
// A signal of one sample passes unchanged. Subbands are numbered as the image information numbers
// them: for L levels, 4L + 1 subbands; level m (0 the coarsest) has the refinement of its low band
// (4m + 1), horizontally high (4m + 2), vertically high (4m + 3) and both high (4m + 4). A level's
// low band is its refinement plus the image the coarser levels rebuild (subband 0 for the
// coarsest).

#include <cstdint>
#include <vector>

namespace quarn_test {

struct RasterSubband {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::int32_t> samples; // row by row

    std::int32_t at(std::uint32_t x, std::uint32_t y) const {
        return samples[std::size_t(y) * width + x];
    }
};

// The 4L + 1 subbands of one plane, by subband index.
using RasterSubbands = std::vector<RasterSubband>;

// A width x height plane (row by row) through `levels` levels. refinementBits low bits of each
// level's low band stay in its refinement subband and the rest goes on to the coarser levels
// (below 32); with 0 every refinement subband is zero and the coarsest low band is subband 0.
RasterSubbands rasterForwardWavelet(const std::vector<std::int32_t>& plane, std::uint32_t width,
                                    std::uint32_t height, std::uint8_t levels,
                                    unsigned refinementBits = 0);
// Every plane of an image, each width x height.
std::vector<RasterSubbands>
rasterForwardWavelet(const std::vector<std::vector<std::int32_t>>& planes, std::uint32_t width,
                     std::uint32_t height, std::uint8_t levels, unsigned refinementBits = 0);

// The whole image that the subbands of a `levels`-level transform give with the finest
// `skipped` levels not run: the low band of the first level skipped (0: the full image).
RasterSubband rasterInverseWavelet(const RasterSubbands& subbands, std::uint8_t levels,
                                   std::uint8_t skipped = 0);

// s / 4 and s / 2 rounded to the nearest integer, ties to even, worked out by division.
std::int64_t rasterRoundQuarter(std::int64_t s);
std::int64_t rasterRoundHalf(std::int64_t s);

} // namespace quarn_test
