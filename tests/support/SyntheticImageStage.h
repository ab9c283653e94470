#pragma once
// A reader with no file behind it: its decode hooks compute every sample from its column, row,
// band and the scene's magnification (sampleValue), so tests can predict any pixel of any scene.
// Size, pixel, magnification range and strip height are set through the reader's own setters.
// It counts its decode calls, records its strip scenes, can be told to fail, and counts the
// instances alive so tests can check that every reference was released.

#include "model/KVIScene.h"
#include "stages/KVIImageReader.h"

#include <cstdint>
#include <vector>

namespace quarn_test {

class SyntheticImageStage : public Korvel::KVIImageReader {
public:
    // Created with one reference; release it.
    explicit SyntheticImageStage(std::uint32_t width, std::uint32_t height,
                                 const Korvel::KVIPixel& pixel = Korvel::KVIPixel());

    // The sample at column x, row y (scene coordinates at the magnification) of a band, before it
    // is converted to the band's type (static_cast, wrapping for the integer types).
    static std::int64_t sampleValue(std::int64_t x, std::int64_t y, std::uint16_t band,
                                    double magnification);
    template <typename T>
    static T sampleAs(std::int64_t x, std::int64_t y, std::uint16_t band, double magnification) {
        return static_cast<T>(sampleValue(x, y, band, magnification));
    }
    static int liveInstances();

    Korvel::KVStatus decodeBegin(const Korvel::KVIScene& scene) override;
    Korvel::KVStatus decodeStrip(Korvel::KVISceneBuffer& buffer,
                                 const Korvel::KVIScene& stripScene) override;
    Korvel::KVStatus decodeEnd() override;

    // Observation.
    int decodeBeginCalls = 0;
    int decodeStripCalls = 0;
    int decodeEndCalls = 0;
    std::vector<Korvel::KVIScene> beginScenes;
    std::vector<Korvel::KVIScene> stripScenes;

    // Failure injection: statuses of decodeBegin and decodeEnd, and of the strip with index
    // failStrip (counted from 0 over the stage's life).
    Korvel::KVStatus beginStatus = Korvel::KV_OK;
    Korvel::KVStatus endStatus = Korvel::KV_OK;
    int failStrip = -1;
    Korvel::KVStatus stripStatus = Korvel::KV_OK;

protected:
    ~SyntheticImageStage() override;
};

} // namespace quarn_test
