#include "QG2ImageReader.h"

#include "QuarnRasterStatus.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataClassicalReader.h"
#include "metadata/KVIMetadataDatabase.h"
#include "metadata/KVIMetadataTag.h"
#include "model/KVIColorSpace.h"
#include "qg2/QG2Decoder.h"
#include "qg2/QG2FileDBInfo.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVBigEndian.h"
#include "support/KVMagnification.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <limits>
#include <new>

namespace Korvel {

QG2ImageReader* QG2ImageReader::create() {
    return new (std::nothrow) QG2ImageReader();
}

QG2ImageReader::QG2ImageReader() = default;

QG2ImageReader::~QG2ImageReader() {
    decoder_.reset();
    dbInfo_.reset();
    if (ownsStream_) closeAndDelete(stream_);
}

KVStatus QG2ImageReader::initialize(KVIOStreamInf* stream, KVIOStreamInf* worldFile,
                                    std::uint32_t memoryUsage, std::uint32_t streamUsage) {
    if (stream == nullptr) return KV_BAD_ARGUMENT;
    return kvGuard([&] {
        stream_ = stream;
        KV_RETURN_IF_FAILED(init(false));
        memoryUsage_ = memoryUsage;
        streamUsage_ = streamUsage;
        std::int64_t fileSize = 0;
        KV_RETURN_IF_FAILED(readHeaderAndMetadata(fileSize));
        return describe(fileSize, worldFile);
    });
}

KVStatus QG2ImageReader::readHeaderAndMetadata(std::int64_t& fileSize) {
    if (!stream_->isOpen())
        if (const KVStatus status = stream_->open(); status != KV_OK) return status;
    // The header is walked once, here: it gives the metadata offset and the stream's length. A
    // header that cannot be walked has no metadata here; reading it again below reports what is
    // wrong with it, with the statuses that reading it reports.
    std::unique_ptr<QG2FileDBInfo> info(
        new (std::nothrow) QG2FileDBInfo(stream_, true, streamUsage_ == QRN_STREAM_KEEP_OPEN,
                                         memoryUsage_ == QRN_MEMORY_FULL_SHARED));
    if (!info) {
        stream_->close();
        return KV_OUT_OF_MEMORY;
    }
    KVStatus header = KV_FAILURE;
    KVStatus status = readMetadata(*info, header);
    if (status == KV_OK && header == KV_OK) {
        fileSize = static_cast<std::int64_t>(info->getStreamLength());
    } else if (status == KV_OK) {
        status = getStreamSize(stream_, fileSize);
    }
    if (status != KV_OK) {
        stream_->close();
        return status;
    }
    if ((status = stream_->close()) != KV_OK) return status;

    // The image is dithered unless its metadata says otherwise.
    dither_ = !getMetadata().has(KVI_TAG_IMAGE_NO_DITHER);
    info->setDither(dither_);
    try {
        status =
            kvGuard([&] { return header == KV_OK ? info->readSubbands() : info->readHeader(); },
                    KV_QRN_UNEXPECTED_EXCEPTION);
    } catch (...) {
        status = KV_QRN_UNEXPECTED_EXCEPTION;
    }
    if (status == KV_OK) dbInfo_ = std::move(info);
    return status;
}

KVStatus QG2ImageReader::readMetadata(QG2FileDBInfo& info, KVStatus& header) {
    header = KV_FAILURE;
    if (stream_->seek(0, KVIO_SEEK_SET) != KV_OK) return KV_QRN_METADATA_UNUSABLE;
    header = info.readFileHeader();
    const std::uint32_t offset = header == KV_OK ? info.getMetadataOffset() : 0;
    if (offset == 0) return KV_OK;
    std::uint16_t marker = 0;
    if (stream_->seek(offset, KVIO_SEEK_SET) != KV_OK || !readBE(stream_, marker))
        return KV_QRN_METADATA_UNUSABLE;
    if (marker != 0xFFD1) return KV_OK;
    KVIMetadataDatabase* metadata = metadataForUpdate();
    if (metadata == nullptr) return KV_OUT_OF_MEMORY;
    return KVIMetadataClassicalReader(*metadata, stream_).read();
}

KVStatus QG2ImageReader::describe(std::int64_t fileSize, KVIOStreamInf* worldFile) {
    const KVIRect& region = dbInfo_->getRegion();
    KVStatus status = setDimensions(static_cast<std::uint32_t>(region.width()),
                                    static_cast<std::uint32_t>(region.height()));
    if (status != KV_OK) return status;

    std::uint32_t colorSpace = 0;
    switch (dbInfo_->getNumBands()) {
    case 1:
        colorSpace = KVI_COLORSPACE_GREY;
        break;
    case 3:
        colorSpace = KVI_COLORSPACE_RGB;
        break;
    case 4:
        colorSpace = KVI_COLORSPACE_CMYK;
        break;
    default:
        return KV_QRN_COLOR_SPACE_UNSUPPORTED;
    }
    KVIPixel pixel(colorSpace, static_cast<std::uint16_t>(dbInfo_->getNumBands()),
                   KVI_DATATYPE_UINT8);
    if ((status = placeGeoCoord(nullptr)) != KV_OK) return status;
    if ((status = setPixelInfoFromMetadata(getMetadata(), pixel, true, false)) != KV_OK)
        return status;
    if ((status = setMagnificationForLevels()) != KV_OK) return status;

    // The file's size and name, unless the metadata already tells them.
    KVIMetadataDatabase* metadata = metadataForUpdate();
    if (metadata == nullptr) return KV_OUT_OF_MEMORY;
    KVIMetadataAccessor accessor(*metadata);
    if (!metadata->has(KVI_TAG_IMAGE_INPUT_FILE_SIZE) &&
        (status = accessor.setInputFileSize(static_cast<double>(fileSize))) != KV_OK)
        return status;
    const char* name = stream_->getID();
    if (name != nullptr && *name != '\0' && !metadata->has(KVI_TAG_IMAGE_INPUT_NAME) &&
        (status = accessor.setInputName(name)) != KV_OK)
        return status;

    if (worldFile != nullptr) {
        bool found = false;
        if ((status = readWorldFile(worldFile, found, false)) != KV_OK) return status;
    }
    return KV_OK;
}

KVStatus QG2ImageReader::getDimsAtMag(double magnification, std::uint32_t& width,
                                      std::uint32_t& height) const {
    width = 0;
    height = 0;
    if (!dbInfo_) return KV_FAILURE;
    const KVIRect& region = dbInfo_->getRegion();
    const std::int32_t level = magToLevel(magnification);
    width = static_cast<std::uint32_t>(
        std::max(shiftCeil(static_cast<std::int32_t>(region.width()), level), 0));
    height = static_cast<std::uint32_t>(
        std::max(shiftCeil(static_cast<std::int32_t>(region.height()), level), 0));
    return KV_OK;
}

std::uint8_t QG2ImageReader::getNumLevels() const {
    return dbInfo_ ? static_cast<std::uint8_t>(dbInfo_->getNumLevels()) : 0;
}

void QG2ImageReader::getVersion(std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2,
                                std::uint8_t& b3) const {
    if (!dbInfo_) return;
    const auto& version = dbInfo_->getVersion();
    b0 = version[0];
    b1 = version[1];
    b2 = version[2];
    b3 = 0;
}

KVStatus QG2ImageReader::decodeBegin(const KVIScene& scene) {
    if (!dbInfo_) return KV_FAILURE;
    if (!decoder_) {
        decoder_.reset(new (std::nothrow) QG2Decoder(dbInfo_.get(), getInterruptDelegate()));
        if (!decoder_) return KV_OUT_OF_MEMORY;
        if (const KVStatus status = decoder_->initialize(); status != KV_OK) {
            decoder_.reset();
            return status;
        }
    }
    // The delegate of this read, not one that may have gone since the decoder was made.
    decoder_->setInterruptDelegate(getInterruptDelegate());
    const std::int32_t level = magToLevel(scene.getMagnification());
    KVIRect region;
    KV_RETURN_IF_FAILED(dbInfo_->getRegionAtLevel(level, region));
    KVIRect rect;
    if (scene.getNumCols() > 0 && scene.getNumRows() > 0) {
        const std::int64_t x0 = std::int64_t{scene.getUpperLeftCol()} + region.x0;
        const std::int64_t y0 = std::int64_t{scene.getUpperLeftRow()} + region.y0;
        const std::int64_t x1 = std::int64_t{scene.getLowerRightCol()} + region.x0;
        const std::int64_t y1 = std::int64_t{scene.getLowerRightRow()} + region.y0;
        constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
        if (x0 < 0 || y0 < 0 || x1 > kMax || y1 > kMax) return KV_QG2_OUTSIDE_REGION;
        rect = KVIRect{static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0),
                       static_cast<std::int32_t>(x1), static_cast<std::int32_t>(y1)};
    }
    // The region lies at the level offset of the file's levels.
    const std::int64_t decoded = std::int64_t{level} + dbInfo_->getLevelOffset();
    if (decoded > dbInfo_->getNumLevels()) return KV_QG2_LEVEL_TOO_HIGH;
    return decoder_->decodeBegin(rect, static_cast<std::int32_t>(decoded), getStripHeight());
}

KVStatus QG2ImageReader::decodeStrip(KVISceneBuffer& buffer, const KVIScene&) {
    return decoder_ ? decoder_->decodeStrip(buffer) : KV_FAILURE;
}

KVStatus QG2ImageReader::decodeEnd() {
    return decoder_ ? decoder_->decodeEnd() : KV_OK;
}

} // namespace Korvel
