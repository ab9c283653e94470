#include "filters/KVIEmbeddedImage.h"

#include "buffers/KVIMergeSceneBuffers.h"
#include "buffers/KVINavigator.h"
#include "buffers/KVISceneBuffer.h"
#include "buffers/PixelHolder.h"
#include "metadata/KVIMetadataAccessor.h"
#include "support/KVMagnification.h"
#include "support/KVSaturate.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace Korvel {

namespace {

// Whether the holder's bands can hold a buffer of the pixel: as many bands, each as wide.
bool holderCovers(const PixelHolder& holder, const KVIPixel& pixel) {
    return holder.getNumBands() >= pixel.getNumBands() && holder.getPixel().hasBandsAsWideAs(pixel);
}

} // namespace

KVIEmbeddedImage::KVIEmbeddedImage() = default;

KVIEmbeddedImage::~KVIEmbeddedImage() {
    if (inputReadOpen_ && getPreviousStage() != nullptr) getPreviousStage()->readEnd();
}

KVIEmbeddedImage* KVIEmbeddedImage::create() {
    return new (std::nothrow) KVIEmbeddedImage();
}

KVStatus KVIEmbeddedImage::initialize(KVIImageStage* input, std::uint32_t width,
                                      std::uint32_t height, double x, double y,
                                      const KVIPixel* background, const KVIPixel* noData) {
    if (input == nullptr) return KV_BAD_ARGUMENT;
    KV_RETURN_IF_FAILED(setPreviousStage(input));
    x_ = x;
    y_ = y;
    return kvGuard([&]() -> KVStatus {
        const KVIPixel pixel = input->getPixelProps();
        if (background != nullptr)
            KV_RETURN_IF_FAILED(background->checkCompatibleStrict(pixel));
        else
            background = input->getBackgroundPixel();
        if (noData != nullptr)
            KV_RETURN_IF_FAILED(noData->checkCompatibleStrict(pixel));
        else
            noData = input->getNoDataPixel();
        setDimensions(width, height);

        KVIGeoCoord geo = input->getGeoCoord();
        geo.setX(geo.getX() - geo.getXRes() * x);
        geo.setY(geo.getY() - geo.getYRes() * y);
        KV_RETURN_IF_FAILED(setGeoCoord(geo));

        useBackground_ = background != nullptr;
        KV_RETURN_IF_FAILED(setBackgroundPixel(background));
        KV_RETURN_IF_FAILED(setNoDataPixel(noData));
        // A holder made before the input was known may not fit its pixel.
        if (fillHolder_ == nullptr || !holderCovers(*fillHolder_, pixel)) {
            ownedHolder_ = std::make_unique<PixelHolder>(pixel);
            fillHolder_ = ownedHolder_.get();
        }
        return KV_OK;
    });
}

KVStatus KVIEmbeddedImage::setFillHolder(PixelHolder* holder) {
    if (holder != nullptr) {
        ownedHolder_.reset();
        fillHolder_ = holder;
        return KV_OK;
    }
    if (ownedHolder_ != nullptr) return KV_OK;
    return kvGuard([&] {
        ownedHolder_ = std::make_unique<PixelHolder>(getPixelProps());
        fillHolder_ = ownedHolder_.get();
    });
}

KVStatus KVIEmbeddedImage::setUseBackground(bool useBackground) {
    useBackground_ = useBackground;
    return KV_OK;
}

KVStatus KVIEmbeddedImage::setMergeMode(std::uint32_t mergeMode) {
    mergeMode_ = mergeMode;
    return KV_OK;
}

std::int32_t KVIEmbeddedImage::getColumnOffset(double magnification) const {
    return roundToInt32(magnification * x_);
}

std::int32_t KVIEmbeddedImage::getRowOffset(double magnification) const {
    return roundToInt32(magnification * y_);
}

KVIScene KVIEmbeddedImage::movedToInput(const KVIScene& scene) const {
    const double mag = scene.getMagnification();
    return KVIScene(
        static_cast<double>(std::int64_t{scene.getUpperLeftCol()} - getColumnOffset(mag)),
        static_cast<double>(std::int64_t{scene.getUpperLeftRow()} - getRowOffset(mag)),
        scene.getNumCols(), scene.getNumRows(), mag);
}

