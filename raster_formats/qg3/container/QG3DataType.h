#pragma once
// Sample data-type codes of the container format (one byte on disk) and what they map to.
// Old packets store the type as a bit count; getOldFormBitCount and dataTypeFromOldFormBitCount
// convert between the two forms.

#include <cstdint>

namespace Korvel {

inline constexpr std::uint32_t QG3_DATATYPE_UINT8 = 5;
inline constexpr std::uint32_t QG3_DATATYPE_SINT8 = 6;
inline constexpr std::uint32_t QG3_DATATYPE_UINT16 = 7;
inline constexpr std::uint32_t QG3_DATATYPE_SINT16 = 8;
inline constexpr std::uint32_t QG3_DATATYPE_UINT32 = 9;
inline constexpr std::uint32_t QG3_DATATYPE_SINT32 = 10;
inline constexpr std::uint32_t QG3_DATATYPE_UINT64 = 11;
inline constexpr std::uint32_t QG3_DATATYPE_SINT64 = 12;
inline constexpr std::uint32_t QG3_DATATYPE_FLOAT32 = 13;
inline constexpr std::uint32_t QG3_DATATYPE_FLOAT64 = 14;

// Bits and bytes of one sample; 0 for an unknown code.
std::uint32_t getDataTypeBits(std::uint32_t code);
std::uint32_t getDataTypeBytes(std::uint32_t code);
std::uint32_t getOldFormBitCount(std::uint32_t code);
// 0 for a bit count that no code has.
std::uint32_t dataTypeFromOldFormBitCount(std::uint32_t bits);
bool isSignedDataType(std::uint32_t code);
// The KVISample data type, or KVI_DATATYPE_NONE when the code cannot be decoded.
std::uint32_t getSampleDataType(std::uint32_t code);

} // namespace Korvel
