#pragma once
// The row resampler of one sample type T, computing in the arithmetic type F (float for 8- and
// 16-bit samples and float, double for 32-bit integers and double). Cubic results are held within
// the clamp range of the type; for float and double its minimum is the smallest positive normal
// value, so a cubic result at or below zero comes out as that tiny positive value. Linear results
// on integer types are held within the type's range as well, so an extrapolated value is never
// converted out of range. Integer results are truncated toward zero.
//
// The members are instantiated in KVIRowResamplerImp.cpp for the eight sample types.

#include "filters/KVIRowResampler.h"

#include <cstdint>
#include <type_traits>

namespace Korvel {

// The arithmetic type of the resampling of samples of type T.
template <typename T>
using KVIResampleArithmetic =
    std::conditional_t<(std::is_integral_v<T> && sizeof(T) >= 4) || std::is_same_v<T, double>,
                       double, float>;

template <typename T, typename F> class KVIRowResamplerImp final : public KVIRowResampler {
public:
    KVIRowResamplerImp();

    void resampleNearest(float fy, std::uint32_t count, void* destination, float x, float step,
                         std::uint32_t n, const void* row) const override;
    void resampleLinear(float fy, std::uint32_t count, void* destination, float x, float step,
                        std::uint32_t n, const void* row0, const void* row1) const override;
    void resampleCubic(float fy, std::uint32_t count, void* destination, float x, float step,
                       std::uint32_t n, const void* rowM1, const void* row0, const void* row1,
                       const void* row2) const override;

private:
    F clampMin_;
    F clampMax_;
};

} // namespace Korvel
