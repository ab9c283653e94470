#pragma once
// Reading and writing one sample of a scene buffer's window in tests: column x, row y of a band,
// the sample taken as a T. And a read taken up at a strip, held to the whole read.

#include "buffers/KVISceneBuffer.h"
#include "stages/KVIImageStage.h"

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

// Reads the scene from strip `first` on (KVIImageStage::readBeginAt), each strip at its rows of
// the scene, and says whether those rows equal the same rows of `whole`, the scene read whole
// into a buffer of its size.
inline bool resumedReadMatches(Korvel::KVIImageStage& stage, const Korvel::KVIScene& scene,
                               std::uint32_t first, const Korvel::KVISceneBuffer& whole) {
    const std::uint32_t cols = whole.getWindowWidth(), rows = whole.getWindowHeight();
    Korvel::KVISceneBuffer resumed(whole.getPixelProps(), cols, rows);
    if (stage.readBeginAt(scene, first) != Korvel::KV_OK) return false;
    const std::uint32_t height = stage.getStripHeight();
    Korvel::KVStatus status = Korvel::KV_OK;
    for (std::uint32_t k = first; status == Korvel::KV_OK; ++k) {
        const Korvel::KVIScene strip = stage.getStripScene(k);
        if (strip.getNumRows() <= 0) break;
        Korvel::KVISceneBuffer window(resumed, 0, k * height, std::uint32_t(strip.getNumCols()),
                                      std::uint32_t(strip.getNumRows()));
        status = stage.readStrip(window, strip);
    }
    if (stage.readEnd() != Korvel::KV_OK || status != Korvel::KV_OK) return false;
    for (std::uint16_t b = 0; b < whole.getNumBands(); ++b) {
        const std::size_t rowBytes = std::size_t{cols} * whole.getBytesPerSample(b);
        for (std::uint32_t y = first * height; y < rows; ++y)
            if (std::memcmp(resumed.getWindowBandData(b) + y * rowBytes,
                            whole.getWindowBandData(b) + y * rowBytes, rowBytes) != 0)
                return false;
    }
    return true;
}

} // namespace quarn_test
