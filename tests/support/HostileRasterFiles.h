#pragma once
// Raster files made to cost a reader memory and time: a good file followed by a run of zero
// bytes (each three of them an empty packet), or by a long run of tiny packets.

#include "RasterFileWriter.h"

#include <cstddef>

namespace quarn_test {

// The 2^20 tiny packets of the second kind.
inline constexpr std::size_t kManyTinyPackets = std::size_t(1) << 20;

inline Bytes withTrailingZeros(Bytes file, std::size_t zeros) {
    file.resize(file.size() + zeros, 0);
    return file;
}

// count empty metadata packets: type 2, no keys, a one-byte body length of 0.
inline Bytes withTinyPackets(Bytes file, std::size_t count) {
    file.reserve(file.size() + 3 * count);
    for (std::size_t i = 0; i < count; ++i)
        file.insert(file.end(), {0x02, 0x00, 0x00});
    return file;
}

} // namespace quarn_test
