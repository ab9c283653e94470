#include "KVIPixel.h"

#include "KVUtilException.h"

namespace Korvel {

namespace {

// Colour of every band of a new pixel: the colour bands the colour space names, "other" for the
// rest and, with an alpha bit, the alpha colour for the last band. The named colours never run
// past the band count, and the alpha band is always the last one.
std::vector<std::uint32_t> bandColors(std::uint32_t colorSpace, std::uint16_t numBands) {
    static constexpr std::uint32_t kGrey[] = {KVI_BAND_GREY};
    static constexpr std::uint32_t kRgb[] = {KVI_BAND_RED, KVI_BAND_GREEN, KVI_BAND_BLUE};
    static constexpr std::uint32_t kCmyk[] = {KVI_BAND_CYAN, KVI_BAND_MAGENTA, KVI_BAND_YELLOW,
                                              KVI_BAND_BLACK};

    const bool alpha = (colorSpace & KVI_COLORSPACE_ALPHA_BITS) != 0;
    const std::size_t colorBands = (alpha && numBands > 0) ? numBands - 1u : numBands;
    std::vector<std::uint32_t> colors(numBands, KVI_BAND_OTHER);

    const std::uint32_t* named = nullptr;
    std::size_t namedCount = 0;
    switch (colorSpace & ~KVI_COLORSPACE_ALPHA_BITS) {
    case KVI_COLORSPACE_GREY:
        named = kGrey;
        namedCount = 1;
        break;
    case KVI_COLORSPACE_RGB:
        named = kRgb;
        namedCount = 3;
        break;
    case KVI_COLORSPACE_CMYK:
        named = kCmyk;
        namedCount = 4;
        break;
    default:
        break;
    }
    for (std::size_t i = 0; i < namedCount && i < colorBands; ++i)
        colors[i] = named[i];
    if (alpha && numBands > 0)
        colors[numBands - 1] = (colorSpace & KVI_COLORSPACE_PREMULTIPLIED_ALPHA)
                                   ? KVI_BAND_PREMULTIPLIED_ALPHA
                                   : KVI_BAND_ALPHA;
    return colors;
}

} // namespace

KVIPixel::KVIPixel() : KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8) {}

KVIPixel::KVIPixel(std::uint32_t colorSpace, std::uint16_t numBands, std::uint32_t dataType,
                   const KVISample* samples)
    : numBands_(numBands), colorSpace_(colorSpace) {
    samples_.reserve(numBands);
    if (samples != nullptr) {
        samples_.assign(samples, samples + numBands);
        return;
    }
    for (std::uint32_t color : bandColors(colorSpace, numBands))
        samples_.emplace_back(color, dataType);
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
    if (samples_.empty()) return KVI_DATATYPE_NONE;
    const std::uint32_t type = samples_.front().getDataType();
    for (const KVISample& sample : samples_)
        if (sample.getDataType() != type) return KVI_DATATYPE_NONE;
    return type;
}

KVISample& KVIPixel::getSample(std::uint16_t band) {
    if (band >= numBands_) throw KVUtilException(KV_BAD_ARGUMENT);
    return samples_[band];
}

const KVISample& KVIPixel::getSample(std::uint16_t band) const {
    if (band >= numBands_) throw KVUtilException(KV_BAD_ARGUMENT);
    return samples_[band];
}

void* KVIPixel::getSampleValueAddr(std::uint16_t band) {
    return band < numBands_ ? samples_[band].getValueAddr() : nullptr;
}

const void* KVIPixel::getSampleValueAddr(std::uint16_t band) const {
    return band < numBands_ ? samples_[band].getValueAddr() : nullptr;
}

void KVIPixel::setSampleValueFromBytes(std::uint16_t band, const void* bytes) {
    if (band < numBands_) samples_[band].setValueFromBytes(bytes);
}

std::uint32_t KVIPixel::getNumBytes() const {
    std::uint32_t total = 0;
    for (const KVISample& sample : samples_)
        total += sample.getNumBytes();
    return total;
}

std::uint32_t KVIPixel::getNumColorBytes() const {
    std::uint32_t total = 0;
    for (std::uint16_t band = 0; band < getNumColorBands(); ++band)
        total += samples_[band].getNumBytes();
    return total;
}

void KVIPixel::setSampleValuesUint8(const std::uint8_t* values) {
    if (values == nullptr) return;
    for (std::uint16_t band = 0; band < numBands_; ++band)
        samples_[band].setUint8(values[band]);
}

void KVIPixel::setSampleValuesUint16(const std::uint16_t* values) {
    if (values == nullptr) return;
    for (std::uint16_t band = 0; band < numBands_; ++band)
        samples_[band].setUint16(values[band]);
}

void KVIPixel::setSampleValuesFromDouble(double value) {
    for (KVISample& sample : samples_)
        sample.setFromDouble(value);
}

void KVIPixel::setToMin() {
    for (KVISample& sample : samples_)
        sample.setToMin();
}

void KVIPixel::setToMax() {
    for (KVISample& sample : samples_)
        sample.setToMax();
}

KVStatus KVIPixel::checkCompatibleStrict(const KVIPixel& other) const {
    if (numBands_ != other.numBands_) return KV_PIXEL_BAND_COUNT_MISMATCH;
    if (colorSpace_ != other.colorSpace_) return KV_PIXEL_COLOR_SPACE_MISMATCH;
    for (std::uint16_t band = 0; band < numBands_; ++band)
        if (samples_[band].getDataType() != other.samples_[band].getDataType())
            return KV_PIXEL_DATA_TYPE_MISMATCH;
    return KV_OK;
}

KVStatus KVIPixel::checkCompatible(const KVIPixel& other) const {
    const std::uint16_t colorBands = getNumColorBands();
    if (colorBands != other.getNumColorBands()) return KV_PIXEL_BAND_COUNT_MISMATCH;
    if (getColorSpaceNoAlpha() != other.getColorSpaceNoAlpha())
        return KV_PIXEL_COLOR_SPACE_MISMATCH;
    for (std::uint16_t band = 0; band < colorBands; ++band)
        if (samples_[band].getDataType() != other.samples_[band].getDataType())
            return KV_PIXEL_DATA_TYPE_MISMATCH;
    return KV_OK;
}

} // namespace Korvel
