#include "qg3/container/QG3DataType.h"

#include "model/KVIDataType.h"

namespace Korvel {

namespace {

struct TypeRow {
    std::uint8_t bits;
    std::uint8_t oldBits;
    std::uint8_t sampleType;
};

// Indexed by code; code 0 and codes beyond the table have no type.
constexpr TypeRow kTypes[] = {
    {0, 0, KVI_DATATYPE_NONE},     {8, 0, KVI_DATATYPE_NONE},      {16, 0, KVI_DATATYPE_NONE},
    {24, 0, KVI_DATATYPE_NONE},    {32, 0, KVI_DATATYPE_NONE},     {8, 8, KVI_DATATYPE_UINT8},
    {8, 7, KVI_DATATYPE_SINT8},    {16, 16, KVI_DATATYPE_UINT16},  {16, 15, KVI_DATATYPE_SINT16},
    {32, 32, KVI_DATATYPE_UINT32}, {32, 31, KVI_DATATYPE_SINT32},  {64, 64, KVI_DATATYPE_NONE},
    {64, 63, KVI_DATATYPE_NONE},   {32, 24, KVI_DATATYPE_FLOAT32}, {64, 48, KVI_DATATYPE_NONE},
};
constexpr std::uint32_t kTypeCount = sizeof(kTypes) / sizeof(kTypes[0]);

const TypeRow& row(std::uint32_t code) {
    return kTypes[code < kTypeCount ? code : 0];
}

} // namespace

std::uint32_t getDataTypeBits(std::uint32_t code) {
    return row(code).bits;
}

std::uint32_t getDataTypeBytes(std::uint32_t code) {
    return (getDataTypeBits(code) + 7) / 8;
}

std::uint32_t getOldFormBitCount(std::uint32_t code) {
    return row(code).oldBits;
}

std::uint32_t dataTypeFromOldFormBitCount(std::uint32_t bits) {
    if (bits == 0) return 0;
    for (std::uint32_t code = 0; code < kTypeCount; ++code)
        if (kTypes[code].oldBits == bits) return code;
    return 0;
}

bool isSignedDataType(std::uint32_t code) {
    switch (code) {
    case QG3_DATATYPE_SINT8:
    case QG3_DATATYPE_SINT16:
    case QG3_DATATYPE_SINT32:
    case QG3_DATATYPE_SINT64:
    case QG3_DATATYPE_FLOAT32:
    case QG3_DATATYPE_FLOAT64:
        return true;
    default:
        return false;
    }
}

std::uint32_t getSampleDataType(std::uint32_t code) {
    return row(code).sampleType;
}

} // namespace Korvel
