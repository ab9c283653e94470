#include "KVIOverrideGeoCoord.h"

#include "KVUtilException.h"

#include <new>

namespace Korvel {

KVIOverrideGeoCoordData::KVIOverrideGeoCoordData() = default;
KVIOverrideGeoCoordData::~KVIOverrideGeoCoordData() = default;

KVIGeoCoord KVIOverrideGeoCoordData::heldGeoCoord() const {
    return geoCoord_ ? *geoCoord_ : KVIGeoCoord();
}

KVStatus KVIOverrideGeoCoordData::storeGeoCoord(const KVIGeoCoord& geo) {
    if (&geo == geoCoord_.get()) {
        implicit_ = false;
        return KV_OK;
    }
    try {
        auto copy = std::make_unique<KVIGeoCoord>(geo);
        geoCoord_ = std::move(copy);
        implicit_ = false;
        return KV_OK;
    } catch (const KVUtilException& e) {
        geoCoord_.reset();
        return e.getStatus();
    } catch (const std::bad_alloc&) {
        geoCoord_.reset();
        return KV_OUT_OF_MEMORY;
    }
}

KVStatus KVIOverrideGeoCoordData::setDefaultGeoCoord(std::uint32_t height) {
    const KVStatus status =
        storeGeoCoord(KVIGeoCoord(0.0, static_cast<double>(height) - 1.0, 1.0, -1.0, 0.0, 0.0));
    if (status == KV_OK) implicit_ = true;
    return status;
}

} // namespace Korvel
