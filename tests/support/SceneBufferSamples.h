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

// Whether the scene read from strip `first` on (KVIImageStage::readBeginAt), each strip at its
// rows, gives the rows of `whole`, the scene read whole into a buffer of its size, from there.
inline bool resumedReadMatches(Korvel::KVIImageStage& stage, const Korvel::KVIScene& scene,
                               std::uint32_t first, const Korvel::KVISceneBuffer& whole) {
    Korvel::KVISceneBuffer resumed(whole.getPixelProps(), whole.getWindowWidth(),
                                   whole.getWindowHeight());
    const std::uint32_t height = stage.getStripHeight();
    if (stage.readBeginAt(scene, first) != Korvel::KV_OK) return false;
    Korvel::KVStatus status = Korvel::KV_OK;
    for (std::uint32_t k = first;
         status == Korvel::KV_OK && stage.getStripScene(k).getNumRows() > 0; ++k) {
        const Korvel::KVIScene strip = stage.getStripScene(k);
        Korvel::KVISceneBuffer window(resumed, 0, k * height, std::uint32_t(strip.getNumCols()),
                                      std::uint32_t(strip.getNumRows()));
        status = stage.readStrip(window, strip);
    }
    bool same = stage.readEnd() == Korvel::KV_OK && status == Korvel::KV_OK;
    for (std::uint16_t b = 0; b < whole.getNumBands(); ++b) {
        const std::size_t row = std::size_t{whole.getWindowWidth()} * whole.getBytesPerSample(b);
        const std::size_t skipped = first * height * row;
        same = same && std::memcmp(resumed.getWindowBandData(b) + skipped,
                                   whole.getWindowBandData(b) + skipped,
                                   whole.getWindowHeight() * row - skipped) == 0;
    }
    return same;
}

} // namespace quarn_test
