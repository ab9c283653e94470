#include "stages/KVIImage.h"

#include <limits>

namespace Korvel {

namespace {

// Colour spaces whose empty colour is the maximum of every band.
constexpr std::uint32_t kSubtractiveSpaces[] = {0x402, 0x302};

} // namespace

KVIImage::~KVIImage() = default;

std::uint32_t KVIImage::getDataType() const {
    return getPixelProps().getDataType();
}

std::uint64_t KVIImage::getDataSize() const {
    const std::uint64_t pixels = std::uint64_t{getWidth()} * getHeight();
    std::uint64_t size = 0;
    if (__builtin_mul_overflow(pixels, std::uint64_t{getPixelProps().getNumColorBytes()}, &size))
        return std::numeric_limits<std::uint64_t>::max();
    return size;
}

std::unique_ptr<KVIPixel> KVIImage::makeBackgroundPixel() const {
    if (const KVIPixel* background = getBackgroundPixel())
        return std::make_unique<KVIPixel>(*background);
    auto pixel = std::make_unique<KVIPixel>(getPixelProps());
    bool subtractive = false;
    for (std::uint32_t space : kSubtractiveSpaces)
        subtractive = subtractive || pixel->getColorSpaceNoAlpha() == space;
    if (subtractive)
        pixel->setToMax();
    else
        pixel->setToMin();
    if (pixel->hasAlpha() && pixel->getNumBands() > 0)
        pixel->getSample(static_cast<std::uint16_t>(pixel->getNumBands() - 1)).setToMax();
    return pixel;
}

} // namespace Korvel
