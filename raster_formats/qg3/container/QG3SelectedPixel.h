#pragma once
// Pixels of the selected bands of an image: the colour space such a pixel takes, and a pixel of
// the whole image reduced to the selected bands.

#include "model/KVIPixel.h"

#include <cstdint>

namespace Korvel {

class QG3BandSet;

// fullColorSpace when every band is selected; else grey for one band and multiband for more.
std::uint32_t selectedColorSpace(const QG3BandSet& set, std::uint32_t fullColorSpace);
// The selected bands of a pixel of the whole image, in band order, as a pixel of colorSpace;
// false when the pixel lacks one of them.
bool reducePixel(const KVIPixel& pixel, const QG3BandSet& set, std::uint32_t colorSpace,
                 KVIPixel& out);

} // namespace Korvel
