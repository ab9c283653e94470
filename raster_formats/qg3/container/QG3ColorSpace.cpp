#include "qg3/container/QG3ColorSpace.h"

namespace Korvel {

namespace {

constexpr std::uint32_t kAlphaBit = 0x40;
constexpr std::uint32_t kPremultipliedBit = 0x80;

std::uint32_t baseValue(std::uint32_t base) {
    switch (base) {
    case 1:
        return 0x0101;
    case 5:
        return 0xFF01;
    case 8:
        return 0x0303;
    case 9:
        return 0x0403;
    case 10:
        return 0x0301;
    case 11:
        return 0x0402;
    case 12:
        return 0x0401;
    default:
        return 0;
    }
}

} // namespace

std::uint32_t colorSpaceToPixelColorSpace(std::uint32_t code) {
    // Code 4 is an older name for code 8 with alpha.
    if (code == 4) return 0x10303;
    if (code > 0xFF || (code & kAlphaBit && code & kPremultipliedBit)) return 0;
    const std::uint32_t base = baseValue(code & 0x3F);
    if (base == 0) return 0;
    if (code & kAlphaBit) return base + 0x10000;
    if (code & kPremultipliedBit) return base + 0x30000;
    return base;
}

} // namespace Korvel
