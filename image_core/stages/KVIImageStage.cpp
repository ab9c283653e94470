#include "stages/KVIImageStage.h"

#include "buffers/KVINavigator.h"
#include "buffers/KVISceneBuffer.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Korvel {

namespace {

// Sets rows x cols samples of one band, rows stepping by strideBytes, to value (sizeof(T) bytes).
template <typename T>
void fillBand(std::uint8_t* first, std::size_t strideBytes, std::uint32_t cols, std::uint32_t rows,
              const void* value) {
    T sample;
    std::memcpy(&sample, value, sizeof(T));
    for (std::uint32_t r = 0; r < rows; ++r) {
        std::uint8_t* row = first + r * strideBytes;
        for (std::uint32_t c = 0; c < cols; ++c)
            std::memcpy(row + std::size_t{c} * sizeof(T), &sample, sizeof(T));
    }
}

std::uint32_t clampCount(std::int32_t count, std::uint32_t limit) {
    return count <= 0 ? 0u : std::min(static_cast<std::uint32_t>(count), limit);
}

} // namespace

KVIImageStage::~KVIImageStage() = default;

KVStatus KVIImageStage::askDelegates(float fraction) {
    if (KVIInterruptDelegate* interrupt = getInterruptDelegate()) {
        const KVStatus status = interrupt->checkInterrupt();
        if (status != KV_OK) return status;
    }
    if (KVIProgressDelegate* progress = getProgressDelegate())
        return progress->reportProgress(fraction);
    return KV_OK;
}

KVStatus KVIImageStage::readBegin(const KVIScene& scene) {
    return readBeginAt(scene, 0);
}

KVStatus KVIImageStage::readBeginAt(const KVIScene& scene, std::uint32_t firstStrip) {
    KVStatus status = checkScene(scene);
    if (status != KV_OK) return status;
    readState_.reset();
    // A zero strip height would never finish a scene.
    const std::uint32_t stripHeight = getStripHeight();
    if (stripHeight == 0) return KV_BAD_ARGUMENT;
    const std::int64_t rows = std::max(scene.getNumRows(), 0);
    const auto numStrips = static_cast<std::uint32_t>((rows + stripHeight - 1) / stripHeight);
    if (firstStrip > 0 && firstStrip >= numStrips) return KV_BAD_ARGUMENT;
    readState_ = ReadState{scene, stripHeight, numStrips};

    status = firstStrip == 0 ? decodeBegin(scene) : decodeBeginAt(scene, firstStrip);
    if (status == KV_OK) status = askDelegates(0.0f);
    if (status != KV_OK) readState_.reset();
    return status;
}

KVStatus KVIImageStage::decodeBeginAt(const KVIScene& scene, std::uint32_t firstStrip) {
    const KVIScene first = getStripScene(firstStrip);
    return decodeBegin(KVIScene(scene.getX(), first.getY(), scene.getWidth(),
                                scene.getBottom() - first.getY(), scene.getMagnification()));
}

KVStatus KVIImageStage::readStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) {
    // A strip belongs to a read; without one there is no scene to measure progress against.
    if (!readState_) return KV_FAILURE;
    const KVStatus status = decodeStrip(buffer, stripScene);
    if (status != KV_OK) return status;
    const KVIScene& scene = readState_->scene;
    const float fraction =
        scene.getHeight() > 0.0
            ? static_cast<float>((stripScene.getY() - scene.getY()) / scene.getHeight())
            : 0.0f;
    return askDelegates(fraction);
}

KVStatus KVIImageStage::readEnd() {
    KVStatus status = decodeEnd();
    if (status == KV_OK) status = askDelegates(1.0f);
    readState_.reset();
    return status;
}

