#include "filters/KVIResampler.h"

#include "filters/KVIResamplerImp.h"
#include "filters/KVIRowResampler.h"
#include "model/KVIDataType.h"
#include "stages/KVIImage.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace Korvel {

KVIResampler::KVIResampler(std::int32_t firstTap, std::int32_t lastTap, std::uint32_t sampleBytes,
                           std::unique_ptr<KVIRowResampler> rowResampler)
    : firstTap_(firstTap), lastTap_(lastTap), sampleBytes_(sampleBytes),
      rowResampler_(std::move(rowResampler)) {}

KVIResampler::~KVIResampler() = default;

std::unique_ptr<KVIResampler> KVIResampler::create(std::uint32_t dataType, std::uint32_t method) {
    // Without a row resampler a resampler could compute nothing: no resampler at all.
    std::unique_ptr<KVIRowResampler> row = KVIRowResampler::create(dataType);
    if (!row) return nullptr;
    const std::uint32_t bytes = getDataTypeSize(dataType);
    switch (method) {
    case KVI_RESAMPLE_NEAREST:
        return std::unique_ptr<KVIResampler>(new (std::nothrow)
                                                 KVINearestResampler(bytes, std::move(row)));
    case KVI_RESAMPLE_LINEAR:
        return std::unique_ptr<KVIResampler>(new (std::nothrow)
                                                 KVILinearResampler(bytes, std::move(row)));
    case KVI_RESAMPLE_CUBIC:
        return std::unique_ptr<KVIResampler>(new (std::nothrow)
                                                 KVICubicResampler(bytes, std::move(row)));
    default:
        return nullptr;
    }
}

KVIScene KVIResampler::getInputScene(const KVIImage& image, const KVIScene& scene) const {
    const double mag = scene.getMagnification();
    double x0 = std::floor(scene.getX() + firstTap_);
    double y0 = std::floor(scene.getY() + firstTap_);
    double x1 = std::ceil(scene.getRight() + lastTap_);
    double y1 = std::ceil(scene.getBottom() + lastTap_);
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (image.getDimsAtMag(mag, width, height) != KV_OK) width = height = 0;
    x1 = std::min(x1, static_cast<double>(width));
    y1 = std::min(y1, static_cast<double>(height));
    x0 = std::max(x0, 0.0);
    y0 = std::max(y0, 0.0);
    return KVIScene(x0, y0, x1 - x0, y1 - y0, mag);
}

} // namespace Korvel
