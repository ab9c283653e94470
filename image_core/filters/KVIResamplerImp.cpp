#include "filters/KVIResamplerImp.h"

#include "buffers/KVISceneBuffer.h"
#include "filters/KVIResamplePosition.h"
#include "filters/KVIRowResampler.h"
#include "support/KVStatusGuard.h"

#include <cstddef>
#include <limits>

namespace Korvel {

namespace {

// Rows of one band of a stack of one or two windows with the same row stride.
struct RowStack {
    const std::uint8_t* upper;
    const std::uint8_t* lower;
    std::int64_t upperRows;
    std::size_t stride;

    const std::uint8_t* row(std::int64_t k) const {
        return k < upperRows ? upper + static_cast<std::size_t>(k) * stride
                             : lower + static_cast<std::size_t>(k - upperRows) * stride;
    }
};

bool insideWindow(const KVIRect& rect, const KVISceneBuffer& buffer, std::int64_t windowRows) {
    return !rect.isEmpty() && rect.x0 >= 0 && rect.y0 >= 0 &&
           rect.x1 < std::int64_t{buffer.getWindowWidth()} && rect.y1 < windowRows;
}

// Same band count as the destination and every band of the resampler's sample size.
KVStatus checkBands(const KVISceneBuffer& buffer, std::uint16_t numBands, std::uint32_t bytes) {
    if (buffer.getNumBands() != numBands) return KV_PIXEL_BAND_COUNT_MISMATCH;
    for (std::uint16_t band = 0; band < numBands; ++band) {
        if (buffer.getBytesPerSample(band) != bytes) return KV_PIXEL_DATA_TYPE_MISMATCH;
        if (buffer.getWindowBandData(band) == nullptr) return KV_BAD_ARGUMENT;
    }
    return KV_OK;
}

} // namespace

template <std::uint32_t Method, std::int32_t FirstTap, std::int32_t LastTap>
KVIResamplerImp<Method, FirstTap, LastTap>::KVIResamplerImp(
    std::uint32_t sampleBytes, std::unique_ptr<KVIRowResampler> rowResampler)
    : KVIResampler(FirstTap, LastTap, sampleBytes, std::move(rowResampler)) {}

template <std::uint32_t Method, std::int32_t FirstTap, std::int32_t LastTap>
KVStatus KVIResamplerImp<Method, FirstTap, LastTap>::resampleStrips(
    KVISceneBuffer& destination, const KVIRect& dstRect, const KVISceneBuffer& upper,
    const KVISceneBuffer& lower, const KVIRect& srcRect, float originX, float originY, float stepX,
    float stepY) const {
    return resampleRows(destination, dstRect, upper, &lower, srcRect, originX, originY, stepX,
                        stepY);
}

template <std::uint32_t Method, std::int32_t FirstTap, std::int32_t LastTap>
KVStatus KVIResamplerImp<Method, FirstTap, LastTap>::resampleBuffer(
    KVISceneBuffer& destination, const KVIRect& dstRect, const KVISceneBuffer& source,
    const KVIRect& srcRect, float originX, float originY, float stepX, float stepY) const {
    return resampleRows(destination, dstRect, source, nullptr, srcRect, originX, originY, stepX,
                        stepY);
}

template <std::uint32_t Method, std::int32_t FirstTap, std::int32_t LastTap>
KVStatus KVIResamplerImp<Method, FirstTap, LastTap>::resampleRows(
    KVISceneBuffer& destination, const KVIRect& dstRect, const KVISceneBuffer& upper,
    const KVISceneBuffer* lower, const KVIRect& srcRect, float originX, float originY, float stepX,
    float stepY) const {
    constexpr int kRows = LastTap - FirstTap + 1;
    static_assert(kRows == (Method == KVI_RESAMPLE_NEAREST  ? 1
                            : Method == KVI_RESAMPLE_LINEAR ? 2
                                                            : 4));
    if (dstRect.isEmpty()) return KV_OK;

    // Everything is checked once per call, so the row loops need no checks.
    const std::int64_t upperRows = upper.getWindowHeight();
    const std::int64_t stackRows = upperRows + (lower ? lower->getWindowHeight() : 0);
    if (!insideWindow(dstRect, destination, destination.getWindowHeight()) ||
        !insideWindow(srcRect, upper, stackRows))
        return KV_BAD_ARGUMENT;
    if (lower != nullptr && (lower->getTotalWidth() != upper.getTotalWidth() ||
                             srcRect.x1 >= std::int64_t{lower->getWindowWidth()}))
        return KV_BAD_ARGUMENT;
    const std::uint16_t numBands = destination.getNumBands();
    const std::uint32_t bytes = getSampleBytes();
    KV_RETURN_IF_FAILED(checkBands(destination, numBands, bytes));
    KV_RETURN_IF_FAILED(checkBands(upper, numBands, bytes));
    if (lower != nullptr) KV_RETURN_IF_FAILED(checkBands(*lower, numBands, bytes));

    const KVIRowResampler& rowResampler = getRowResampler();
    const std::size_t dstStride = std::size_t{destination.getTotalWidth()} * bytes;
    const std::size_t srcStride = std::size_t{upper.getTotalWidth()} * bytes;
    const auto count = static_cast<std::uint32_t>(dstRect.width());
    const auto n = static_cast<std::uint32_t>(srcRect.width());
    const float x = originX - static_cast<float>(srcRect.x0);
    const std::size_t srcColumn = std::size_t(srcRect.x0) * bytes;

    for (std::uint16_t band = 0; band < numBands; ++band) {
        std::uint8_t* out = destination.getWindowBandData(band) +
                            std::size_t(dstRect.y0) * dstStride + std::size_t(dstRect.x0) * bytes;
        const RowStack stack{upper.getWindowBandData(band) + srcColumn,
                             lower ? lower->getWindowBandData(band) + srcColumn : nullptr,
                             lower ? upperRows : std::numeric_limits<std::int64_t>::max(),
                             srcStride};
        float y = originY;
        for (std::int32_t r = dstRect.y0; r <= dstRect.y1; ++r) {
            const KVIResamplePosition at = kviLocate(y);
            const std::uint8_t* rows[kRows];
            for (int k = 0; k < kRows; ++k)
                rows[k] = stack.row(kviClampIndex(at.index + FirstTap + k, srcRect.y0, srcRect.y1));
            if constexpr (Method == KVI_RESAMPLE_NEAREST)
                rowResampler.resampleNearest(at.fraction, count, out, x, stepX, n, rows[0]);
            else if constexpr (Method == KVI_RESAMPLE_LINEAR)
                rowResampler.resampleLinear(at.fraction, count, out, x, stepX, n, rows[0], rows[1]);
            else
                rowResampler.resampleCubic(at.fraction, count, out, x, stepX, n, rows[0], rows[1],
                                           rows[2], rows[3]);
            y += stepY;
            out += dstStride;
        }
    }
    return KV_OK;
}

template class KVIResamplerImp<KVI_RESAMPLE_NEAREST, 0, 0>;
template class KVIResamplerImp<KVI_RESAMPLE_LINEAR, 0, 1>;
template class KVIResamplerImp<KVI_RESAMPLE_CUBIC, -1, 2>;

} // namespace Korvel
