#include "model/KVIPixel.h"

#include "support/KVUtilException.h"

#include <algorithm>
#include <iterator>

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

// The number of colours the colour space names for its first bands.
std::uint16_t namedColors(std::uint32_t colorSpace) {
    switch (colorSpace & ~KVI_COLORSPACE_ALPHA_BITS) {
    case KVI_COLORSPACE_GREY:
        return 1;
    case KVI_COLORSPACE_RGB:
        return 3;
    case KVI_COLORSPACE_CMYK:
        return 4;
    default:
        return 0;
    }
}

} // namespace

KVIPixel::KVIPixel() : KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8) {}

KVIPixel::KVIPixel(std::uint32_t colorSpace, std::uint16_t numBands, std::uint32_t dataType,
                   const KVISample* samples)
    : numBands_(numBands), colorSpace_(colorSpace) {
    if (samples == nullptr && numBands >= kKindsFromBands) {
        // Every band of a kind is alike: one sample per kind, in the colour of its bands (the
        // named kinds in band order, so band k of them is kind k).
        byKind_ = true;
        wide_.reserve(kKinds);
        for (std::uint16_t kind = 0; kind < kKinds; ++kind) {
            const std::uint16_t band =
                kind == kAlphaKind ? static_cast<std::uint16_t>(numBands - 1) : kind;
            wide_.emplace_back(kind == kOtherKind ? KVI_BAND_OTHER
                                                  : bandColor(colorSpace, numBands, band),
                               dataType);
        }
        return;
    }
    if (numBands > kInlineBands) wide_.resize(numBands);
    KVISample* own = this->samples();
    for (std::uint16_t band = 0; band < numBands; ++band)
        own[band] = samples != nullptr ? samples[band]
                                       : KVISample(bandColor(colorSpace, numBands, band), dataType);
}

std::uint16_t KVIPixel::kindOf(std::uint16_t band) const {
    if ((colorSpace_ & KVI_COLORSPACE_ALPHA_BITS) != 0 && band + 1u == numBands_) return kAlphaKind;
    return band < namedColors(colorSpace_) ? band : kOtherKind;
}

void KVIPixel::ownBands() {
    if (!byKind_) return;
    std::vector<KVISample> bands;
    bands.reserve(numBands_);
    for (std::uint16_t band = 0; band < numBands_; ++band)
        bands.push_back(wide_[kindOf(band)]);
    wide_ = std::move(bands);
    byKind_ = false;
}

template <class Apply> void KVIPixel::forEachHeld(Apply apply) {
    if (byKind_) {
        for (KVISample& kind : wide_)
            apply(kind);
        return;
    }
    for (std::uint16_t band = 0; band < numBands_; ++band)
        apply(samples()[band]);
}

template <class Apply> void KVIPixel::combineWith(const KVIPixel& other, Apply apply) {
    const std::uint16_t common = std::min(numBands_, other.numBands_);
    if (byKind_ && other.byKind_) {
        // Between these cuts (each named colour, the last band of either pixel, the end of the
        // bands both have) every band pairs the same two kinds. Each kind of this pixel must meet
        // one kind of the other's, or none when its bands all lie beyond the other's, else its
        // bands would come apart.
        std::uint16_t cuts[] = {0,
                                1,
                                2,
                                3,
                                kNamedKinds,
                                static_cast<std::uint16_t>(numBands_ - 1),
                                static_cast<std::uint16_t>(other.numBands_ - 1),
                                common,
                                numBands_};
        std::sort(std::begin(cuts), std::end(cuts));
        constexpr int kNone = kKinds;
        int partner[kKinds] = {-1, -1, -1, -1, -1, -1};
        bool alike = true;
        for (std::size_t c = 0; c + 1 < std::size(cuts) && alike; ++c) {
            const std::uint16_t band = cuts[c];
            if (band >= cuts[c + 1] || band >= numBands_) continue;
            const std::uint16_t kind = kindOf(band);
            const int met = band < common ? other.kindOf(band) : kNone;
            alike = partner[kind] < 0 || partner[kind] == met;
            partner[kind] = met;
        }
        if (alike) {
            for (std::uint16_t kind = 0; kind < kKinds; ++kind)
                if (partner[kind] >= 0 && partner[kind] != kNone)
                    apply(wide_[kind], other.wide_[static_cast<std::size_t>(partner[kind])]);
            return;
        }
    }
    ownBands();
    for (std::uint16_t band = 0; band < common; ++band)
        apply(samples()[band], other.sample(band));
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
    // The kinds of a pixel that keeps them share the type it was made with.
    if (byKind_) return wide_[kOtherKind].getDataType();
    const KVISample* own = samples();
    const std::uint32_t type = own[0].getDataType();
    for (std::uint16_t band = 1; band < numBands_; ++band)
        if (own[band].getDataType() != type) return KVI_DATATYPE_NONE;
    return type;
}

KVISample& KVIPixel::getSample(std::uint16_t band) {
    if (band >= numBands_) throw KVUtilException(KV_BAD_ARGUMENT);
    ownBands();
    return samples()[band];
}