bool KVIEmbeddedImage::mapSceneToInput(const KVIScene& scene, KVIScene& inputScene) const {
    const KVIImageStage* input = getPreviousStage();
    if (input == nullptr) return false;
    KVINavigator navigator(movedToInput(scene), *input);
    const bool inside = navigator.clipToImage();
    inputScene = navigator.getScene();
    return inside;
}

KVStatus KVIEmbeddedImage::getDimsAtMag(double magnification, std::uint32_t& width,
                                        std::uint32_t& height) const {
    return scaleDimensions(getWidth(), getHeight(), magnification, width, height);
}

std::int64_t KVIEmbeddedImage::getSceneCost(const KVIScene& scene) {
    KVIScene inputScene;
    if (!mapSceneToInput(scene, inputScene)) return 0;
    return getPreviousStage()->getSceneCost(inputScene);
}

bool KVIEmbeddedImage::clipScene(const KVIScene& scene, KVIScene& clipped) {
    KVIScene inputScene;
    if (!mapSceneToInput(scene, inputScene)) return false;
    return getPreviousStage()->clipScene(inputScene, clipped);
}

std::uint32_t KVIEmbeddedImage::getModifications(const KVIScene& scene) {
    KVIImageStage* input = getPreviousStage();
    if (input == nullptr) return KVIImageFilter::getModifications(scene);
    const double mag = scene.getMagnification();
    const std::int32_t offX = getColumnOffset(mag);
    const std::int32_t offY = getRowOffset(mag);
    std::uint32_t mask = input->getModifications(KVIScene(
        scene.getX() - offX, scene.getY() - offY, scene.getWidth(), scene.getHeight(), mag));

    // Canvas, input and scene compared in whole pixels at the scene's magnification.
    std::uint32_t canvasW = 0, canvasH = 0, inputW = 0, inputH = 0;
    if (scaleDimensions(getWidth(), getHeight(), mag, canvasW, canvasH) != KV_OK ||
        scaleDimensions(input->getWidth(), input->getHeight(), mag, inputW, inputH) != KV_OK)
        return mask;
    const KVIScene K(0.0, 0.0, canvasW, canvasH, mag);
    const KVIScene P(offX, offY, inputW, inputH, mag);
    const KVIScene& S = scene;
    if ((K.getUpperLeftCol() > P.getUpperLeftCol() && K.getUpperLeftCol() > S.getUpperLeftCol()) ||
        (K.getUpperLeftRow() > P.getUpperLeftRow() && K.getUpperLeftRow() > S.getUpperLeftRow()) ||
        (K.getLowerRightCol() < P.getLowerRightCol() &&
         K.getLowerRightCol() < S.getLowerRightCol()) ||
        (K.getLowerRightRow() < P.getLowerRightRow() &&
         K.getLowerRightRow() < S.getLowerRightRow()))
        mask |= KVI_MOD_CROPPED;
    if ((K.getUpperLeftCol() < P.getUpperLeftCol() && S.getUpperLeftCol() < P.getUpperLeftCol()) ||
        (K.getUpperLeftRow() < P.getUpperLeftRow() && S.getUpperLeftRow() < P.getUpperLeftRow()) ||
        (K.getLowerRightCol() > P.getLowerRightCol() &&
         S.getLowerRightCol() > P.getLowerRightCol()) ||
        (K.getLowerRightRow() > P.getLowerRightRow() &&
         S.getLowerRightRow() > P.getLowerRightRow()))
        mask |= KVI_MOD_EMBEDDED;
    return mask;
}

KVStatus KVIEmbeddedImage::beginInputRead(KVIImageStage& input, const KVIScene& scene,
                                          std::uint32_t firstStrip) {
    KV_RETURN_IF_FAILED(input.readBeginAt(scene, firstStrip));
    inputReadOpen_ = true;
    return KV_OK;
}

