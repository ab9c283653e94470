#pragma once
// Big-endian integers, the byte order of every Quarn file: loads and stores on byte arrays, and
// whole fields read from or written to a byte stream. The one place the image core and the raster
// readers turn file bytes into numbers.

#include "streams/KVIOStreamInf.h"
#include "streams/KVIOStreamUtils.h"

#include <cstdint>
#include <limits>

namespace Korvel {

// The first sizeof(T) bytes, most significant first.
template <typename T> T loadBE(const std::uint8_t* bytes) {
    static_assert(std::numeric_limits<T>::is_integer && sizeof(T) <= 8);
    std::uint64_t v = 0;
    for (unsigned i = 0; i < sizeof(T); ++i)
        v = (v << 8) | bytes[i];
    return static_cast<T>(v);
}

// The width bytes (1 to 8) at bytes, most significant first.
inline std::uint64_t loadBE(const std::uint8_t* bytes, unsigned width) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i)
        v = (v << 8) | bytes[i];
    return v;
}

// The low width bytes of value, most significant first.
inline void storeBE(std::uint8_t* bytes, std::uint64_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
}

// One field from the stream's position; false when the stream stops short.
template <typename T> bool readBE(KVIOStreamInf* stream, T& value) {
    std::uint8_t bytes[sizeof(T)];
    if (!readExact(stream, bytes, sizeof(T))) return false;
    value = loadBE<T>(bytes);
    return true;
}

// The low width bytes of value at the stream's position; false on a short write.
inline bool writeBE(KVIOStreamInf* stream, std::uint64_t value, unsigned width) {
    std::uint8_t bytes[8];
    storeBE(bytes, value, width);
    return stream->write(bytes, width) == width;
}

} // namespace Korvel
