#pragma once
// The key by which a container lists an image: its number in the file and the kind of reader
// that reads it.

#include <cstdint>

namespace Korvel {

inline constexpr std::uint32_t QG3_READER_UNKNOWN = 0;
inline constexpr std::uint32_t QG3_READER_GEN3 = 2;
// A generation-2 image stored whole inside a generation-3 container (packet type 7).
inline constexpr std::uint32_t QG3_READER_QG2 = 3;
inline constexpr std::uint32_t QG3_READER_GEN4 = 5;

struct QG3ImageDesc {
    std::uint32_t imageNumber = 0;
    std::uint32_t readerKind = QG3_READER_UNKNOWN;
};

} // namespace Korvel
