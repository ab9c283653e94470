#include "stages/KVIOverridePixelProps.h"

#include "support/KVStatusGuard.h"

namespace Korvel {

KVIOverridePixelPropsData::KVIOverridePixelPropsData() = default;
KVIOverridePixelPropsData::~KVIOverridePixelPropsData() = default;

KVStatus KVIOverridePixelPropsData::storePixelProps(const KVIPixel& pixel) {
    const KVStatus status = kvGuard([&] {
        // The held pixels are private and handed out as copies: the argument is none of them.
        pixelProps_ = pixel;
        minDynamicRange_ = pixel;
        maxDynamicRange_ = pixel;
        minDynamicRange_->setToMin();
        maxDynamicRange_->setToMax();
    });
    if (status != KV_OK) {
        pixelProps_.reset();
        minDynamicRange_.reset();
        maxDynamicRange_.reset();
    }
    return status;
}

KVStatus KVIOverridePixelPropsData::storeDynamicRange(const KVIPixel& minPixel,
                                                      const KVIPixel& maxPixel) {
    if (!minPixel.hasSameBandTypes(maxPixel)) return KV_BAD_ARGUMENT;
    const KVStatus status = kvGuard([&] {
        minDynamicRange_ = minPixel;
        maxDynamicRange_ = maxPixel;
    });
    if (status != KV_OK) {
        minDynamicRange_.reset();
        maxDynamicRange_.reset();
    }
    return status;
}

KVStatus KVIOverridePixelPropsData::storePrecision(std::uint8_t bits) {
    if (bits == 0 || !pixelProps_) return KV_OK;
    for (std::uint16_t band = 0; band < pixelProps_->getNumBands(); ++band)
        pixelProps_->getSample(band).setPrecision(bits);
    return KV_OK;
}

} // namespace Korvel
