#pragma once
// A pixel description: an ordered list of samples, one per band, with a colour space. Used both
// as the shape of an image's pixels and as a pixel value (background, no-data, dynamic range).

#include "model/KVISample.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <vector>

namespace Korvel {

class KVIPixel {
public:
    // One grey band of unsigned 8-bit samples.
    KVIPixel();
    // With samples, band i is a copy of samples[i]; without, bands get the colours of the colour
    // space, all of dataType with value 0.
    KVIPixel(std::uint32_t colorSpace, std::uint16_t numBands, std::uint32_t dataType,
             const KVISample* samples = nullptr);
    KVIPixel(const KVIPixel&) = default;
    KVIPixel& operator=(const KVIPixel&) = default;
    virtual ~KVIPixel() = default;

    std::uint16_t getNumBands() const { return numBands_; }
    std::uint32_t getColorSpace() const { return colorSpace_; }
    std::uint32_t getColorSpaceNoAlpha() const;
    bool hasAlpha() const;
    std::uint16_t getNumColorBands() const;
    // The data type shared by every band, or KVI_DATATYPE_NONE when they differ.
    std::uint32_t getDataType() const;

    // Out-of-range indices throw KVUtilException with KV_BAD_ARGUMENT.
    KVISample& getSample(std::uint16_t band);
    const KVISample& getSample(std::uint16_t band) const;
    // Null for an out-of-range index.
    void* getSampleValueAddr(std::uint16_t band);
    const void* getSampleValueAddr(std::uint16_t band) const;
    void setSampleValueFromBytes(std::uint16_t band, const void* bytes);

    std::uint32_t getNumBytes() const;
    std::uint32_t getNumColorBytes() const;

    void setSampleValuesUint8(const std::uint8_t* values);
    void setSampleValuesUint16(const std::uint16_t* values);
    void setSampleValuesFromDouble(double value);
    void setToMin();
    void setToMax();

    // Same band count, colour space (alpha bits included) and band types.
    KVStatus checkCompatibleStrict(const KVIPixel& other) const;
    // Same colour bands, colour space apart from the alpha bits, and colour band types.
    KVStatus checkCompatible(const KVIPixel& other) const;

private:
    // Pixels of up to four bands, nearly all of them, keep their samples in the pixel itself, so
    // that making and copying one (pixels are passed by value) allocates nothing.
    static constexpr std::uint16_t kInlineBands = 4;
    KVISample* samples() { return numBands_ <= kInlineBands ? inline_ : wide_.data(); }
    const KVISample* samples() const { return numBands_ <= kInlineBands ? inline_ : wide_.data(); }

    KVISample inline_[kInlineBands];
    // Every band of a pixel of more than four; empty otherwise.
    std::vector<KVISample> wide_;
    std::uint16_t numBands_;
    std::uint32_t colorSpace_;
};

} // namespace Korvel
