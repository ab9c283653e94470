#include "QG3DecoderTool.h"

#include "DecodeBase.h"
#include "PipelinedWaveletDecoder.h"
#include "buffers/KVISceneBuffer.h"
#include "model/KVIGeoCoord.h"
#include "qg3/container/QG3ColorSpace.h"
#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3ImageSource.h"
#include "qg3/container/QG3SelectedPixel.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3PlaneSource.h"
#include "qg3/planes/QG3PlaneStoreClient.h"
#include "support/KVMagnification.h"
#include "support/KVSaturate.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <new>

namespace Korvel {

namespace {

constexpr std::uint32_t kStripHeight = 16;
// The largest magnification the tool accepts: level -127.
constexpr std::int32_t kMaxMagnificationLevel = -127;

} // namespace

QG3DecoderTool::QG3DecoderTool() = default;

QG3DecoderTool::~QG3DecoderTool() {
    // The decoder reads from the base, which reads through the client.
    decoder_.reset();
    base_.reset();
}

KVStatus QG3DecoderTool::initialize(QG3PlaneSource& planeSource,
                                    std::unique_ptr<QG3PlaneStoreClient> client) {
    const QG3ImageInfo* info = planeSource.getImageInfo();
    if (info == nullptr || !client) return KV_QG3_NO_OBJECT;
    planeSource_ = &planeSource;
    client_ = std::move(client);
    KV_RETURN_IF_FAILED(copyImageProperties(nullptr));

    const QG3ImageSource& source = planeSource.getImageSource();
    // The visible image, so that the tool's size agrees with its getDimsAtMag.
    KV_RETURN_IF_FAILED(setDimensions(info->getVisibleWidth(), info->getVisibleHeight()));

    const QG3BandSet& set = info->bandSet;
    const std::uint32_t fullColorSpace = colorSpaceToPixelColorSpace(info->colorSpace);
    if (fullColorSpace == 0 && set.getSetCount() == set.getBitCount())
        return KV_QG3_COLOR_SPACE_UNSUPPORTED;
    const std::uint32_t colorSpace = selectedColorSpace(set, fullColorSpace);
    const std::uint32_t dataType = getSampleDataType(info->dataType);
    if (dataType == KVI_DATATYPE_NONE) return KV_UNSUPPORTED_DATA_TYPE;
    const KVIPixel pixel(colorSpace, set.getSetCount(), dataType);
    KV_RETURN_IF_FAILED(setPixelProps(pixel));

    // The extras' pixels, of every band, reduced to the selected ones.
    const auto selected = [&](const KVIPixel* whole, auto&& store) -> KVStatus {
        if (whole == nullptr) return KV_OK;
        KVIPixel subset;
        if (!reducePixel(*whole, set, colorSpace, subset)) return KV_QG3_BAD_FORMAT;
        return store(&subset);
    };
    KV_RETURN_IF_FAILED(selected(source.getBackgroundPixel(),
                                 [&](const KVIPixel* p) { return setBackgroundPixel(p); }));
    KV_RETURN_IF_FAILED(
        selected(source.getNoDataPixel(), [&](const KVIPixel* p) { return setNoDataPixel(p); }));

    if (source.hasGeoref()) {
        KVIGeoCoord geo;
        const double yResolution = source.getYResolution();
        geo.set(source.getXOrigin(), source.getYOrigin(), source.getXResolution(),
                yResolution > 0.0 ? -yResolution : yResolution, 0.0, 0.0);
        KV_RETURN_IF_FAILED(setGeoCoord(geo));
    } else {
        KV_RETURN_IF_FAILED(setDefaultGeoCoord());
    }

    double low = 0.0;
    double high = 0.0;
    info->getSampleRange(low, high);
    KVIPixel minPixel(pixel);
    KVIPixel maxPixel(pixel);
    minPixel.setSampleValuesFromDouble(low);
    maxPixel.setSampleValuesFromDouble(high);
    KV_RETURN_IF_FAILED(setDynamicRange(minPixel, maxPixel));

    KV_RETURN_IF_FAILED(setMagnification(levelToMag(info->getVisibleNumLevels()),
                                         levelToMag(kMaxMagnificationLevel)));
    KV_RETURN_IF_FAILED(setStripHeight(kStripHeight));
    numLevels_ = info->numLevels;
    sampleBytes_ = getDataTypeBytes(info->dataType);
    return KV_OK;
}

KVStatus QG3DecoderTool::getDimsAtMag(double magnification, std::uint32_t& width,
                                      std::uint32_t& height) const {
    width = 0;
    height = 0;
    if (planeSource_ == nullptr) return KV_FAILURE;
    planeSource_->getImageSource().getDimensionsAtLevel(magToLevel(magnification), width, height);
    return KV_OK;
}

void QG3DecoderTool::setInterruptDelegate(KVIInterruptDelegate* delegate) {
    KVIImageReader::setInterruptDelegate(delegate);
    if (base_) base_->setInterruptDelegate(delegate);
}

KVStatus QG3DecoderTool::computeLevelRect(const KVIRect& sceneRect, std::int32_t sceneLevel) {
    decodeRect_ = KVIRect{0, 1, -1, 0};
    if (planeSource_ == nullptr) return KV_QG3_NO_OBJECT;
    const QG3ImageInfo& info = *planeSource_->getImageInfo();
    // Magnified scenes have no stored level.
    const std::int64_t absolute = std::int64_t(sceneLevel) + info.cropLevel;
    if (sceneLevel < 0 || absolute > numLevels_) return KV_QG3_NOT_FOUND;
    absoluteLevel_ = static_cast<std::int32_t>(absolute);

    const KVIRect stored = info.getImageRect(absoluteLevel_, false, false);
    levelWidth_ =
        static_cast<std::uint32_t>(std::max<std::int64_t>(std::int64_t(stored.x1) + 1, 0));
    levelHeight_ =
        static_cast<std::uint32_t>(std::max<std::int64_t>(std::int64_t(stored.y1) + 1, 0));
    const KVIRect window = info.getImageRect(sceneLevel, true, true);

    movedRect_ = {saturateToInt32(std::int64_t(sceneRect.x0) + window.x0),
                  saturateToInt32(std::int64_t(sceneRect.y0) + window.y0),
                  saturateToInt32(std::int64_t(sceneRect.x1) + window.x0),
                  saturateToInt32(std::int64_t(sceneRect.y1) + window.y0)};
    const KVIRect clipped{std::max(movedRect_.x0, window.x0), std::max(movedRect_.y0, window.y0),
                          std::min(movedRect_.x1, window.x1), std::min(movedRect_.y1, window.y1)};
    if (clipped.isEmpty()) return KV_QG3_NOT_FOUND;
    decodeRect_ = clipped;
    if (clipped.x0 < 0 || clipped.y0 < 0 || std::int64_t(clipped.x1) >= levelWidth_ ||
        std::int64_t(clipped.y1) >= levelHeight_)
        return KV_QG3_NOT_FOUND;
    return KV_OK;
}

void QG3DecoderTool::destroyDecoder() {
    if (decoder_) decoder_->release();
    decoder_.reset();
}

KVStatus QG3DecoderTool::setUpDecoder() {
    const QG3ImageInfo& info = *planeSource_->getImageInfo();
    if (!base_) {
        base_.reset(new (std::nothrow) DecodeBase(info, *client_, getInterruptDelegate()));
        if (!base_) return KV_QG3_OUT_OF_MEMORY;
    }
    base_->setInterruptDelegate(getInterruptDelegate());
    destroyDecoder();
    if (info.auxCodeB != 0 || info.auxCodeD != 0) return KV_QG3_NOT_FOUND;
    if (decodeRect_.isEmpty()) return KV_QG3_NOT_FOUND;
    decoder_ = PipelinedWaveletDecoder::create(
        decodeRect_, static_cast<std::uint8_t>(numLevels_ - absoluteLevel_), levelHeight_,
        levelWidth_, info.bandSet.getSetCount(), static_cast<std::uint8_t>(absoluteLevel_), *base_);
    return decoder_ ? KV_OK : KV_QG3_NOT_FOUND;
}

KVStatus QG3DecoderTool::decodeBegin(const KVIScene& scene) {
    if (planeSource_ == nullptr || !client_) return KV_QG3_NO_OBJECT;
    const KVIRect sceneRect{scene.getUpperLeftCol(), scene.getUpperLeftRow(),
                            scene.getLowerRightCol(), scene.getLowerRightRow()};
    KV_RETURN_IF_FAILED(computeLevelRect(sceneRect, magToLevel(scene.getMagnification())));
    if (client_->wantsStripCacheCleared() && base_) base_->clearStripCache();

    KVStatus status = setUpDecoder();
    if (status == KV_OK) {
        const QG3ImageInfo& info = *planeSource_->getImageInfo();
        decoder_->setOutputRange(static_cast<std::uint32_t>(info.sampleMin),
                                 static_cast<std::uint32_t>(info.sampleMax), info.dataType);
        decoder_->setStripHeight(getStripHeight());
        status = decoder_->decodeBegin();
    }
    if (status != KV_OK) {
        destroyDecoder();
        return status;
    }
    relativeRect_ = {decodeRect_.x0 - movedRect_.x0, decodeRect_.y0 - movedRect_.y0,
                     decodeRect_.x1 - movedRect_.x0, decodeRect_.y1 - movedRect_.y0};
    nextStrip_ = 0;
    return KV_OK;
}

KVStatus QG3DecoderTool::decodeStrip(KVISceneBuffer& buffer, const KVIScene&) {
    if (!decoder_) return KV_QG3_NOT_FOUND;
    // The decoded samples are copied as they stand: the buffer must hold the selected bands in
    // the image's sample type.
    const std::uint16_t bands = planeSource_->getImageInfo()->bandSet.getSetCount();
    if (buffer.getNumBands() != bands) return KV_PIXEL_BAND_COUNT_MISMATCH;
    for (std::uint16_t b = 0; b < bands; ++b)
        if (buffer.getBytesPerSample(b) != sampleBytes_) return KV_PIXEL_DATA_TYPE_MISMATCH;

    // The strip's rows of the scene that the decode rectangle covers, in the stored image.
    const std::int64_t height = getStripHeight();
    const std::int64_t top = height * nextStrip_;
    ++nextStrip_;
    const std::int64_t first = std::max<std::int64_t>(top, relativeRect_.y0);
    const std::int64_t last = std::min<std::int64_t>(top + height - 1, relativeRect_.y1);
    if (first > last) return KV_OK;
    const KVIRect strip{decodeRect_.x0, saturateToInt32(first + movedRect_.y0), decodeRect_.x1,
                        saturateToInt32(last + movedRect_.y0)};

    // A strip that does not fit the buffer is still decoded, so that the next one follows it.
    const auto x = std::uint32_t(relativeRect_.x0);
    const auto y = std::uint32_t(first - top);
    const bool fits = std::uint64_t(x) + std::uint64_t(strip.width()) <= buffer.getWindowWidth() &&
                      std::uint64_t(y) + std::uint64_t(strip.height()) <= buffer.getWindowHeight();
    if (const KVStatus status = decoder_->decodeStrip(strip, fits ? &buffer : nullptr, x, y);
        status != KV_OK) {
        destroyDecoder();
        return status;
    }
    return fits ? KV_OK : KV_SCENE_BUFFER_MISMATCH;
}

KVStatus QG3DecoderTool::decodeEnd() {
    destroyDecoder();
    if (base_) base_->clearStripCache();
    return KV_OK;
}

} // namespace Korvel
