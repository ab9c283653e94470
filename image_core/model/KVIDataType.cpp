#include "model/KVIDataType.h"

#include "model/KVIDataTypeDispatch.h"

namespace Korvel {

std::uint8_t getDataTypeSize(std::uint32_t dataType) {
    std::uint8_t size = 0;
    withSampleType(dataType, [&](auto zero) { size = sizeof(zero); });
    return size;
}

bool isValidDataType(std::uint32_t dataType) {
    return dataType >= KVI_DATATYPE_UINT8 && dataType <= KVI_DATATYPE_FLOAT64;
}

} // namespace Korvel
