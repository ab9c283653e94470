#pragma once
// An image that describes itself: size, pixel, background and no-data pixels, lookup table,
// dynamic range, geo placement, metadata and magnification range. Reference-counted.

#include "model/KVIGeoCoord.h"
#include "model/KVIPixel.h"
#include "support/KVIReferenceCountedObject.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class KVIMetadataDatabase;
class KVIPixelLookupTable;

class KVIImage : public KVIReferenceCountedObject {
public:
    virtual std::uint32_t getWidth() const = 0;
    virtual std::uint32_t getHeight() const = 0;
    // The image's size at a magnification.
    virtual KVStatus getDimsAtMag(double magnification, std::uint32_t& width,
                                  std::uint32_t& height) const = 0;
    virtual KVIPixel getPixelProps() const = 0;
    // Null when the image has none.
    virtual const KVIPixel* getBackgroundPixel() const = 0;
    virtual const KVIPixel* getNoDataPixel() const = 0;
    virtual const KVIPixelLookupTable* getPixelLookupTable() const = 0;
    virtual KVIPixel getMinDynamicRange() const = 0;
    virtual KVIPixel getMaxDynamicRange() const = 0;
    virtual KVIGeoCoord getGeoCoord() const = 0;
    // True when the geo coordinate was made up rather than read.
    virtual bool isGeoCoordImplicit() const = 0;
    virtual const KVIMetadataDatabase& getMetadata() const = 0;
    virtual double getMinMagnification() const = 0;
    virtual double getMaxMagnification() const = 0;

    // The data type shared by every band of the pixel props.
    std::uint32_t getDataType() const;
    // Width x height x the bytes of the colour bands of one pixel (an alpha band is not counted);
    // held at the largest u64 should it not fit.
    std::uint64_t getDataSize() const;
    // A copy of the background pixel; without one, the pixel props with every colour band at its
    // minimum (its maximum for the subtractive colour spaces) and an alpha band at its maximum.
    std::unique_ptr<KVIPixel> makeBackgroundPixel() const;

protected:
    ~KVIImage() override;
};

} // namespace Korvel
