#pragma once
// The kernel's one dispatcher from a point datatype code to a template over its sample type. A
// kernel is written once as a generic lambda and chosen here once per channel, subband or stage,
// never per sample.

#include "DataType.h"

#include <cstdint>
#include <type_traits>

namespace Korvel {

// Calls fn with a value-initialised sample of the C++ type behind datatype (use decltype on it);
// false, without calling fn, for other codes.
template <class Fn> bool withDatatype(std::uint32_t datatype, Fn&& fn) {
    switch (datatype) {
    case DATATYPE_UINT8:
        fn(std::uint8_t{});
        return true;
    case DATATYPE_SINT8:
        fn(std::int8_t{});
        return true;
    case DATATYPE_UINT16:
        fn(std::uint16_t{});
        return true;
    case DATATYPE_SINT16:
        fn(std::int16_t{});
        return true;
    case DATATYPE_UINT32:
        fn(std::uint32_t{});
        return true;
    case DATATYPE_SINT32:
        fn(std::int32_t{});
        return true;
    case DATATYPE_UINT64:
        fn(std::uint64_t{});
        return true;
    case DATATYPE_SINT64:
        fn(std::int64_t{});
        return true;
    case DATATYPE_FLOAT32:
        fn(float{});
        return true;
    case DATATYPE_FLOAT64:
        fn(double{});
        return true;
    default:
        return false;
    }
}

// The sample types a wavelet subband holds: signed integers of 16 bits and more, and the floats.
template <class T>
inline constexpr bool isWaveletSample = std::is_floating_point_v<T> ||
                                        (std::is_signed_v<T> && sizeof(T) >= 2);

// withDatatype over the wavelet sample types alone: false, without calling fn, for the others.
template <class Fn> bool withWaveletDatatype(std::uint32_t datatype, Fn&& fn) {
    bool called = false;
    withDatatype(datatype, [&](auto zero) {
        if constexpr (isWaveletSample<decltype(zero)>) {
            fn(zero);
            called = true;
        }
    });
    return called;
}

} // namespace Korvel
