#include "model/KVIPixel.h"

#include "support/KVUtilException.h"

namespace Korvel {

namespace {

// Colour of band i of a new pixel: the colour bands the colour space names, "other" for the
// rest and, with an alpha bit, the alpha colour for the last band. The named colours never run
// past the band count, and the alpha band is always the last one.
std::uint32_t bandColor(std::uint32_t colorSpace, std::uint16_t numBands, std::uint16_t band) {
    static constexpr std::uint32_t kGrey[] = {KVI_BAND_GREY};
    static constexpr std::uint32_t kRgb[] = {KVI_BAND_RED, KVI_BAND_GREEN, KVI_BAND_BLUE};
    static constexpr std::uint32_t kCmyk[] = {KVI_BAND_CYAN, KVI_BAND_MAGENTA, KVI_BAND_YELLOW,
                                              KVI_BAND_BLACK};

    const bool alpha = (colorSpace & KVI_COLORSPACE_ALPHA_BITS) != 0;
    if (alpha && band + 1u == numBands)
        return (colorSpace & KVI_COLORSPACE_PREMULTIPLIED_ALPHA) ? KVI_BAND_PREMULTIPLIED_ALPHA
                                                                 : KVI_BAND_ALPHA;
    switch (colorSpace & ~KVI_COLORSPACE_ALPHA_BITS) {
    case KVI_COLORSPACE_GREY:
        return band < 1 ? kGrey[band] : KVI_BAND_OTHER;
    case KVI_COLORSPACE_RGB:
        return band < 3 ? kRgb[band] : KVI_BAND_OTHER;
    case KVI_COLORSPACE_CMYK:
        return band < 4 ? kCmyk[band] : KVI_BAND_OTHER;
    default:
        return KVI_BAND_OTHER;
    }
}

} // namespace

KVIPixel::KVIPixel() : KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8) {}

KVIPixel::KVIPixel(std::uint32_t colorSpace, std::uint16_t numBands, std::uint32_t dataType,
                   const KVISample* samples)
    : numBands_(numBands), colorSpace_(colorSpace) {
    if (numBands > kInlineBands) wide_.resize(numBands);
    KVISample* own = this->samples();
    for (std::uint16_t band = 0; band < numBands; ++band)
        own[band] = samples != nullptr ? samples[band]
                                       : KVISample(bandColor(colorSpace, numBands, band), dataType);
}

std::uint32_t KVIPixel::getColorSpaceNoAlpha() const {
    return colorSpace_ & ~KVI_COLORSPACE_ALPHA_BITS;
}

bool KVIPixel::hasAlpha() const {
    return (colorSpace_ & KVI_COLORSPACE_ALPHA_BITS) != 0;
}

std::uint16_t KVIPixel::getNumColorBands() const {
    return (hasAlpha() && numBands_ > 0) ? static_cast<std::uint16_t>(numBands_ - 1) : numBands_;
}

std::uint32_t KVIPixel::getDataType() const {
    if (numBands_ == 0) return KVI_DATATYPE_NONE;
    const KVISample* own = samples();
    const std::uint32_t type = own[0].getDataType();
    for (std::uint16_t band = 1; band < numBands_; ++band)
        if (own[band].getDataType() != type) return KVI_DATATYPE_NONE;
    return type;
}

KVISample& KVIPixel::getSample(std::uint16_t band) {
    if (band >= numBands_) throw KVUtilException(KV_BAD_ARGUMENT);
    return samples()[band];
}

const KVISample& KVIPixel::getSample(std::uint16_t band) const {
    if (band >= numBands_) throw KVUtilException(KV_BAD_ARGUMENT);
    return samples()[band];
}

void* KVIPixel::getSampleValueAddr(std::uint16_t band) {
    return band < numBands_ ? samples()[band].getValueAddr() : nullptr;
}

const void* KVIPixel::getSampleValueAddr(std::uint16_t band) const {
    return band < numBands_ ? samples()[band].getValueAddr() : nullptr;
}

void KVIPixel::setSampleValueFromBytes(std::uint16_t band, const void* bytes) {
    if (band < numBands_) samples()[band].setValueFromBytes(bytes);
}

std::uint32_t KVIPixel::getNumBytes() const {
    std::uint32_t total = 0;
    for (std::uint16_t band = 0; band < numBands_; ++band)
        total += samples()[band].getNumBytes();
    return total;
}

std::uint32_t KVIPixel::getNumColorBytes() const {
    std::uint32_t total = 0;
    for (std::uint16_t band = 0; band < getNumColorBands(); ++band)
        total += samples()[band].getNumBytes();
    return total;
}

void KVIPixel::setSampleValuesUint8(const std::uint8_t* values) {
    if (values == nullptr) return;
    for (std::uint16_t band = 0; band < numBands_; ++band)
        samples()[band].setUint8(values[band]);
}

void KVIPixel::setSampleValuesUint16(const std::uint16_t* values) {
    if (values == nullptr) return;
    for (std::uint16_t band = 0; band < numBands_; ++band)
        samples()[band].setUint16(values[band]);
}

void KVIPixel::setSampleValuesFromDouble(double value) {
    for (std::uint16_t band = 0; band < numBands_; ++band)
        samples()[band].setFromDouble(value);
}

void KVIPixel::setToMin() {
    for (std::uint16_t band = 0; band < numBands_; ++band)
        samples()[band].setToMin();
}

void KVIPixel::setToMax() {
    for (std::uint16_t band = 0; band < numBands_; ++band)
        samples()[band].setToMax();
}

KVStatus KVIPixel::checkCompatibleStrict(const KVIPixel& other) const {
    if (numBands_ != other.numBands_) return KV_PIXEL_BAND_COUNT_MISMATCH;
    if (colorSpace_ != other.colorSpace_) return KV_PIXEL_COLOR_SPACE_MISMATCH;
    for (std::uint16_t band = 0; band < numBands_; ++band)
        if (samples()[band].getDataType() != other.samples()[band].getDataType())
            return KV_PIXEL_DATA_TYPE_MISMATCH;
    return KV_OK;
}

KVStatus KVIPixel::checkCompatible(const KVIPixel& other) const {
    const std::uint16_t colorBands = getNumColorBands();
    if (colorBands != other.getNumColorBands()) return KV_PIXEL_BAND_COUNT_MISMATCH;
    if (getColorSpaceNoAlpha() != other.getColorSpaceNoAlpha())
        return KV_PIXEL_COLOR_SPACE_MISMATCH;
    for (std::uint16_t band = 0; band < colorBands; ++band)
        if (samples()[band].getDataType() != other.samples()[band].getDataType())
            return KV_PIXEL_DATA_TYPE_MISMATCH;
    return KV_OK;
}

} // namespace Korvel
