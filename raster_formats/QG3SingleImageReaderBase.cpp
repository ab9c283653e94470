#include "QG3SingleImageReaderBase.h"

#include "QuarnRasterStatus.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataClassicalReader.h"
#include "metadata/KVIMetadataDatabase.h"
#include "model/KVIColorSpace.h"
#include "model/KVIPixelLookupTable.h"
#include "qg3/container/QG3ColorSpace.h"
#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3FileSimpleImageSource.h"
#include "qg3/container/QG3MetadataDesc.h"
#include "qg3/container/QG3MetadataSupport.h"
#include "qg3/container/QG3SelectedPixel.h"
#include "qg3/planes/QG3FileSimplePlaneSource.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVMagnification.h"
#include "support/KVStatusGuard.h"
#include "wavelet/QG3FileSimpleDecoderTool.h"

#include <new>
#include <optional>

namespace Korvel {

namespace {

// Opens the container's stream for the packets read lazily in between, and closes it again.
class ContainerAccess {
public:
    explicit ContainerAccess(QG3FileSimpleContainer* container) : container_(container) {
        status_ = container_->openStream();
    }
    ~ContainerAccess() {
        if (status_ == KV_OK) container_->closeStream();
    }
    ContainerAccess(const ContainerAccess&) = delete;
    ContainerAccess& operator=(const ContainerAccess&) = delete;
    KVStatus status() const { return status_; }

private:
    QG3FileSimpleContainer* container_;
    KVStatus status_;
};

} // namespace

QG3SingleImageReaderBase::QG3SingleImageReaderBase() = default;

QG3SingleImageReaderBase::~QG3SingleImageReaderBase() = default;

KVStatus QG3SingleImageReaderBase::getDimsAtMag(double magnification, std::uint32_t& width,
                                                std::uint32_t& height) const {
    width = 0;
    height = 0;
    if (!source_) return KV_FAILURE;
    source_->getDimensionsAtLevel(magToLevel(magnification), width, height);
    return KV_OK;
}

std::uint8_t QG3SingleImageReaderBase::getNumLevels() const {
    return source_ ? source_->getNumLevels() : 0;
}

void QG3SingleImageReaderBase::getVersion(std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2,
                                          std::uint8_t& b3) const {
    if (container_ == nullptr) return;
    const QG3FileVersion version = container_->getFileVersion();
    b0 = version[0];
    b1 = version[1];
    b2 = version[2];
    b3 = version[3];
}

KVStatus QG3SingleImageReaderBase::openImageSource() {
    if (container_ == nullptr) return KV_BAD_ARGUMENT;
    source_.reset(new (std::nothrow) QG3FileSimpleImageSource(container_, imageNumber_));
    if (!source_) return KV_OUT_OF_MEMORY;
    return source_->open();
}

KVStatus QG3SingleImageReaderBase::createDecoder() {
    if (tool_) return KV_OK;
    std::uint32_t model = 0;
    switch (memoryUsage_) {
    case QRN_MEMORY_AUTOMATIC:
        model = QG3_MEMORY_MODEL_AUTOMATIC;
        break;
    case QRN_MEMORY_PARTIAL:
        model = QG3_MEMORY_MODEL_PARTIAL;
        break;
    case QRN_MEMORY_FULL:
    case QRN_MEMORY_FULL_SHARED:
        model = QG3_MEMORY_MODEL_FULL;
        break;
    default:
        return KV_QRN_UNKNOWN_MEMORY_USAGE;
    }
    if (!source_) return KV_QG3_NO_OBJECT;
    std::unique_ptr<QG3FileSimplePlaneSource> planeSource(
        new (std::nothrow) QG3FileSimplePlaneSource(*source_, model));
    if (!planeSource) return KV_OUT_OF_MEMORY;
    KV_RETURN_IF_FAILED(planeSource->initialize());
    KVIRef<QG3FileSimpleDecoderTool> tool(QG3FileSimpleDecoderTool::create());
    if (!tool) return KV_OUT_OF_MEMORY;
    KV_RETURN_IF_FAILED(tool->initialize(*planeSource));
    KV_RETURN_IF_FAILED(tool->setStripHeight(getStripHeight()));
    tool->setProgressDelegate(getProgressDelegate());
    tool->setInterruptDelegate(getInterruptDelegate());
    planeSource_ = std::move(planeSource);
    tool_ = std::move(tool);
    return KV_OK;
}

KVStatus QG3SingleImageReaderBase::decodeBegin(const KVIScene& scene) {
    KV_RETURN_IF_FAILED(createDecoder());
    KV_RETURN_IF_FAILED(tool_->setStripHeight(getStripHeight()));
    return tool_->readBegin(scene);
}

KVStatus QG3SingleImageReaderBase::decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) {
    return tool_ ? tool_->readStrip(buffer, stripScene) : KV_QG3_NO_OBJECT;
}

