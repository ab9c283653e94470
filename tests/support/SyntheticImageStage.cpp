#include "SyntheticImageStage.h"

#include "buffers/KVISceneBuffer.h"
#include "support/KVMagnification.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace quarn_test {

using namespace Korvel;

namespace {

std::atomic<int> gLiveInstances{0};

// Fills one band of the strip window; rows step by the buffer's total width.
template <typename T>
void paintBand(KVISceneBuffer& buffer, std::uint16_t band, const KVIScene& strip,
               std::uint32_t cols, std::uint32_t rows) {
    std::uint8_t* first = buffer.getWindowBandData(band);
    const std::size_t stride = std::size_t{buffer.getTotalWidth()} * sizeof(T);
    const std::int64_t x0 = strip.getUpperLeftCol();
    const std::int64_t y0 = strip.getUpperLeftRow();
    const double mag = strip.getMagnification();
    for (std::uint32_t r = 0; r < rows; ++r) {
        std::uint8_t* row = first + r * stride;
        for (std::uint32_t c = 0; c < cols; ++c) {
            const T value = SyntheticImageStage::sampleAs<T>(x0 + c, y0 + r, band, mag);
            std::memcpy(row + std::size_t{c} * sizeof(T), &value, sizeof(T));
        }
    }
}

} // namespace

SyntheticImageStage::SyntheticImageStage(std::uint32_t width, std::uint32_t height,
                                         const KVIPixel& pixel) {
    setDimensions(width, height);
    setPixelProps(pixel);
    setDefaultGeoCoord();
    setMetadata(nullptr);
    ++gLiveInstances;
}

SyntheticImageStage::~SyntheticImageStage() {
    --gLiveInstances;
}

int SyntheticImageStage::liveInstances() {
    return gLiveInstances.load();
}

std::int64_t SyntheticImageStage::sampleValue(std::int64_t x, std::int64_t y, std::uint16_t band,
                                              double magnification) {
    return x + 31 * y + 1009 * std::int64_t{band} + 7 * std::int64_t{magToLevel(magnification)};
}

KVStatus SyntheticImageStage::decodeBegin(const KVIScene& scene) {
    ++decodeBeginCalls;
    beginScenes.push_back(scene);
    return beginStatus;
}

KVStatus SyntheticImageStage::decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) {
    const int index = decodeStripCalls++;
    stripScenes.push_back(stripScene);
    if (index == failStrip) return stripStatus;
    const auto clamp = [](std::int32_t count, std::uint32_t limit) {
        return count <= 0 ? 0u : std::min(static_cast<std::uint32_t>(count), limit);
    };
    const std::uint32_t cols = clamp(stripScene.getNumCols(), buffer.getWindowWidth());
    const std::uint32_t rows = clamp(stripScene.getNumRows(), buffer.getWindowHeight());
    const KVIPixel& pixel = buffer.getPixelProps();
    for (std::uint16_t band = 0; band < buffer.getNumBands(); ++band) {
        switch (pixel.getSample(band).getDataType()) {
        case KVI_DATATYPE_UINT8:
            paintBand<std::uint8_t>(buffer, band, stripScene, cols, rows);
            break;
        case KVI_DATATYPE_SINT8:
            paintBand<std::int8_t>(buffer, band, stripScene, cols, rows);
            break;
        case KVI_DATATYPE_UINT16:
            paintBand<std::uint16_t>(buffer, band, stripScene, cols, rows);
            break;
        case KVI_DATATYPE_SINT16:
            paintBand<std::int16_t>(buffer, band, stripScene, cols, rows);
            break;
        case KVI_DATATYPE_UINT32:
            paintBand<std::uint32_t>(buffer, band, stripScene, cols, rows);
            break;
        case KVI_DATATYPE_SINT32:
            paintBand<std::int32_t>(buffer, band, stripScene, cols, rows);
            break;
        case KVI_DATATYPE_FLOAT32:
            paintBand<float>(buffer, band, stripScene, cols, rows);
            break;
        case KVI_DATATYPE_FLOAT64:
            paintBand<double>(buffer, band, stripScene, cols, rows);
            break;
        default:
            return KV_UNSUPPORTED_DATA_TYPE;
        }
    }
    return KV_OK;
}

KVStatus SyntheticImageStage::decodeEnd() {
    ++decodeEndCalls;
    return endStatus;
}

} // namespace quarn_test
