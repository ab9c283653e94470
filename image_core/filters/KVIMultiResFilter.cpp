#include "filters/KVIMultiResFilter.h"

#include "buffers/KVINavigator.h"
#include "buffers/KVISceneBuffer.h"
#include "filters/KVIResamplePosition.h"
#include "filters/KVIResampler.h"
#include "metadata/KVIMetadataAccessor.h"
#include "support/KVMagnification.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

namespace Korvel {

namespace {

std::uint32_t clampCount(std::int32_t count, std::uint32_t limit) {
    return count <= 0 ? 0u : std::min(static_cast<std::uint32_t>(count), limit);
}

// The scene in the input's coordinates and how it would be read; false when it maps to nothing.
bool mapToInput(const KVIMultiResFilter& filter, const KVIScene& scene, std::uint32_t& mode,
                KVIScene& inputScene) {
    double stepX = 0.0;
    double stepY = 0.0;
    return filter.chooseReadMode(scene, mode, stepX, stepY, inputScene);
}

} // namespace

// Consecutive rows of the input read: `rows` rows from `top` (counted from the top of the read
// scene) in a buffer of the read scene's width and `capacity` rows.
struct KVIMultiResFilter::StripRecord {
    StripRecord(const KVIPixel& pixel, std::uint32_t cols, std::uint32_t capacity)
        : buffer(pixel, cols, capacity) {}

