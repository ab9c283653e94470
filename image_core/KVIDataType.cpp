#include "KVIDataType.h"

namespace Korvel {

std::uint8_t getDataTypeSize(std::uint32_t dataType) {
    switch (dataType) {
    case KVI_DATATYPE_UINT8:
    case KVI_DATATYPE_SINT8:
        return 1;
    case KVI_DATATYPE_UINT16:
    case KVI_DATATYPE_SINT16:
        return 2;
    case KVI_DATATYPE_UINT32:
    case KVI_DATATYPE_SINT32:
    case KVI_DATATYPE_FLOAT32:
        return 4;
    case KVI_DATATYPE_FLOAT64:
        return 8;
    default:
        return 0;
    }
}

bool isValidDataType(std::uint32_t dataType) {
    return dataType >= KVI_DATATYPE_UINT8 && dataType <= KVI_DATATYPE_FLOAT64;
}

} // namespace Korvel
