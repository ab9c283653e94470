#pragma once
// Mix-in: the stage holds its own pixel properties and dynamic range.

#include "model/KVIPixel.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <optional>

namespace Korvel {

class KVIOverridePixelPropsData {
protected:
    KVIOverridePixelPropsData();
    ~KVIOverridePixelPropsData();

    // The held pixels, or a default pixel (one grey 8-bit band) while none is held.
    KVIPixel heldPixelProps() const { return pixelProps_ ? *pixelProps_ : KVIPixel(); }
    KVIPixel heldMinDynamicRange() const {
        return minDynamicRange_ ? *minDynamicRange_ : KVIPixel();
    }
    KVIPixel heldMaxDynamicRange() const {
        return maxDynamicRange_ ? *maxDynamicRange_ : KVIPixel();
    }
    // A copy; the dynamic range becomes the pixel with every band at its minimum and maximum.
    KVStatus storePixelProps(const KVIPixel& pixel);
    // Copies of both; KV_BAD_ARGUMENT when they differ in band count or in a band's data type.
    KVStatus storeDynamicRange(const KVIPixel& minPixel, const KVIPixel& maxPixel);
    // Every sample of the pixel props gets that precision; 0 changes nothing.
    KVStatus storePrecision(std::uint8_t bits);

private:
    // Held by value: a copy of up to four bands allocates nothing.
    std::optional<KVIPixel> pixelProps_;
    std::optional<KVIPixel> minDynamicRange_;
    std::optional<KVIPixel> maxDynamicRange_;
};

template <class Base>
class KVIOverridePixelProps : public Base, protected KVIOverridePixelPropsData {
public:
    using Base::Base;

    KVIPixel getPixelProps() const override { return heldPixelProps(); }
    KVIPixel getMinDynamicRange() const override { return heldMinDynamicRange(); }
    KVIPixel getMaxDynamicRange() const override { return heldMaxDynamicRange(); }
    KVStatus setDynamicRange(const KVIPixel& minPixel, const KVIPixel& maxPixel) override {
        return storeDynamicRange(minPixel, maxPixel);
    }
    KVStatus setPrecision(std::uint8_t bits) override { return storePrecision(bits); }
    KVStatus setPixelProps(const KVIPixel& pixel) { return storePixelProps(pixel); }

protected:
    ~KVIOverridePixelProps() override = default;
};

} // namespace Korvel
