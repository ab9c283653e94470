#pragma once
// Point datatype codes, in the kernel and in the file format: (byte size << 8) | flags, flag 1
// for signed and flag 2 for floating point.

#include <cstdint>

namespace Korvel {

enum : std::uint32_t {
    DATATYPE_UINT8 = 256,
    DATATYPE_SINT8 = 257,
    DATATYPE_UINT16 = 512,
    DATATYPE_SINT16 = 513,
    DATATYPE_UINT32 = 1024,
    DATATYPE_SINT32 = 1025,
    DATATYPE_UINT64 = 2048,
    DATATYPE_SINT64 = 2049,
    DATATYPE_FLOAT32 = 1027,
    DATATYPE_FLOAT64 = 2051,
};

constexpr std::uint32_t datatypeSize(std::uint32_t datatype) {
    return (datatype >> 8) & 255;
}
constexpr bool datatypeIsSigned(std::uint32_t datatype) {
    return (datatype & 1) != 0;
}
constexpr bool datatypeIsFloat(std::uint32_t datatype) {
    return (datatype & 2) != 0;
}

// One of the ten codes above.
constexpr bool datatypeIsKnown(std::uint32_t datatype) {
    switch (datatype) {
    case DATATYPE_UINT8:
    case DATATYPE_SINT8:
    case DATATYPE_UINT16:
    case DATATYPE_SINT16:
    case DATATYPE_UINT32:
    case DATATYPE_SINT32:
    case DATATYPE_UINT64:
    case DATATYPE_SINT64:
    case DATATYPE_FLOAT32:
    case DATATYPE_FLOAT64:
        return true;
    default:
        return false;
    }
}

} // namespace Korvel
