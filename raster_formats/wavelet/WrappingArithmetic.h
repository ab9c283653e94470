#pragma once
// Sums and differences of coefficients wrap in 32 bits: coefficients come from files, and only
// values outside any real image's range can overflow them.

#include <cstdint>

namespace Korvel {

inline std::int32_t wrapAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t wrapSub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

} // namespace Korvel
