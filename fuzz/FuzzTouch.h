#pragma once
// What the fuzz targets do with what a reader hands out: every byte is touched, so that the
// sanitizers see any read beyond what was allocated, and summed into a sink, so that the reads
// are not optimised away.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quarn_fuzz {

inline volatile std::uint64_t sink = 0;

inline void touch(const void* bytes, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += p[i];
    sink = sink + sum;
}

inline void touchText(const char* text) {
    if (text != nullptr) touch(text, std::strlen(text) + 1);
}

} // namespace quarn_fuzz