KVStatus KVIImageStage::read(const KVIScene& scene, KVISceneBuffer& buffer) {
    // One read at a time: the read state and the decoders beneath are the stage's own.
    const std::lock_guard<std::mutex> lock(readMutex_);
    KVStatus status = checkSceneBuffer(scene, buffer);
    if (status != KV_OK) return status;
    status = readBegin(scene);
    if (status != KV_OK) return status;

    const std::uint32_t numStrips = readState_ ? readState_->numStrips : 0;
    for (std::uint32_t i = 0; i < numStrips; ++i) {
        const KVIScene strip = getStripScene(i);
        const double rowOffset = std::floor(strip.getY() - scene.getY() + 0.5);
        const std::int32_t cols = strip.getNumCols();
        const std::int32_t rows = strip.getNumRows();
        if (cols <= 0 || rows <= 0 || !(rowOffset >= 0.0)) {
            readEnd();
            return KV_STRIP_EMPTY;
        }
        status = kvGuard([&] {
            // A window outside the caller's buffer is refused by its constructor.
            const double rowLimit = static_cast<double>(buffer.getWindowHeight());
            KVISceneBuffer window(
                buffer, 0, static_cast<std::uint32_t>(std::min(rowOffset, rowLimit)),
                static_cast<std::uint32_t>(cols), static_cast<std::uint32_t>(rows));
            return readStrip(window, strip);
        });
        if (status != KV_OK) {
            readEnd();
            return status;
        }
    }
    return readEnd();
}

KVStatus KVIImageStage::checkScene(const KVIScene& scene) const {
    const double mag = scene.getMagnification();
    if (!(mag >= getMinMagnification() && mag <= getMaxMagnification()))
        return KV_SCENE_MAG_OUT_OF_RANGE;
    KVINavigator clipped(scene, *this);
    if (!clipped.clipToImage()) return KV_SCENE_CLIPPED_AWAY;
    if (clipped.getScene() == scene) return KV_OK;
    KVINavigator rounded(scene, *this);
    rounded.roundScene();
    clipped.roundScene();
    return rounded.getScene() != clipped.getScene() ? KV_SCENE_OUTSIDE_IMAGE : KV_OK;
}

KVStatus KVIImageStage::checkSceneBuffer(const KVIScene& scene,
                                         const KVISceneBuffer& buffer) const {
    if (std::int64_t{scene.getNumCols()} > std::int64_t{buffer.getWindowWidth()} ||
        std::int64_t{scene.getNumRows()} > std::int64_t{buffer.getWindowHeight()})
        return KV_SCENE_BUFFER_MISMATCH;
    return getPixelProps().checkCompatibleStrict(buffer.getPixelProps());
}

KVIScene KVIImageStage::getStripScene(std::uint32_t index) const {
    if (!readState_) return KVIScene();
    const KVIScene& scene = readState_->scene;
    const double height = readState_->stripHeight;
    const double y = scene.getY() + index * height;
    return KVIScene(scene.getX(), y, scene.getWidth(), std::min(height, scene.getBottom() - y),
                    scene.getMagnification());
}

KVStatus KVIImageStage::fillWithPixel(const KVIScene& scene, KVISceneBuffer& buffer,
                                      const KVIPixel& pixel) {
    const std::uint16_t numBands = buffer.getNumBands();
    if (pixel.getNumBands() < numBands) return KV_PIXEL_BAND_COUNT_MISMATCH;
    const std::uint32_t cols = clampCount(scene.getNumCols(), buffer.getWindowWidth());
    const std::uint32_t rows = clampCount(scene.getNumRows(), buffer.getWindowHeight());
    // Every band is checked before any is touched.
    for (std::uint16_t band = 0; band < numBands; ++band) {
        const std::uint32_t bytes = buffer.getBytesPerSample(band);
        if (bytes != 1 && bytes != 2 && bytes != 4 && bytes != 8) return KV_UNSUPPORTED_DATA_TYPE;
    }
    for (std::uint16_t band = 0; band < numBands; ++band) {
        const std::uint32_t bytes = buffer.getBytesPerSample(band);
        const std::size_t stride = std::size_t{buffer.getTotalWidth()} * bytes;
        std::uint8_t* first = buffer.getWindowBandData(band);
        const void* value = pixel.getSampleValueAddr(band);
        // One kernel per band, chosen by the sample size.
        switch (bytes) {
        case 1:
            fillBand<std::uint8_t>(first, stride, cols, rows, value);
            break;
        case 2:
            fillBand<std::uint16_t>(first, stride, cols, rows, value);
            break;
        case 4:
            fillBand<std::uint32_t>(first, stride, cols, rows, value);
            break;
        default:
            fillBand<std::uint64_t>(first, stride, cols, rows, value);
            break;
        }
    }
    return KV_OK;
}

KVStatus KVIImageStage::fillWithBackground(const KVIScene& scene, KVISceneBuffer& buffer) const {
    const KVIPixel* background = getBackgroundPixel();
    return background != nullptr ? fillWithPixel(scene, buffer, *background) : KV_OK;
}

} // namespace Korvel
