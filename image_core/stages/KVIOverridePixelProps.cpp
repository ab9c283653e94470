#include "stages/KVIOverridePixelProps.h"

#include <new>

namespace Korvel {

KVIOverridePixelPropsData::KVIOverridePixelPropsData() = default;
KVIOverridePixelPropsData::~KVIOverridePixelPropsData() = default;

KVStatus KVIOverridePixelPropsData::storePixelProps(const KVIPixel& pixel) {
    try {
        // The held pixels are private and handed out as copies: the argument is none of them.
        pixelProps_ = pixel;
        minDynamicRange_ = pixel;
        maxDynamicRange_ = pixel;
        minDynamicRange_->setToMin();
        maxDynamicRange_->setToMax();
        return KV_OK;
    } catch (const std::bad_alloc&) {
        pixelProps_.reset();
        minDynamicRange_.reset();
        maxDynamicRange_.reset();
        return KV_OUT_OF_MEMORY;
    }
}

KVStatus KVIOverridePixelPropsData::storeDynamicRange(const KVIPixel& minPixel,
                                                      const KVIPixel& maxPixel) {
    if (!minPixel.hasSameBandTypes(maxPixel)) return KV_BAD_ARGUMENT;
    try {
        minDynamicRange_ = minPixel;
        maxDynamicRange_ = maxPixel;
        return KV_OK;
    } catch (const std::bad_alloc&) {
        minDynamicRange_.reset();
        maxDynamicRange_.reset();
        return KV_OUT_OF_MEMORY;
    }
}

KVStatus KVIOverridePixelPropsData::storePrecision(std::uint8_t bits) {
    if (bits == 0 || !pixelProps_) return KV_OK;
    for (std::uint16_t band = 0; band < pixelProps_->getNumBands(); ++band)
        pixelProps_->getSample(band).setPrecision(bits);
    return KV_OK;
}

} // namespace Korvel
