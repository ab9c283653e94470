#pragma once
// Reading coded test images back: a file opened through the reader front, a scene read through
// the image stage's read protocol into a buffer of the stage's pixel, and the value a decoder
// must give for a rebuilt integer in each output type.

#include "QuarnImageReader.h"
#include "RasterImageWriter.h"
#include "TestStreams.h"
#include "buffers/KVISceneBuffer.h"
#include "model/KVIDataTypeDispatch.h"
#include "stages/KVIImageStage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace quarn_test {

// A file through the reader front (memory usage and stream usage as given).
struct OpenRaster {
    explicit OpenRaster(Bytes bytes, std::uint32_t memoryUsage = 1, std::uint32_t streamUsage = 3)
        : stream(std::move(bytes), false), reader(Korvel::QuarnImageReader::create()) {
        status = reader->initialize(&stream, nullptr, memoryUsage, streamUsage);
    }
    ~OpenRaster() { reader->release(); }
    OpenRaster(const OpenRaster&) = delete;
    OpenRaster& operator=(const OpenRaster&) = delete;

    VectorStream stream;
    Korvel::QuarnImageReader* reader;
    Korvel::KVStatus status = Korvel::KV_OK;
};

// The samples of a scene, every band row by row, as doubles.
struct SceneSamples {
    Korvel::KVStatus status = Korvel::KV_OK;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::vector<double>> bands;
    double at(unsigned band, std::uint32_t x, std::uint32_t y) const {
        return bands[band][std::size_t(y) * width + x];
    }
};

inline SceneSamples readScene(Korvel::KVIImageStage& stage, const Korvel::KVIScene& scene) {
    SceneSamples out;
    out.width = std::uint32_t(std::max(scene.getNumCols(), 1));
    out.height = std::uint32_t(std::max(scene.getNumRows(), 1));
    const Korvel::KVIPixel pixel = stage.getPixelProps();
    Korvel::KVISceneBuffer buffer(pixel, out.width, out.height, nullptr);
    out.status = stage.read(scene, buffer);
    for (std::uint16_t b = 0; b < pixel.getNumBands(); ++b) {
        std::vector<double>& band = out.bands.emplace_back();
        Korvel::withSampleType(pixel.getDataType(), [&](auto zero) {
            using T = decltype(zero);
            const std::uint8_t* data = buffer.getWindowBandData(b);
            for (std::size_t i = 0; i < std::size_t(out.width) * out.height; ++i) {
                T v;
                std::memcpy(&v, data + i * sizeof(T), sizeof(T));
                band.push_back(static_cast<double>(v));
            }
        });
    }
    return out;
}

// Sets (or with null unsets) an environment variable for the scope, restoring it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// The output sample of a rebuilt integer: clamped to the image's range (held within the type)
// for the integer codes, scaled for floats.
inline double outputSample(const RasterImage& image, unsigned band, std::int32_t v) {
    if (image.dataType == 13) {
        const auto [scale, offset] =
            band < image.bandScales.size() ? image.bandScales[band] : std::pair{1.0f, 0.0f};
        return double(float(v) * scale + offset);
    }
    static constexpr std::int64_t kLow[] = {0, -128, 0, -32768};
    static constexpr std::int64_t kHigh[] = {255, 127, 65535, 32767};
    const unsigned t = image.dataType - 5;
    const std::int64_t low = std::max<std::int64_t>(image.sampleMin, kLow[t]);
    const std::int64_t high = std::min<std::int64_t>(image.sampleMax, kHigh[t]);
    return double(std::min<std::int64_t>(std::max<std::int64_t>(v, low), high));
}

} // namespace quarn_test
