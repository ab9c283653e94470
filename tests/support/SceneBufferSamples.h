#pragma once
// Reading and writing one sample of a scene buffer's window in tests: column x, row y of a band,
// the sample taken as a T.

#include "buffers/KVISceneBuffer.h"

#include <cstddef>
#include <cstring>

namespace quarn_test {

template <typename T>
T sampleAt(const Korvel::KVISceneBuffer& buffer, std::uint16_t band, std::uint32_t x,
           std::uint32_t y) {
    T value;
    std::memcpy(&value,
                buffer.getWindowBandData(band) +
                    (std::size_t{y} * buffer.getTotalWidth() + x) * sizeof(T),
                sizeof(T));
    return value;
}

template <typename T>
void setSample(Korvel::KVISceneBuffer& buffer, std::uint16_t band, std::uint32_t x, std::uint32_t y,
               T value) {
    std::memcpy(buffer.getWindowBandData(band) +
                    (std::size_t{y} * buffer.getTotalWidth() + x) * sizeof(T),
                &value, sizeof(T));
}

} // namespace quarn_test
