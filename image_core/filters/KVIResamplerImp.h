#pragma once
// The resampler of one method: for each destination row it takes the source rows from
// FirstTap to LastTap around the row's integer source position and calls the method's row
// operation (nearest with one row, linear with two, cubic with four). Instantiated in
// KVIResamplerImp.cpp for the three methods.

#include "filters/KVIResampler.h"

namespace Korvel {

template <std::uint32_t Method, std::int32_t FirstTap, std::int32_t LastTap>
class KVIResamplerImp final : public KVIResampler {
public:
    KVIResamplerImp(std::uint32_t sampleBytes, std::unique_ptr<KVIRowResampler> rowResampler);

    KVStatus resampleStrips(KVISceneBuffer& destination, const KVIRect& dstRect,
                            const KVISceneBuffer& upper, const KVISceneBuffer& lower,
                            const KVIRect& srcRect, float originX, float originY, float stepX,
                            float stepY) const override;
    KVStatus resampleBuffer(KVISceneBuffer& destination, const KVIRect& dstRect,
                            const KVISceneBuffer& source, const KVIRect& srcRect, float originX,
                            float originY, float stepX, float stepY) const override;

private:
    KVStatus resampleRows(KVISceneBuffer& destination, const KVIRect& dstRect,
                          const KVISceneBuffer& upper, const KVISceneBuffer* lower,
                          const KVIRect& srcRect, float originX, float originY, float stepX,
                          float stepY) const;
};

using KVINearestResampler = KVIResamplerImp<KVI_RESAMPLE_NEAREST, 0, 0>;
using KVILinearResampler = KVIResamplerImp<KVI_RESAMPLE_LINEAR, 0, 1>;
using KVICubicResampler = KVIResamplerImp<KVI_RESAMPLE_CUBIC, -1, 2>;

} // namespace Korvel
