#pragma once
// Computes one output row of one band from one, two or four source rows: nearest sample, linear
// interpolation or cubic convolution. One implementation exists per sample data type
// (KVIRowResamplerImp); rows are handed in as untyped pointers to samples of that type.
//
// Each operation writes count samples. The source rows hold n samples each (n at least 1); x is
// the source position of the first output sample and grows by step per sample in single
// precision; fy is the fraction between the source rows (unused by nearest). Source indices are
// held within 0 ... n - 1, so positions before or beyond a row repeat its end samples.

#include <cstdint>
#include <memory>

namespace Korvel {

class KVIRowResampler {
public:
    // The row resampler of a data type (KVI_DATATYPE_...); null for any other code.
    static std::unique_ptr<KVIRowResampler> create(std::uint32_t dataType);

    KVIRowResampler() = default;
    KVIRowResampler(const KVIRowResampler&) = delete;
    KVIRowResampler& operator=(const KVIRowResampler&) = delete;
    virtual ~KVIRowResampler();

    virtual void resampleNearest(float fy, std::uint32_t count, void* destination, float x,
                                 float step, std::uint32_t n, const void* row) const = 0;
    virtual void resampleLinear(float fy, std::uint32_t count, void* destination, float x,
                                float step, std::uint32_t n, const void* row0,
                                const void* row1) const = 0;
    virtual void resampleCubic(float fy, std::uint32_t count, void* destination, float x,
                               float step, std::uint32_t n, const void* rowM1, const void* row0,
                               const void* row1, const void* row2) const = 0;
};

} // namespace Korvel
