#include "filters/KVIRowResampler.h"

#include "filters/KVIRowResamplerImp.h"
#include "model/KVIDataTypeDispatch.h"

#include <new>

namespace Korvel {

KVIRowResampler::~KVIRowResampler() = default;

std::unique_ptr<KVIRowResampler> KVIRowResampler::create(std::uint32_t dataType) {
    std::unique_ptr<KVIRowResampler> resampler;
    withSampleType(dataType, [&](auto zero) {
        using T = decltype(zero);
        resampler.reset(new (std::nothrow) KVIRowResamplerImp<T, KVIResampleArithmetic<T>>());
    });
    return resampler;
}

} // namespace Korvel
