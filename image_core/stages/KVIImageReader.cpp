#include "stages/KVIImageReader.h"

#include "buffers/KVINavigator.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "model/KVIPixelLookupTable.h"
#include "support/KVMagnification.h"

#include <limits>

namespace Korvel {

KVIImageReader::~KVIImageReader() = default;

KVStatus KVIImageReader::getDimsAtMag(double magnification, std::uint32_t& width,
                                      std::uint32_t& height) const {
    if (!(magnification >= getMinMagnification() && magnification <= getMaxMagnification()))
        return KV_BAD_ARGUMENT;
    return scaleDimensions(getWidth(), getHeight(), magnification, width, height);
}

std::int64_t KVIImageReader::getSceneCost(const KVIScene& scene) {
    const std::int64_t pixels = std::int64_t{scene.getNumCols()} * scene.getNumRows();
    std::int64_t bytes = 0;
    if (__builtin_mul_overflow(pixels, std::int64_t{getPixelProps().getNumBytes()}, &bytes))
        bytes = pixels < 0 ? std::numeric_limits<std::int64_t>::min()
                           : std::numeric_limits<std::int64_t>::max();
    return bytes / 1024;
}

bool KVIImageReader::clipScene(const KVIScene& scene, KVIScene& clipped) {
    KVINavigator navigator(scene, *this);
    const bool any = navigator.clipToImage();
    clipped = navigator.getScene();
    return any;
}

std::uint32_t KVIImageReader::getModifications(const KVIScene& scene) {
    std::uint32_t mask = 0;
    const double mag = scene.getMagnification();
    if (mag != 1.0 && mag >= getMinMagnification() && mag <= getMaxMagnification())
        mask = KVI_MOD_SCALED;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (getDimsAtMag(mag, width, height) != KV_OK) return mask;
    if (std::int64_t{scene.getNumCols()} < std::int64_t{width} ||
        std::int64_t{scene.getNumRows()} < std::int64_t{height})
        mask |= KVI_MOD_CROPPED;
    return mask;
}

KVStatus KVIImageReader::removeOwnImageInfoTags() {
    KVIMetadataDatabase* metadata = getMutableMetadata();
    if (metadata == nullptr) return KV_OK;
    return KVIMetadataAccessor(*metadata).removeImageInfoTags();
}

KVStatus KVIImageReader::copyImageProperties(const KVIImage* image) {
    if (image == nullptr) return setMetadata(nullptr);
    // The image may be this reader: work from copies of what it holds.
    KVStatus status = setDimensions(image->getWidth(), image->getHeight());
    if (status == KV_OK) status = setPixelProps(image->getPixelProps());
    if (status == KV_OK) status = setBackgroundPixel(image->getBackgroundPixel());
    if (status == KV_OK) status = setNoDataPixel(image->getNoDataPixel());
    if (status == KV_OK) status = setPixelLookupTable(image->getPixelLookupTable());
    if (status == KV_OK)
        status = setDynamicRange(image->getMinDynamicRange(), image->getMaxDynamicRange());
    if (status == KV_OK)
        status =
            image->isGeoCoordImplicit() ? setDefaultGeoCoord() : setGeoCoord(image->getGeoCoord());
    if (status == KV_OK)
        status = setMagnification(image->getMinMagnification(), image->getMaxMagnification());
    if (status == KV_OK) status = setMetadata(&image->getMetadata());
    if (status != KV_OK) return status;
    return removeOwnImageInfoTags();
}

KVStatus KVIImageReader::setPixelInfoFromMetadata(const KVIMetadataDatabase& metadata,
                                                  KVIPixel& pixelProps, bool readPixelProps,
                                                  bool readGeo) {
    const KVIMetadataAccessor accessor(metadata);
    KVStatus status = KV_OK;
    if (readPixelProps) {
        status = accessor.getPixelProps(pixelProps);
        if (status != KV_OK) return status;
    }

    KVIPixel minPixel(pixelProps);
    KVIPixel maxPixel(pixelProps);
    if (accessor.getDynamicRange(minPixel, maxPixel) != KV_OK) {
        minPixel = pixelProps;
        maxPixel = pixelProps;
        minPixel.setToMin();
        maxPixel.setToMax();
    }
    if (readPixelProps) {
        status = setPixelProps(pixelProps);
        if (status != KV_OK) return status;
    }
    status = setDynamicRange(minPixel, maxPixel);
    if (status != KV_OK) return status;

    KVIPixel background(pixelProps);
    status = setBackgroundPixel(accessor.getBackgroundPixel(background) == KV_OK ? &background
                                                                                 : nullptr);
    if (status != KV_OK) return status;
    KVIPixel noData(pixelProps);
    status = setNoDataPixel(accessor.getTransparentPixel(noData) == KV_OK ? &noData : nullptr);
    if (status != KV_OK) return status;

    std::unique_ptr<KVIPixelLookupTable> table;
    status = accessor.getInputLUT(pixelProps, table);
    if (status != KV_OK) return status;
    status = setPixelLookupTable(table.get());
    if (status != KV_OK) return status;

    if (readGeo) {
        KVIGeoCoord geo;
        bool found = false;
        status = geo.readFromMetadata(metadata, found);
        if (status != KV_OK) return status;
        status = found ? setGeoCoord(geo) : setDefaultGeoCoord();
        if (status != KV_OK) return status;
    }
    return removeOwnImageInfoTags();
}

} // namespace Korvel