    KVISceneBuffer buffer;
    std::uint32_t top = 0;
    std::uint32_t rows = 0;
};

KVIMultiResFilter::KVIMultiResFilter() = default;
KVIMultiResFilter::~KVIMultiResFilter() = default;

KVIMultiResFilter* KVIMultiResFilter::create() {
    return new (std::nothrow) KVIMultiResFilter();
}

void KVIMultiResFilter::setScale(double scaleX, double scaleY) {
    scaleX_ = scaleX;
    scaleY_ = scaleY;
}

KVStatus KVIMultiResFilter::initialize(KVIImageStage* input, double defaultScale,
                                       double minMagnification, double maxMagnification) {
    if (input == nullptr) return KV_BAD_ARGUMENT;
    KV_RETURN_IF_FAILED(setPreviousStage(input));
    if (scaleX_ == 0.0 || scaleY_ == 0.0) scaleX_ = scaleY_ = defaultScale;

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t unused = 0;
    KV_RETURN_IF_FAILED(scaleDimensions(input->getWidth(), 0, scaleX_, width, unused));
    KV_RETURN_IF_FAILED(scaleDimensions(0, input->getHeight(), scaleY_, unused, height));
    setDimensions(width, height);

    KVIGeoCoord geo = input->getGeoCoord();
    geo.setXRes(geo.getXRes() / scaleX_);
    geo.setXRot(geo.getXRot() / scaleX_);
    geo.setYRes(geo.getYRes() / scaleY_);
    geo.setYRot(geo.getYRot() / scaleY_);
    KV_RETURN_IF_FAILED(setGeoCoord(geo));

    const double s = std::sqrt(scaleY_ * scaleX_);
    setMagnification(std::min(minMagnification, input->getMinMagnification() * s),
                     std::max(maxMagnification, input->getMaxMagnification() * s));
    return setResampleMethod(KVI_RESAMPLE_NEAREST);
}

KVStatus KVIMultiResFilter::setResampleMethod(std::uint32_t method) {
    resampler_.reset();
    resampler_ = KVIResampler::create(getPixelProps().getDataType(), method);
    return resampler_ ? KV_OK : KV_NOT_AVAILABLE;
}

bool KVIMultiResFilter::chooseReadMode(const KVIScene& scene, std::uint32_t& mode, double& stepX,
                                       double& stepY, KVIScene& inputScene) const {
    const KVIImageStage* input = getPreviousStage();
    if (input == nullptr) return false;
    const double mag = scene.getMagnification();
    const double ax = mag * scaleX_;
    const double ay = mag * scaleY_;
    const double minMag = input->getMinMagnification();
    const double maxMag = input->getMaxMagnification();
    const double m = snapMagnification(std::sqrt(ay * ax), minMag, maxMag);
    stepX = m / ax;
    stepY = m / ay;

    if (minMag == maxMag && stepX * stepY > 16.0 && input->isSelective())
        mode = kRowByRow;
    else if (std::abs(stepX - 1.0) < 1.0 / scene.getWidth() &&
             std::abs(stepY - 1.0) < 1.0 / scene.getHeight())
        mode = kCopy;
    else
        mode = kResample;

    const KVIScene mapped(scene.getX() * stepX, scene.getY() * stepY, scene.getWidth() * stepX,
                          scene.getHeight() * stepY, m);
    KVINavigator navigator(mapped, *input);
    const bool inside = navigator.clipToImage();
    inputScene = navigator.getScene();
    // The input's strips go straight into the caller's, so a copy needs the very same pixels:
    // an unclipped scene of the same whole-pixel size.
    if (mode == kCopy && (inputScene != mapped || inputScene.getNumCols() != scene.getNumCols() ||
                          inputScene.getNumRows() != scene.getNumRows()))
        mode = kResample;
    return inside;
}

KVStatus KVIMultiResFilter::getDimsAtMag(double magnification, std::uint32_t& width,
                                         std::uint32_t& height) const {
    return scaleDimensions(getWidth(), getHeight(), magnification, width, height);
}

std::int64_t KVIMultiResFilter::getSceneCost(const KVIScene& scene) {
    std::uint32_t mode = kNoRead;
    KVIScene inputScene;
    if (!mapToInput(*this, scene, mode, inputScene)) return 0;
    return getPreviousStage()->getSceneCost(inputScene);
}

bool KVIMultiResFilter::clipScene(const KVIScene& scene, KVIScene& clipped) {
    std::uint32_t mode = kNoRead;
    KVIScene inputScene;
    if (!mapToInput(*this, scene, mode, inputScene)) return false;
    return getPreviousStage()->clipScene(inputScene, clipped);
}

std::uint32_t KVIMultiResFilter::getModifications(const KVIScene& scene) {
    KVIImageStage* input = getPreviousStage();
    if (input == nullptr) return KVIImageFilter::getModifications(scene);
    const std::uint32_t mask = input->getModifications(scene);
    std::uint32_t mode = kNoRead;
    KVIScene inputScene;
    if (!mapToInput(*this, scene, mode, inputScene)) return mask;
    if (mode == kCopy && inputScene.getMagnification() == 1.0) return mask;
    return mask | KVI_MOD_SCALED;
}

void KVIMultiResFilter::endInputRead() {
    if (!inputReadOpen_) return;
    inputReadOpen_ = false;
    if (KVIImageStage* input = getPreviousStage()) input->readEnd();
}

KVStatus KVIMultiResFilter::decodeBegin(const KVIScene& scene) {
    return beginRead(scene, 0);
}

KVStatus KVIMultiResFilter::decodeBeginAt(const KVIScene& scene, std::uint32_t firstStrip) {
    return beginRead(scene, firstStrip);
}

KVStatus KVIMultiResFilter::beginRead(const KVIScene& scene, std::uint32_t firstStrip) {
    KVIImageStage* input = getPreviousStage();
    if (input == nullptr) return KV_FAILURE;
    // Whatever a read left behind.
    endInputRead();
    previous_.reset();
    current_.reset();
    inputStripsRead_ = 0;
    inputStrips_ = 0;

    if (!chooseReadMode(scene, mode_, stepX_, stepY_, inputScene_)) {
        mode_ = kNoRead;
        return KV_SCENE_MAPS_TO_NOTHING;
    }
    if (mode_ == kCopy) {
        // The input's strips are the output's, one for one.
        const KVStatus status = input->readBeginAt(inputScene_, firstStrip);
        if (status != KV_OK) return status;
        inputReadOpen_ = true;
        const std::uint32_t height = input->getStripHeight();
        const std::int64_t rows = std::max(inputScene_.getNumRows(), 0);
        inputStrips_ = height == 0 ? 0 : static_cast<std::uint32_t>((rows + height - 1) / height);
        inputStripsRead_ = firstStrip;
        return KV_OK;
    }
    if (!resampler_) return KV_NOT_AVAILABLE;
    const KVStatus status = kvGuard([&] {
        return mode_ == kRowByRow ? beginRowByRow(*input, firstStrip)
                                  : beginResample(*input, firstStrip);
    });
    if (status != KV_OK) {
        // The read protocol ends no read whose begin failed: end the input's here.
        endInputRead();
        previous_.reset();
        current_.reset();
    }
    return status;
}

void KVIMultiResFilter::startPositions(KVIImageStage& input, std::uint32_t firstStrip) {
    readScene_ = resampler_->getInputScene(input, inputScene_);
    originX_ = static_cast<float>(inputScene_.getX() - readScene_.getX());
    nextInputRow_ = static_cast<float>(inputScene_.getY() - readScene_.getY());
    // Taken up at a later strip, the position is the one the whole read reaches there: one
    // single-precision step for every output row before it, as the strips add them.
    if (firstStrip > 0)
        nextInputRow_ = kviAdvance(nextInputRow_, static_cast<float>(stepY_),
                                   static_cast<std::uint64_t>(std::max<std::int64_t>(
                                       std::int64_t{getStripScene(firstStrip).getUpperLeftRow()} -
                                           getStripScene(0).getUpperLeftRow(),
                                       0)));
}

KVStatus KVIMultiResFilter::beginResample(KVIImageStage& input, std::uint32_t firstStrip) {
    startPositions(input, firstStrip);
    const std::uint32_t height = input.getStripHeight();
    const std::int64_t rows = std::max(readScene_.getNumRows(), 0);
    const std::int64_t cols = std::max(readScene_.getNumCols(), 0);
    if (height == 0 || rows == 0 || cols == 0) return KV_STRIP_EMPTY;
    inputStrips_ = static_cast<std::uint32_t>((rows + height - 1) / height);
    // Once the window has moved down, an output row needs its rows from firstTap to lastTap
    // around it inside the two records; each record therefore holds at least lastTap - firstTap
    // rows (a strip, or the fewest strips that make them).
    const std::int64_t reach = resampler_->getLastTap() - resampler_->getFirstTap();
    stripsPerRecord_ =
        static_cast<std::uint32_t>(std::max<std::int64_t>(1, (reach + height - 1) / height));
    const auto capacity = static_cast<std::uint32_t>(
        std::min<std::int64_t>(std::int64_t{stripsPerRecord_} * height, rows));
    // A read that one record holds is resampled from it alone.
    const bool single = inputStrips_ <= stripsPerRecord_;

    // The window starts at the input strip that holds the first row the next output row reads
    // (no later than leaves a strip for the second record): every row read from then on lies in
    // the window as it does in the whole read, and rows are only held at the read's own ends.
    std::uint32_t first = 0;
    if (!single && firstStrip > 0) {
        const std::int64_t row = kviLocate(nextInputRow_).index + resampler_->getFirstTap();
        first = static_cast<std::uint32_t>(std::min<std::int64_t>(
            std::max<std::int64_t>(row, 0) / height, inputStrips_ - stripsPerRecord_ - 1));
    }
    KV_RETURN_IF_FAILED(input.readBeginAt(readScene_, first));
    inputReadOpen_ = true;
    inputStripsRead_ = first;

    const KVIPixel pixel = input.getPixelProps();
    previous_ = std::make_unique<StripRecord>(pixel, static_cast<std::uint32_t>(cols), capacity);
    KV_RETURN_IF_FAILED(fillRecord(input, *previous_));
    if (single) {
        mode_ = kSingleStrip;
        return KV_OK;
    }
    current_ = std::make_unique<StripRecord>(pixel, static_cast<std::uint32_t>(cols), capacity);
    return fillRecord(input, *current_);
}

KVStatus KVIMultiResFilter::beginRowByRow(KVIImageStage& input, std::uint32_t firstStrip) {
    // Positions are kept against the tap-widened input scene, as in the strip modes.
    startPositions(input, firstStrip);
    const KVIScene firstRow = resampler_->getInputScene(
        input, KVIScene(inputScene_.getX(), inputScene_.getY(), inputScene_.getWidth(), 1.0,
                        inputScene_.getMagnification()));
    const std::int32_t cols = firstRow.getNumCols();
    if (cols <= 0) return KV_STRIP_EMPTY;
    const auto capacity =
        static_cast<std::uint32_t>(resampler_->getLastTap() - resampler_->getFirstTap() + 2);
    previous_ = std::make_unique<StripRecord>(input.getPixelProps(),
                                              static_cast<std::uint32_t>(cols), capacity);
    return KV_OK;
}

KVStatus KVIMultiResFilter::fillRecord(KVIImageStage& input, StripRecord& record) {
    const std::uint32_t cols = record.buffer.getWindowWidth();
    const std::uint32_t capacity = record.buffer.getWindowHeight();
    record.rows = 0;
    for (std::uint32_t i = 0; i < stripsPerRecord_ && inputStripsRead_ < inputStrips_; ++i) {
        const KVIScene strip = input.getStripScene(inputStripsRead_);
        if (i == 0)
            record.top =
                static_cast<std::uint32_t>(strip.getUpperLeftRow() - readScene_.getUpperLeftRow());
        const std::int32_t rows = strip.getNumRows();
        if (rows <= 0 || strip.getNumCols() != static_cast<std::int64_t>(cols) ||
            std::int64_t{record.rows} + rows > capacity)
            return KV_SCENE_BUFFER_MISMATCH;
        KVISceneBuffer window(record.buffer, 0, record.rows, cols,
                              static_cast<std::uint32_t>(rows));
        KV_RETURN_IF_FAILED(input.readStrip(window, strip));
        ++inputStripsRead_;
        record.rows += static_cast<std::uint32_t>(rows);
    }
    return KV_OK;
}

KVStatus KVIMultiResFilter::decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) {
    KVIImageStage* input = getPreviousStage();
    if (input == nullptr) return KV_FAILURE;
    const std::uint32_t cols = clampCount(stripScene.getNumCols(), buffer.getWindowWidth());
    const std::uint32_t rows = clampCount(stripScene.getNumRows(), buffer.getWindowHeight());
    return kvGuard([&]() -> KVStatus {
        switch (mode_) {
        case kCopy:
            return copyStrip(*input, buffer);
        case kResample:
        case kSingleStrip:
            return rows == 0 || cols == 0 ? KV_OK : resampleStrip(*input, buffer, cols, rows);
        case kRowByRow:
            return rows == 0 || cols == 0 ? KV_OK : resampleRowByRow(*input, buffer, cols, rows);
        default:
            return KV_FAILURE;
        }
    });
}

