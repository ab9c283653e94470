#include "KVIOverridePixelProps.h"

#include <new>

namespace Korvel {

KVIOverridePixelPropsData::KVIOverridePixelPropsData() = default;
KVIOverridePixelPropsData::~KVIOverridePixelPropsData() = default;

KVIPixel KVIOverridePixelPropsData::heldPixelProps() const {
    return pixelProps_ ? *pixelProps_ : KVIPixel();
}

KVIPixel KVIOverridePixelPropsData::heldMinDynamicRange() const {
    return minDynamicRange_ ? *minDynamicRange_ : KVIPixel();
}

KVIPixel KVIOverridePixelPropsData::heldMaxDynamicRange() const {
    return maxDynamicRange_ ? *maxDynamicRange_ : KVIPixel();
}

KVStatus KVIOverridePixelPropsData::storePixelProps(const KVIPixel& pixel) {
    try {
        auto props = std::make_unique<KVIPixel>(pixel);
        auto minPixel = std::make_unique<KVIPixel>(pixel);
        auto maxPixel = std::make_unique<KVIPixel>(pixel);
        minPixel->setToMin();
        maxPixel->setToMax();
        pixelProps_ = std::move(props);
        minDynamicRange_ = std::move(minPixel);
        maxDynamicRange_ = std::move(maxPixel);
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
    if (minPixel.getNumBands() != maxPixel.getNumBands()) return KV_BAD_ARGUMENT;
    for (std::uint16_t band = 0; band < minPixel.getNumBands(); ++band)
        if (minPixel.getSample(band).getDataType() != maxPixel.getSample(band).getDataType())
            return KV_BAD_ARGUMENT;
    try {
        auto minCopy = std::make_unique<KVIPixel>(minPixel);
        auto maxCopy = std::make_unique<KVIPixel>(maxPixel);
        minDynamicRange_ = std::move(minCopy);
        maxDynamicRange_ = std::move(maxCopy);
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
