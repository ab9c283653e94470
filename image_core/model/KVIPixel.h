#pragma once
// A pixel description: an ordered list of samples, one per band, with a colour space. Used both
// as the shape of an image's pixels and as a pixel value (background, no-data, dynamic range).
//
// A pixel of many bands made by the constructor without samples keeps one sample per kind of
// band (each colour the colour space names, the other bands, the alpha band) rather than one per
// band, for as long as every band of a kind stays alike: making, copying, comparing and setting
// whole such pixels costs the same whatever their band count, so that a header declaring tens of
// thousands of bands costs no more than one declaring a few. The first change to a single band
// gives every band its own sample.

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
    // Each band below both band counts keeps the smaller (larger) of its value and other's band's,
    // compared in its own type (KVISample::keepMin, keepMax).
    void keepMinOf(const KVIPixel& other);
    void keepMaxOf(const KVIPixel& other);
    // Each band below both band counts becomes a copy of other's band's sample.
    void copyBandsOf(const KVIPixel& other);

    // Same band count, colour space (alpha bits included) and band types.
    KVStatus checkCompatibleStrict(const KVIPixel& other) const;
    // Same colour bands, colour space apart from the alpha bits, and colour band types.
    KVStatus checkCompatible(const KVIPixel& other) const;
    // Same band count and the same data type band by band.
    bool hasSameBandTypes(const KVIPixel& other) const;
    // At least other's bands, each of at least as many bytes as other's.
    bool hasBandsAsWideAs(const KVIPixel& other) const;

private:
    // Pixels of up to four bands, nearly all of them, keep their samples in the pixel itself, so
    // that making and copying one (pixels are passed by value) allocates nothing.
    static constexpr std::uint16_t kInlineBands = 4;
    // A pixel made without samples keeps a sample per kind of band from this many bands on.
    static constexpr std::uint16_t kKindsFromBands = 64;
    // The kinds: the colour space's named colours (at most four), the other bands, the alpha band.
    static constexpr std::uint16_t kNamedKinds = 4;
    static constexpr std::uint16_t kOtherKind = 4;
    static constexpr std::uint16_t kAlphaKind = 5;
    static constexpr std::uint16_t kKinds = 6;

    // Band by band; only while the pixel does not keep kinds.
    KVISample* samples() { return numBands_ <= kInlineBands ? inline_ : wide_.data(); }
    const KVISample* samples() const { return numBands_ <= kInlineBands ? inline_ : wide_.data(); }
    // Band band's sample, in either form.
    const KVISample& sample(std::uint16_t band) const {
        return byKind_ ? wide_[kindOf(band)] : samples()[band];
    }
    std::uint16_t kindOf(std::uint16_t band) const;
    // Whether differ(own band's sample, other's) holds for any of the first count bands.
    template <class Differ>
    bool anyBandDiffers(const KVIPixel& other, std::uint16_t count, Differ differ) const;
    // Whether any of the first count bands differs in data type from other's.
    bool bandTypesDiffer(const KVIPixel& other, std::uint16_t count) const;
    // Gives every band its own sample (nothing when each has one already).
    void ownBands();
    // Calls apply(sample) for every sample the pixel holds.
    template <class Apply> void forEachHeld(Apply apply);
    // Calls apply(this band's sample, other's band's) for the bands below both counts, on one
    // sample per kind when both pixels keep kinds whose bands pair alike.
    template <class Apply> void combineWith(const KVIPixel& other, Apply apply);

    KVISample inline_[kInlineBands];
    // Every band of a pixel of more than four, or the kKinds samples of a pixel that keeps kinds;
    // empty otherwise.
    std::vector<KVISample> wide_;
    std::uint16_t numBands_;
    std::uint32_t colorSpace_;
    bool byKind_ = false;
};

} // namespace Korvel