KVStatus KVIEmbeddedImage::endInputRead(KVIImageStage& input) {
    if (!inputReadOpen_) return KV_OK;
    inputReadOpen_ = false;
    return input.readEnd();
}

bool KVIEmbeddedImage::hidesStrip(const KVIScene& stripScene, const KVIPixel& bufferPixel) const {
    const KVIImageStage* input = getPreviousStage();
    if (input == nullptr || !writesStraight(*input, bufferPixel)) return false;
    const KVIScene moved = movedToInput(stripScene);
    KVINavigator navigator(moved, *input);
    return moved.getNumCols() > 0 && moved.getNumRows() > 0 && navigator.clipToImage() &&
           navigator.getScene() == moved;
}

bool KVIEmbeddedImage::writesStraight(const KVIImageStage& input,
                                      const KVIPixel& bufferPixel) const {
    return !getPixelProps().hasAlpha() && input.getMaskSource() == nullptr &&
           getNoDataPixel() == nullptr && !bufferPixel.hasAlpha();
}

KVStatus KVIEmbeddedImage::decodeBegin(const KVIScene& scene) {
    KVIImageStage* input = getPreviousStage();
    if (input == nullptr) return KV_FAILURE;
    // Whatever an abandoned read left open.
    endInputRead(*input);
    readScene_ = scene;
    active_ = mapSceneToInput(scene, inputScene_);
    if (!active_) return KV_OK;
    const std::int64_t rows = inputScene_.getNumRows();
    const std::int64_t height = getStripHeight();
    if (rows <= 0 || inputScene_.getNumCols() <= 0 || height <= 0) {
        active_ = false;
        return KV_OK;
    }
    // The input's first and last rows, in rows of the read.
    std::int64_t top =
        std::int64_t{getRowOffset(scene.getMagnification())} - scene.getUpperLeftRow();
    std::int64_t bottom = top + rows;
    if (top < 0) {
        top = 0;
        bottom = rows;
    }
    firstStrip_ = saturateToInt32(top / height);
    lastStrip_ = saturateToInt32(bottom / height - (bottom % height == 0 ? 1 : 0));
    return KV_OK;
}

KVStatus KVIEmbeddedImage::decodeBeginAt(const KVIScene& scene, std::uint32_t firstStrip) {
    KV_RETURN_IF_FAILED(decodeBegin(scene));
    if (!active_) return KV_OK;
    // The countdowns as the whole read leaves them at that strip.
    const std::int64_t skipped = firstStrip;
    const std::int64_t first = firstStrip_;
    const std::int64_t last = lastStrip_;
    firstStrip_ = static_cast<std::int32_t>(std::max<std::int64_t>(first - skipped, -1));
    lastStrip_ = static_cast<std::int32_t>(std::max<std::int64_t>(last - skipped, -1));
    if (first >= skipped || last < skipped) return KV_OK;

    // The input's read is under way there: the one the whole read began in the input's first
    // strip, taken up at the strip it has come to.
    KVIImageStage* input = getPreviousStage();
    KVIScene moved;
    KVIScene part;
    if (!inputPart(getStripScene(static_cast<std::uint32_t>(first)), moved, part))
        return KV_STRIP_EMPTY;
    const auto inputStrips = static_cast<std::uint32_t>(skipped - first);
    if (part.getNumRows() == std::int64_t{getStripHeight()})
        return beginInputRead(*input, inputScene_, inputStrips);
    return beginInputRead(*input, inputRest(part.getNumRows()), inputStrips - 1);
}

bool KVIEmbeddedImage::inputPart(const KVIScene& stripScene, KVIScene& moved,
                                 KVIScene& part) const {
    moved = movedToInput(stripScene);
    KVINavigator navigator(moved, *getPreviousStage());
    if (!navigator.intersect(inputScene_)) return false;
    part = navigator.getScene();
    return true;
}

