#pragma once
// Colour-space codes of the container format (one byte on disk) and the KVIPixel colour space
// each stands for. Bit 6 of a code marks an alpha band, bit 7 a premultiplied alpha band.

#include <cstdint>

namespace Korvel {

// 0 for a code that has no pixel colour space.
std::uint32_t colorSpaceToPixelColorSpace(std::uint32_t code);

} // namespace Korvel
