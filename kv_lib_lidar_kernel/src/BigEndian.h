#pragma once
// Big-endian fields of the LiDAR format, decoded from bytes or read through a buffered reader.

#include "BufferedIOReader.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace Korvel::BigEndian {

// The unsigned integer of T's width from its big-endian bytes, reinterpreted as T.
template <class T> T decode(const unsigned char* bytes) {
    static_assert(std::is_arithmetic_v<T>);
    using Bits = std::conditional_t<
        sizeof(T) == 1, std::uint8_t,
        std::conditional_t<sizeof(T) == 2, std::uint16_t,
                           std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    static_assert(sizeof(Bits) == sizeof(T));
    Bits bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bits = static_cast<Bits>((bits << 8) | bytes[i]);
    return std::bit_cast<T>(bits);
}

// Reads one field. False, with the value untouched, when fewer than its bytes remain in the
// reader's window or the read comes up short.
template <class T> bool read(BufferedIOReader& reader, T& value) {
    unsigned char bytes[sizeof(T)];
    if (reader.remaining() < static_cast<std::int64_t>(sizeof(T)) ||
        reader.read(bytes, sizeof(T)) != static_cast<std::int64_t>(sizeof(T)))
        return false;
    value = decode<T>(bytes);
    return true;
}

} // namespace Korvel::BigEndian
