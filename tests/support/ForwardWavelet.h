#pragma once
// The forward lifting of the LiDAR wavelet transforms, and a plain whole-signal inverse, for
// writing coded subbands and working out what a decoder must give. Written from the lifting
// formulas of the format, with both ends of each band extended by its first and last sample:
//
//   split      low[i] = x[2i], high[i] = x[2i + 1]
//   predict    high[i] -= Q(low around i)     two-tap: (l[i] + l[i+1]) >> 1
//                                             four-tap: (9(l[i] + l[i+1]) - l[i-1] - l[i+2] + 14)
//                                             >> 4
//   update     low[i] += U(high around i)     two-tap: (h[i-1] + h[i] + 2) >> 2
//                                             four-tap: (9(h[i-1] + h[i]) - h[i-2] - h[i+1] + 30)
//                                             >> 5
//
// Integers wrap in the coded width (16-bit sums are cut to 16 bits before rounding); floats use
// 0.25, 0.5, 9, 1/32 and 1/16 without rounding, in the sample's precision. Transform codes
// reduce to 1 (two-tap), 3 (four-tap), 10 (none), 11 (two-tap predict), 13 (four-tap predict);
// 80, 90 and 110 have no lifting (single-level groups).
//
// Subbands: [0] the coarsest low band, [k] the high band that inverse stage k adds. Integer
// samples travel as int64 values of the coded width (513, 1025, 2049); float samples (1027,
// 2051) as doubles that hold values of the coded precision.

#include <cstdint>
#include <vector>

namespace quarn_test {

using Subbands = std::vector<std::vector<std::int64_t>>;
using FloatSubbands = std::vector<std::vector<double>>;

// levels subbands of the signal (levels - 1 forward steps).
Subbands forwardWavelet(const std::vector<std::int64_t>& signal, std::uint32_t codedType,
                        std::uint32_t transform, std::uint32_t levels);
FloatSubbands forwardWavelet(const std::vector<double>& signal, std::uint32_t codedType,
                             std::uint32_t transform, std::uint32_t levels);

// The signal that the first `used` subbands give.
std::vector<std::int64_t> inverseWavelet(const Subbands& subbands, std::uint32_t codedType,
                                         std::uint32_t transform, std::uint32_t used);
std::vector<double> inverseWavelet(const FloatSubbands& subbands, std::uint32_t codedType,
                                   std::uint32_t transform, std::uint32_t used);

} // namespace quarn_test