KVStatus KVIMultiResFilter::copyStrip(KVIImageStage& input, KVISceneBuffer& buffer) {
    if (inputStripsRead_ >= inputStrips_) return KV_STRIP_EMPTY;
    const KVIScene strip = input.getStripScene(inputStripsRead_++);
    // The input writes its whole strip: it must fit the caller's window.
    if (std::int64_t{strip.getNumCols()} > std::int64_t{buffer.getWindowWidth()} ||
        std::int64_t{strip.getNumRows()} > std::int64_t{buffer.getWindowHeight()})
        return KV_SCENE_BUFFER_MISMATCH;
    return input.readStrip(buffer, strip);
}

KVStatus KVIMultiResFilter::resampleStrip(KVIImageStage& input, KVISceneBuffer& buffer,
                                          std::uint32_t cols, std::uint32_t rows) {
    const auto stepX = static_cast<float>(stepX_);
    const auto stepY = static_cast<float>(stepY_);
    const auto lastCol = static_cast<std::int32_t>(cols - 1);
    const auto lastSourceCol = static_cast<std::int32_t>(previous_->buffer.getWindowWidth() - 1);

    if (mode_ == kSingleStrip) {
        // The record holds the whole read from its top: positions need no rebasing.
        const KVIRect dst{0, 0, lastCol, static_cast<std::int32_t>(rows - 1)};
        const KVIRect src{0, 0, lastSourceCol, static_cast<std::int32_t>(previous_->rows) - 1};
        KV_RETURN_IF_FAILED(resampler_->resampleBuffer(buffer, dst, previous_->buffer, src,
                                                       originX_, nextInputRow_, stepX, stepY));
        for (std::uint32_t r = 0; r < rows; ++r)
            nextInputRow_ += stepY;
        return KV_OK;
    }

    const std::int64_t lastTap = resampler_->getLastTap();
    for (std::uint32_t r = 0; r < rows; ++r) {
        // Move the window down until it holds the rows this output row reads (or the input is
        // exhausted, and rows beyond its end repeat its last row).
        const std::int64_t row = kviLocate(nextInputRow_).index;
        while (inputStripsRead_ < inputStrips_ &&
               row + lastTap >= std::int64_t{current_->top} + current_->rows) {
            std::swap(previous_, current_);
            KV_RETURN_IF_FAILED(fillRecord(input, *current_));
        }
        // One call per row: its position is the running one less a whole number of rows, which
        // is exact, so every row lies where a resampling of the whole read in one piece puts it.
        const auto y = static_cast<std::int32_t>(r);
        const KVIRect dst{0, y, lastCol, y};
        const KVIRect src{0, 0, lastSourceCol,
                          static_cast<std::int32_t>(previous_->rows + current_->rows) - 1};
        KV_RETURN_IF_FAILED(resampler_->resampleStrips(
            buffer, dst, previous_->buffer, current_->buffer, src, originX_,
            nextInputRow_ - static_cast<float>(previous_->top), stepX, stepY));
        nextInputRow_ += stepY;
    }
    return KV_OK;
}

