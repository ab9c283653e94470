#pragma once
// The one dispatcher from a data type code to a template over its sample type. A pixel kernel is
// written once as a generic lambda or template and chosen here once per operation (a strip, a row
// batch), never per sample.

#include "model/KVIDataType.h"

#include <cstdint>
#include <type_traits>

namespace Korvel {

// Calls fn with a value-initialised sample of the C++ type behind dataType (use decltype on it);
// false, without calling fn, for codes without a sample type.
template <typename Fn> bool withSampleType(std::uint32_t dataType, Fn&& fn) {
    switch (dataType) {
    case KVI_DATATYPE_UINT8:
        fn(std::uint8_t{});
        return true;
    case KVI_DATATYPE_SINT8:
        fn(std::int8_t{});
        return true;
    case KVI_DATATYPE_UINT16:
        fn(std::uint16_t{});
        return true;
    case KVI_DATATYPE_SINT16:
        fn(std::int16_t{});
        return true;
    case KVI_DATATYPE_UINT32:
        fn(std::uint32_t{});
        return true;
    case KVI_DATATYPE_SINT32:
        fn(std::int32_t{});
        return true;
    case KVI_DATATYPE_FLOAT32:
        fn(float{});
        return true;
    case KVI_DATATYPE_FLOAT64:
        fn(double{});
        return true;
    default:
        return false;
    }
}

} // namespace Korvel
