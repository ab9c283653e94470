#include "QuarnSingleImageReaderBase.h"

#include "crs/KVIWktDerivation.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"

#include <cmath>

namespace Korvel {

namespace {

constexpr std::uint32_t kStripHeight = 64;
// The largest magnification of a raster image: level -20, 2^20.
constexpr double kMaxMagnification = 1048576.0;

} // namespace

QuarnSingleImageReaderBase::QuarnSingleImageReaderBase() {
    setStripHeight(kStripHeight);
}

QuarnSingleImageReaderBase::~QuarnSingleImageReaderBase() = default;

std::uint32_t QuarnSingleImageReaderBase::getModifications(const KVIScene& scene) {
    // An image without metadata (as most images of a file of many are) has no record.
    std::uint32_t mask = KVI_MOD_UNKNOWN;
    if (getMetadata().getCount() != 0 &&
        KVIMetadataAccessor(getMetadata()).getModifications(mask) != KV_OK)
        mask = KVI_MOD_UNKNOWN;
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
    // 2^-levels, exactly, without a general power.
    return setMagnification(std::ldexp(1.0, -static_cast<int>(getNumLevels())), kMaxMagnification);
}

KVStatus QuarnSingleImageReaderBase::placeGeoCoord(const double* georef) {
    KVIGeoCoord geo;
    bool found = false;
    // Without metadata there is no placement to read and no WKT to derive.
    const KVStatus status =
        getMetadata().getCount() != 0 ? deriveWktFromMetadata(getMetadata(), geo, found) : KV_OK;
    if (status != KV_OK) return status;
    if (georef != nullptr) {
        geo.set(georef[0], georef[1], georef[2], -std::fabs(georef[3]), 0.0, 0.0);
        return setGeoCoord(geo);
    }
    return found ? setGeoCoord(geo) : setDefaultGeoCoord();
}

} // namespace Korvel