KVStatus KVIMultiResFilter::resampleRowByRow(KVIImageStage& input, KVISceneBuffer& buffer,
                                             std::uint32_t cols, std::uint32_t rows) {
    const auto stepX = static_cast<float>(stepX_);
    const auto stepY = static_cast<float>(stepY_);
    KVISceneBuffer& rowBuffer = previous_->buffer;
    for (std::uint32_t r = 0; r < rows; ++r) {
        const KVIScene rowScene(inputScene_.getX(), readScene_.getY() + nextInputRow_,
                                inputScene_.getWidth(), 1.0, inputScene_.getMagnification());
        const KVIScene extended = resampler_->getInputScene(input, rowScene);
        const std::int32_t extendedRows = extended.getNumRows();
        if (extended.getNumCols() != static_cast<std::int64_t>(rowBuffer.getWindowWidth()) ||
            extendedRows <= 0 ||
            extendedRows > static_cast<std::int64_t>(rowBuffer.getWindowHeight()))
            return KV_SCENE_BUFFER_MISMATCH;
        KV_RETURN_IF_FAILED(input.read(extended, rowBuffer));
        const double top = extended.getY() - readScene_.getY();
        const auto y = static_cast<std::int32_t>(r);
        const KVIRect dst{0, y, static_cast<std::int32_t>(cols - 1), y};
        const KVIRect src{0, 0, extended.getNumCols() - 1, extendedRows - 1};
        KV_RETURN_IF_FAILED(resampler_->resampleBuffer(buffer, dst, rowBuffer, src, originX_,
                                                       nextInputRow_ - static_cast<float>(top),
                                                       stepX, stepY));
        nextInputRow_ += stepY;
    }
    return KV_OK;
}

KVStatus KVIMultiResFilter::decodeEnd() {
    previous_.reset();
    current_.reset();
    if (!inputReadOpen_) return KV_OK;
    inputReadOpen_ = false;
    KVIImageStage* input = getPreviousStage();
    return input != nullptr ? input->readEnd() : KV_FAILURE;
}

} // namespace Korvel
