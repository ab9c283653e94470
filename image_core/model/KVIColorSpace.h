#pragma once
// Colour-space values of a pixel and the colour of each band.
//
// Bits 8-15 of a colour space give the number of colour bands (0xFF: any number), bits 0-7 a
// variant; either alpha bit marks an extra, last band that carries alpha.

#include <cstdint>

namespace Korvel {

inline constexpr std::uint32_t KVI_COLORSPACE_GREY = 0x101;
inline constexpr std::uint32_t KVI_COLORSPACE_RGB = 0x301;
inline constexpr std::uint32_t KVI_COLORSPACE_CMYK = 0x402;
inline constexpr std::uint32_t KVI_COLORSPACE_MULTIBAND = 0xFF01;
inline constexpr std::uint32_t KVI_COLORSPACE_ALPHA = 0x10000;
inline constexpr std::uint32_t KVI_COLORSPACE_PREMULTIPLIED_ALPHA = 0x20000;
inline constexpr std::uint32_t KVI_COLORSPACE_ALPHA_BITS =
    KVI_COLORSPACE_ALPHA | KVI_COLORSPACE_PREMULTIPLIED_ALPHA;

inline constexpr std::uint32_t KVI_BAND_RED = 1;
inline constexpr std::uint32_t KVI_BAND_GREEN = 2;
inline constexpr std::uint32_t KVI_BAND_BLUE = 3;
inline constexpr std::uint32_t KVI_BAND_CYAN = 4;
inline constexpr std::uint32_t KVI_BAND_MAGENTA = 5;
inline constexpr std::uint32_t KVI_BAND_YELLOW = 6;
inline constexpr std::uint32_t KVI_BAND_BLACK = 7;
inline constexpr std::uint32_t KVI_BAND_GREY = 8;
inline constexpr std::uint32_t KVI_BAND_OTHER = 9;
inline constexpr std::uint32_t KVI_BAND_ALPHA = 10;
inline constexpr std::uint32_t KVI_BAND_PREMULTIPLIED_ALPHA = 11;

} // namespace Korvel