KVIScene KVIEmbeddedImage::inputRest(std::int32_t rowsRead) const {
    return KVIScene(inputScene_.getUpperLeftCol(),
                    std::int64_t{inputScene_.getUpperLeftRow()} + rowsRead,
                    inputScene_.getNumCols(), inputScene_.getNumRows() - rowsRead,
                    inputScene_.getMagnification());
}

KVStatus KVIEmbeddedImage::decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) {
    KVIImageStage* input = getPreviousStage();
    if (input == nullptr) return KV_FAILURE;
    if (useBackground_) KV_RETURN_IF_FAILED(fillWithBackground(stripScene, buffer));
    if (!active_) return KV_OK;
    const std::int32_t f = firstStrip_;
    const std::int32_t l = lastStrip_;
    // Held above the lowest value, so that no read outlives the count.
    firstStrip_ = std::max(firstStrip_ - 1, -1);
    lastStrip_ = std::max(lastStrip_ - 1, -1);
    if (f > 0 || l < 0) return KV_OK;

    KVIScene moved;
    KVIScene part;
    // A strip of the read that should hold input rows but does not was not cut from this read.
    if (!inputPart(stripScene, moved, part)) return KV_STRIP_EMPTY;
    const std::int32_t partRows = part.getNumRows();
    const std::int64_t stripHeight = getStripHeight();

    if (f == 0)
        KV_RETURN_IF_FAILED(beginInputRead(*input, partRows == stripHeight ? inputScene_ : part));
    std::int64_t dx = std::int64_t{part.getUpperLeftCol()} - moved.getUpperLeftCol();
    std::int64_t dy = std::int64_t{part.getUpperLeftRow()} - moved.getUpperLeftRow();
    if (part.getNumCols() + dx > stripScene.getNumCols()) --dx;
    if (partRows + dy > stripScene.getNumRows()) --dy;
    KV_RETURN_IF_FAILED(writeStrip(*input, buffer, part,
                                   static_cast<std::uint32_t>(std::max<std::int64_t>(dx, 0)),
                                   static_cast<std::uint32_t>(std::max<std::int64_t>(dy, 0))));

    if (l == 0) return endInputRead(*input);
    if (f == 0 && partRows != stripHeight) {
        // The short read of the input's first rows is done; the rest follows strip by strip.
        KV_RETURN_IF_FAILED(endInputRead(*input));
        return beginInputRead(*input, inputRest(partRows));
    }
    return KV_OK;
}

KVStatus KVIEmbeddedImage::writeStrip(KVIImageStage& input, KVISceneBuffer& buffer,
                                      const KVIScene& part, std::uint32_t dx, std::uint32_t dy) {
    const auto cols = static_cast<std::uint32_t>(part.getNumCols());
    const auto rows = static_cast<std::uint32_t>(part.getNumRows());
    const KVIPixel pixel = getPixelProps();
    return kvGuard([&]() -> KVStatus {
        KVISceneBuffer window(buffer, dx, dy, cols, rows);
        if (writesStraight(input, buffer.getPixelProps())) return input.readStrip(window, part);

        // Through the scratch buffer, merged into the caller's.
        if (fillHolder_ == nullptr || !holderCovers(*fillHolder_, pixel))
            return KV_PIXEL_BAND_COUNT_MISMATCH;
        const std::uint64_t pixels = std::uint64_t{cols} * rows;
        if (pixels > std::numeric_limits<std::uint32_t>::max() ||
            !fillHolder_->resize(static_cast<std::uint32_t>(pixels)))
            return KV_BUFFER_ALLOCATION_FAILED;
        fillHolder_->fill(0);
        KVISceneBuffer scratch(pixel, cols, rows, fillHolder_->getBandData());
        KV_RETURN_IF_FAILED(input.readStrip(scratch, part));
        return mergeSceneBuffers(window, mergeMode_, scratch, input.getNoDataPixel(),
                                 getNoDataPixel(), input.getMaskSource(), part, true);
    });
}

KVStatus KVIEmbeddedImage::decodeEnd() {
    KVIImageStage* input = getPreviousStage();
    if (input == nullptr) return KV_FAILURE;
    active_ = false;
    return endInputRead(*input);
}

} // namespace Korvel
