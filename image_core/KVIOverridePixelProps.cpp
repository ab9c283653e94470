#include "KVIOverridePixelProps.h"

#include <new>

namespace Korvel {

KVIOverridePixelPropsData::KVIOverridePixelPropsData() = default;
KVIOverridePixelPropsData::~KVIOverridePixelPropsData() = default;

KVStatus KVIOverridePixelPropsData::storePixelProps(const KVIPixel& pixel) {
    try {
        // The argument may be one of the held pixels: the copies come first.
        KVIPixel minPixel(pixel);
        KVIPixel maxPixel(pixel);
        minPixel.setToMin();
        maxPixel.setToMax();
        pixelProps_ = pixel;
        minDynamicRange_ = minPixel;
        maxDynamicRange_ = maxPixel;
        hasPixelProps_ = true;
        return KV_OK;
    } catch (const std::bad_alloc&) {
        pixelProps_ = KVIPixel();
        minDynamicRange_ = KVIPixel();
        maxDynamicRange_ = KVIPixel();
        hasPixelProps_ = false;
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
        // The arguments may be the held pixels themselves (swapped, say): copies first.
        KVIPixel minCopy(minPixel);
        KVIPixel maxCopy(maxPixel);
        minDynamicRange_ = minCopy;
        maxDynamicRange_ = maxCopy;
        return KV_OK;
    } catch (const std::bad_alloc&) {
        minDynamicRange_ = KVIPixel();
        maxDynamicRange_ = KVIPixel();
        return KV_OUT_OF_MEMORY;
    }
}

KVStatus KVIOverridePixelPropsData::storePrecision(std::uint8_t bits) {
    if (bits == 0 || !hasPixelProps_) return KV_OK;
    for (std::uint16_t band = 0; band < pixelProps_.getNumBands(); ++band)
        pixelProps_.getSample(band).setPrecision(bits);
    return KV_OK;
}

} // namespace Korvel
