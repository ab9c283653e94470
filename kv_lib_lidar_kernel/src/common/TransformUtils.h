#pragma once
// The transform codes of wavelet-coded channels: their classification (wavelet or not, integer or
// floating-point samples, MQ or deflate coding), the padding and bit headroom they need, and the
// two inverse lifting kernels of a pipeline stage.
//
//   code            wavelet  samples  coding  padding  lifting
//   1, 21, 61       yes      int/fp   MQ/GZ   1        two-tap update, two-tap predict
//   3, 23, 63       yes      int/fp   MQ/GZ   2        four-tap update, four-tap predict
//   10, 30, 70      yes      int/fp   MQ/GZ   1        none
//   11, 31, 71      yes      int/fp   MQ/GZ   1        two-tap predict only
//   13, 33, 73      yes      int/fp   MQ/GZ   2        four-tap predict only
//   80, 90, 110     no       int/fp   MQ/GZ   -        (single-level groups only)
//
// Codes 1 to 13 and 80 are integer and MQ-coded; 21 to 33 and 90 floating-point and MQ-coded;
// 61 to 73 and 110 floating-point and deflate-coded. Any other code throws "bad transform type".

#include <cstdint>

namespace Korvel {

namespace TransformUtils {

// Inverse update step of one stage: changes low[0 .. n - 1] from the high samples around each.
// Both pointers point into windows whose positions -2, -1, n and n + 1 hold data too.
using UpdateKernel = void (*)(void* low, std::int64_t n, const void* high);
// Inverse predict step: changes high[0 .. n - 1] from the low samples around each. The second
// argument is not used.
using PredictKernel = void (*)(const void* low, std::int64_t unused, void* high, std::int64_t n);

bool isWavelet(std::uint32_t transform);
bool isInteger(std::uint32_t transform);
bool isFloatingPoint(std::uint32_t transform);
bool isMQ(std::uint32_t transform);
bool isGZ(std::uint32_t transform);

// Band samples that a stage keeps on each side of a window: 1 for two-tap transforms, 2 for
// four-tap ones. Non-wavelet codes have no stages and throw.
std::uint32_t getPadding(std::uint32_t transform);

// Extra bits that the transform's coefficients need beyond the channel's own bits; sets an
// integer channel's coded datatype.
std::uint32_t getHeadroom(std::uint32_t transform);

// The kernels of a stage for a coded datatype (513, 1025, 2049, 1027 or 2051) and a transform.
// A stage without an update or predict step gets a kernel that does nothing. Throws
// "unkown datatype" or "unkown wavelet type" (code 40007).
void getInverseWavelet(std::uint32_t datatype, std::uint32_t transform, PredictKernel& predict,
                       UpdateKernel& update);

} // namespace TransformUtils

} // namespace Korvel
