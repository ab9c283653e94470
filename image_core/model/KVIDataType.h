#pragma once
// Sample data types of the image model and their sizes. Floating-point samples are normalised to
// [0.0, 1.0]; 0 stands for "no type", as reported by a pixel whose bands differ in type.

#include <cstdint>

namespace Korvel {

inline constexpr std::uint32_t KVI_DATATYPE_NONE = 0;
inline constexpr std::uint32_t KVI_DATATYPE_UINT8 = 1;
inline constexpr std::uint32_t KVI_DATATYPE_SINT8 = 2;
inline constexpr std::uint32_t KVI_DATATYPE_UINT16 = 3;
inline constexpr std::uint32_t KVI_DATATYPE_SINT16 = 4;
inline constexpr std::uint32_t KVI_DATATYPE_UINT32 = 5;
inline constexpr std::uint32_t KVI_DATATYPE_SINT32 = 6;
inline constexpr std::uint32_t KVI_DATATYPE_FLOAT32 = 7;
inline constexpr std::uint32_t KVI_DATATYPE_FLOAT64 = 8;

// Bytes of one sample of the type; 0 for any unknown code.
std::uint8_t getDataTypeSize(std::uint32_t dataType);

// True for the codes 1 to 8.
bool isValidDataType(std::uint32_t dataType);

} // namespace Korvel