KVStatus QG3SingleImageReaderBase::decodeEnd() {
    return tool_ ? tool_->readEnd() : KV_OK;
}

void QG3SingleImageReaderBase::setProgressDelegate(KVIProgressDelegate* delegate) {
    QuarnSingleImageReaderBase::setProgressDelegate(delegate);
    if (tool_) tool_->setProgressDelegate(delegate);
}

void QG3SingleImageReaderBase::setInterruptDelegate(KVIInterruptDelegate* delegate) {
    QuarnSingleImageReaderBase::setInterruptDelegate(delegate);
    if (tool_) tool_->setInterruptDelegate(delegate);
}

KVStatus QG3SingleImageReaderBase::initializeImage(
    QG3FileSimpleContainer* container, std::uint32_t imageNumber, const std::uint16_t* bands,
    std::uint32_t bandCount, bool generation4, KVIOStreamInf* worldFile, std::uint32_t memoryUsage,
    std::uint32_t streamUsage) {
    return kvGuard([&] {
        KV_RETURN_IF_FAILED(init(false));
        memoryUsage_ = memoryUsage;
        streamUsage_ = streamUsage;
        container_ = container;
        imageNumber_ = imageNumber;
        KV_RETURN_IF_FAILED(openImageSource());
        KV_RETURN_IF_FAILED(readImageMetadata());
        if (generation4 && bands != nullptr && bandCount != 0)
            KV_RETURN_IF_FAILED(selectBands(bands, bandCount));
        return describe(generation4, worldFile);
    });
}

KVStatus QG3SingleImageReaderBase::readImageMetadata() {
    QG3MetadataSupport* support = container_->getMetadataSupport();
    const QG3MetadataDesc key{QG3_METADATA_CLASSICAL, 0, imageNumber_};
    if (support == nullptr || !support->hasMetadata(key)) return KV_OK;
    KVIMetadataDatabase* metadata = metadataForUpdate();
    if (metadata == nullptr) return KV_OUT_OF_MEMORY;

    const ContainerAccess access(container_);
    if (access.status() != KV_OK) return access.status();
    KVIOStreamInf* stream = createMemStream();
    if (stream == nullptr) return KV_QRN_METADATA_UNUSABLE;
    KVStatus status = support->readMetadata(key, stream);
    if (status == KV_OK) status = stream->seek(0, KVIO_SEEK_SET);
    if (status == KV_OK) status = KVIMetadataClassicalReader(*metadata, stream).read();
    closeAndDelete(stream);
    return status;
}

KVStatus QG3SingleImageReaderBase::selectBands(const std::uint16_t* bands,
                                               std::uint32_t bandCount) {
    QG3BandSet& set = source_->getImageInfo()->bandSet;
    for (std::uint32_t i = 0; i < bandCount; ++i)
        if (bands[i] >= set.getBitCount()) return KV_BAD_ARGUMENT;
    set.clearAll();
    for (std::uint32_t i = 0; i < bandCount; ++i)
        set.set(bands[i]);
    return set.getSetCount() == bandCount ? KV_OK : KV_QRN_BAND_LISTED_TWICE;
}

