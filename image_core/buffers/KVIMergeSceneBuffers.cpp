#include "buffers/KVIMergeSceneBuffers.h"

#include "buffers/KVICompositeOver.h"
#include "buffers/KVIMergeMask.h"
#include "buffers/KVIRunMask.h"
#include "buffers/KVISceneBuffer.h"
#include "model/KVIDataTypeDispatch.h"
#include "model/KVISampleRange.h"
#include "model/KVIScene.h"
#include "stages/KVIMaskSource.h"
#include "support/KVStatusGuard.h"

#include <algorithm>

namespace Korvel {

namespace {

bool carriesAlpha(const KVIPixel& pixel) {
    return pixel.hasAlpha() && pixel.getNumBands() > 0;
}

} // namespace

KVStatus compositeSceneBuffers(KVISceneBuffer& destination, const KVIRunMask* mask,
                               const KVISceneBuffer& source, bool blend) {
    const KVIPixel& dstPixel = destination.getPixelProps();
    const KVIPixel& srcPixel = source.getPixelProps();
    KV_RETURN_IF_FAILED(dstPixel.checkCompatible(srcPixel));
    if (blend && (carriesAlpha(dstPixel) || carriesAlpha(srcPixel))) {
        // The kernel reads every band of both buffers, alpha included, as one type.
        const std::uint32_t dataType = srcPixel.getDataType();
        if (dstPixel.getDataType() != dataType) return KV_PIXEL_DATA_TYPE_MISMATCH;
        KVStatus status = KV_UNSUPPORTED_DATA_TYPE;
        withSampleType(dataType, [&](auto zero) {
            using T = decltype(zero);
            status = kvGuard([&] {
                compositeOver<T>(source, destination, mask, KVISampleRange<T>::lo,
                                 KVISampleRange<T>::hi);
            });
        });
        return status;
    }
    const auto bands = std::min(destination.getNumBands(), source.getNumBands());
    for (std::uint16_t b = 0; b < bands; ++b)
        KV_RETURN_IF_FAILED(destination.copyBandWindow(b, source, b, mask));
    return KV_OK;
}

KVStatus mergeSceneBuffers(KVISceneBuffer& destination, std::uint32_t mergeMode,
                           const KVISceneBuffer& source, const KVIPixel* sourceNoData,
                           const KVIPixel* destinationNoData, KVIMaskSource* maskSource,
                           const KVIScene& scene, bool blend) {
    KV_RETURN_IF_FAILED(destination.getPixelProps().checkCompatible(source.getPixelProps()));
    KVIRunMask sourceMask;
    KVIRunMask mergeMask;
    if (maskSource != nullptr) KV_RETURN_IF_FAILED(maskSource->getMask(scene, sourceMask));

    if (!carriesAlpha(source.getPixelProps()) && sourceNoData == nullptr)
        return compositeSceneBuffers(destination, maskSource != nullptr ? &sourceMask : nullptr,
                                     source, blend);
    if (mergeMode > KVI_MERGE_TOLERANT) return KV_BAD_MERGE_MODE;
    KV_RETURN_IF_FAILED(buildMergeMask(mergeMode, scene.getMagnification(), destination,
                                       destinationNoData, source, sourceNoData, mergeMask, blend));
    if (maskSource == nullptr) return compositeSceneBuffers(destination, &mergeMask, source, blend);
    KVIRunMask finalMask;
    KV_RETURN_IF_FAILED(finalMask.intersect(sourceMask, mergeMask));
    return compositeSceneBuffers(destination, &finalMask, source, blend);
}

} // namespace Korvel
