#include "QuarnSingleImageReaderBase.h"

#include "KVIMetadataAccessor.h"
#include "KVIMetadataDatabase.h"
#include "KVIWktDerivation.h"
#include "KVMagnification.h"

#include <cmath>

namespace Korvel {

namespace {

constexpr std::uint32_t kStripHeight = 64;
// The largest magnification of a raster image: level -20.
constexpr std::int32_t kMaxMagnificationLevel = -20;

} // namespace

QuarnSingleImageReaderBase::QuarnSingleImageReaderBase() {
    setStripHeight(kStripHeight);
}

QuarnSingleImageReaderBase::~QuarnSingleImageReaderBase() = default;

std::uint32_t QuarnSingleImageReaderBase::getModifications(const KVIScene& scene) {
    std::uint32_t mask = KVI_MOD_UNKNOWN;
    if (KVIMetadataAccessor(getMetadata()).getModifications(mask) != KV_OK) mask = KVI_MOD_UNKNOWN;
    const double mag = scene.getMagnification();
    if (mag == 1.0) return mask;
    if (mag >= getMinMagnification() && mag <= getMaxMagnification()) mask |= KVI_MOD_SCALED;
    return mask;
}

KVStatus QuarnSingleImageReaderBase::decodeBegin(const KVIScene&) {
    return KV_FAILURE;
}

KVStatus QuarnSingleImageReaderBase::decodeStrip(KVISceneBuffer&, const KVIScene&) {
    return KV_FAILURE;
}

KVStatus QuarnSingleImageReaderBase::decodeEnd() {
    return KV_OK;
}

KVIMetadataDatabase* QuarnSingleImageReaderBase::metadataForUpdate() {
    if (getMutableMetadata() == nullptr && setMetadata(nullptr) != KV_OK) return nullptr;
    return getMutableMetadata();
}

KVStatus QuarnSingleImageReaderBase::setMagnificationForLevels() {
    return setMagnification(levelToMag(getNumLevels()), levelToMag(kMaxMagnificationLevel));
}

KVStatus QuarnSingleImageReaderBase::placeGeoCoord(const double* georef) {
    KVIGeoCoord geo;
    bool found = false;
    const KVStatus status = deriveWktFromMetadata(getMetadata(), geo, found);
    if (status != KV_OK) return status;
    if (georef != nullptr) {
        geo.set(georef[0], georef[1], georef[2], -std::fabs(georef[3]), 0.0, 0.0);
        return setGeoCoord(geo);
    }
    return found ? setGeoCoord(geo) : setDefaultGeoCoord();
}

} // namespace Korvel