KVStatus QG3SingleImageReaderBase::describe(bool generation4, KVIOStreamInf* worldFile) {
    const QG3ImageInfo& info = *source_->getImageInfo();
    const QG3BandSet& set = info.bandSet;
    KVStatus status = setDimensions(source_->getWidth(), source_->getHeight());
    if (status != KV_OK) return status;

    // The pixel of the whole image (every band is selected in generation 3), refined by the
    // metadata, and the reader's pixel: the selected bands alone when not all are.
    const std::uint32_t colorSpace = colorSpaceToPixelColorSpace(info.colorSpace);
    if (colorSpace == 0) return KV_QRN_COLOR_SPACE_UNSUPPORTED;
    const std::uint32_t dataType = getSampleDataType(info.dataType);
    if (dataType == KVI_DATATYPE_NONE) return KV_QRN_DATA_TYPE_UNSUPPORTED;
    const KVIMetadataAccessor accessor(getMetadata());
    // An image without metadata (as most images of a file of many are) has none of the tags
    // asked for below: its description is the file's alone.
    const bool hasMetadata = getMetadata().getCount() != 0;
    KVIPixel full(colorSpace, set.getBitCount(), dataType);
    if (hasMetadata && (status = accessor.getPixelProps(full)) != KV_OK) return status;
    const bool allBands = set.getSetCount() == set.getBitCount();
    const std::uint32_t subsetColorSpace = selectedColorSpace(set, colorSpace);
    // Every reduction below takes bands that exist in a pixel of the whole image's shape.
    const auto reduce = [&](const KVIPixel& whole, KVIPixel& subset) {
        return reducePixel(whole, set, subsetColorSpace, subset) ? KV_OK : KV_FAILURE;
    };
    KVIPixel pixel = full;
    if (!allBands) KV_RETURN_IF_FAILED(reduce(full, pixel));

    KVIPixel minPixel(full);
    KVIPixel maxPixel(full);
    if (!hasMetadata || accessor.getDynamicRange(minPixel, maxPixel) != KV_OK) {
        double low = info.sampleMin;
        double high = info.sampleMax;
        // Generation-4 float samples may be stored scaled.
        if (generation4) info.getSampleRange(low, high);
        // A lookup that failed may have left part of its answer.
        if (hasMetadata) {
            minPixel = full;
            maxPixel = full;
        }
        minPixel.setSampleValuesFromDouble(low);
        maxPixel.setSampleValuesFromDouble(high);
    }
    if ((status = setPixelProps(pixel)) != KV_OK) return status;
    if (!allBands) {
        KVIPixel minSubset;
        KVIPixel maxSubset;
        KV_RETURN_IF_FAILED(reduce(minPixel, minSubset));
        KV_RETURN_IF_FAILED(reduce(maxPixel, maxSubset));
        minPixel = minSubset;
        maxPixel = maxSubset;
    }
    if ((status = setDynamicRange(minPixel, maxPixel)) != KV_OK) return status;

    // Background and no-data: the metadata's, else the file's own. A background of some bands
    // only has no meaning; a no-data pixel is reduced to the selected bands.
    const KVIPixel* backgroundPixel = source_->getBackgroundPixel();
    const KVIPixel* noDataPixel = source_->getNoDataPixel();
    std::optional<KVIPixel> background;
    std::optional<KVIPixel> noData;
    if (hasMetadata) {
        if (accessor.getBackgroundPixel(background.emplace(full)) == KV_OK)
            backgroundPixel = &*background;
        if (accessor.getTransparentPixel(noData.emplace(full)) == KV_OK) noDataPixel = &*noData;
    }
    if ((status = setBackgroundPixel(allBands ? backgroundPixel : nullptr)) != KV_OK) return status;
    if (noDataPixel != nullptr && !allBands) {
        KVIPixel subset;
        if (!reducePixel(*noDataPixel, set, subsetColorSpace, subset)) return KV_QG3_BAD_FORMAT;
        status = setNoDataPixel(&subset);
    } else {
        status = setNoDataPixel(noDataPixel);
    }
    if (status != KV_OK) return status;

    std::unique_ptr<KVIPixelLookupTable> table;
    status = hasMetadata ? accessor.getInputLUT(pixel, table) : KV_OK;
    if (status != KV_OK && status != KV_METADATA_NOT_FOUND) return status;
    if ((status = setPixelLookupTable(table.get())) != KV_OK) return status;

    // The wavelet decoder has no level above the stored image, so a scene of this image is never
    // magnified: enlargement is left to a filter over the reader (as a mosaic does).
    if ((status = setMagnificationForLevels()) != KV_OK) return status;
    if ((status = setMagnification(getMinMagnification(), 1.0)) != KV_OK) return status;
    const double georef[4] = {source_->getXOrigin(), source_->getYOrigin(),
                              source_->getXResolution(), source_->getYResolution()};
    if ((status = placeGeoCoord(source_->hasGeoref() ? georef : nullptr)) != KV_OK) return status;
    if (worldFile != nullptr) {
        bool found = false;
        if ((status = readWorldFile(worldFile, found, false)) != KV_OK) return status;
    }
    // The description now lives in the reader's own properties (a world file may have added
    // to the metadata since it was looked at).
    if (getMetadata().getCount() != 0) removeOwnImageInfoTags();
    return KV_OK;
}

} // namespace Korvel