const KVISample& KVIPixel::getSample(std::uint16_t band) const {
    if (band >= numBands_) throw KVUtilException(KV_BAD_ARGUMENT);
    return sample(band);
}

void* KVIPixel::getSampleValueAddr(std::uint16_t band) {
    if (band >= numBands_) return nullptr;
    ownBands();
    return samples()[band].getValueAddr();
}

const void* KVIPixel::getSampleValueAddr(std::uint16_t band) const {
    return band < numBands_ ? sample(band).getValueAddr() : nullptr;
}

void KVIPixel::setSampleValueFromBytes(std::uint16_t band, const void* bytes) {
    if (band >= numBands_) return;
    ownBands();
    samples()[band].setValueFromBytes(bytes);
}

std::uint32_t KVIPixel::getNumBytes() const {
    if (byKind_) return std::uint32_t{numBands_} * wide_[kOtherKind].getNumBytes();
    std::uint32_t total = 0;
    for (std::uint16_t band = 0; band < numBands_; ++band)
        total += samples()[band].getNumBytes();
    return total;
}

std::uint32_t KVIPixel::getNumColorBytes() const {
    if (byKind_) return std::uint32_t{getNumColorBands()} * wide_[kOtherKind].getNumBytes();
    std::uint32_t total = 0;
    for (std::uint16_t band = 0; band < getNumColorBands(); ++band)
        total += samples()[band].getNumBytes();
    return total;
}

void KVIPixel::setSampleValuesUint8(const std::uint8_t* values) {
    if (values == nullptr) return;
    ownBands();
    for (std::uint16_t band = 0; band < numBands_; ++band)
        samples()[band].setUint8(values[band]);
}

void KVIPixel::setSampleValuesUint16(const std::uint16_t* values) {
    if (values == nullptr) return;
    ownBands();
    for (std::uint16_t band = 0; band < numBands_; ++band)
        samples()[band].setUint16(values[band]);
}

void KVIPixel::setSampleValuesFromDouble(double value) {
    forEachHeld([value](KVISample& s) { s.setFromDouble(value); });
}

void KVIPixel::setToMin() {
    forEachHeld([](KVISample& s) { s.setToMin(); });
}

void KVIPixel::setToMax() {
    forEachHeld([](KVISample& s) { s.setToMax(); });
}

void KVIPixel::keepMinOf(const KVIPixel& other) {
    combineWith(other, [](KVISample& own, const KVISample& theirs) { own.keepMin(theirs); });
}

void KVIPixel::keepMaxOf(const KVIPixel& other) {
    combineWith(other, [](KVISample& own, const KVISample& theirs) { own.keepMax(theirs); });
}

void KVIPixel::copyBandsOf(const KVIPixel& other) {
    combineWith(other, [](KVISample& own, const KVISample& theirs) { own = theirs; });
}

template <class Differ>
bool KVIPixel::anyBandDiffers(const KVIPixel& other, std::uint16_t count, Differ differ) const {
    // The kinds of pixels that keep them share one type: such a pair compares once.
    const std::uint16_t bands =
        byKind_ && other.byKind_ ? std::min<std::uint16_t>(count, 1) : count;
    for (std::uint16_t band = 0; band < bands; ++band)
        if (differ(sample(band), other.sample(band))) return true;
    return false;
}

bool KVIPixel::bandTypesDiffer(const KVIPixel& other, std::uint16_t count) const {
    return anyBandDiffers(other, count, [](const KVISample& own, const KVISample& theirs) {
        return own.getDataType() != theirs.getDataType();
    });
}

bool KVIPixel::hasBandsAsWideAs(const KVIPixel& other) const {
    return numBands_ >= other.numBands_ &&
           !anyBandDiffers(other, other.numBands_,
                           [](const KVISample& own, const KVISample& theirs) {
                               return own.getNumBytes() < theirs.getNumBytes();
                           });
}

bool KVIPixel::hasSameBandTypes(const KVIPixel& other) const {
    return numBands_ == other.numBands_ && !bandTypesDiffer(other, numBands_);
}

KVStatus KVIPixel::checkCompatibleStrict(const KVIPixel& other) const {
    if (numBands_ != other.numBands_) return KV_PIXEL_BAND_COUNT_MISMATCH;
    if (colorSpace_ != other.colorSpace_) return KV_PIXEL_COLOR_SPACE_MISMATCH;
    return hasSameBandTypes(other) ? KV_OK : KV_PIXEL_DATA_TYPE_MISMATCH;
}

KVStatus KVIPixel::checkCompatible(const KVIPixel& other) const {
    const std::uint16_t colorBands = getNumColorBands();
    if (colorBands != other.getNumColorBands()) return KV_PIXEL_BAND_COUNT_MISMATCH;
    if (getColorSpaceNoAlpha() != other.getColorSpaceNoAlpha())
        return KV_PIXEL_COLOR_SPACE_MISMATCH;
    return bandTypesDiffer(other, colorBands) ? KV_PIXEL_DATA_TYPE_MISMATCH : KV_OK;
}

} // namespace Korvel
