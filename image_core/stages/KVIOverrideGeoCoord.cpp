#include "stages/KVIOverrideGeoCoord.h"

#include "support/KVStatusGuard.h"
#include "support/KVUtilException.h"

#include <new>

namespace Korvel {

KVIOverrideGeoCoordData::KVIOverrideGeoCoordData() = default;
KVIOverrideGeoCoordData::~KVIOverrideGeoCoordData() = default;

KVStatus KVIOverrideGeoCoordData::storeGeoCoord(const KVIGeoCoord& geo) {
    if (geoCoord_ && &geo == &*geoCoord_) {
        implicit_ = false;
        return KV_OK;
    }
    const KVStatus status = kvGuard([&] {
        geoCoord_.emplace(geo);
        implicit_ = false;
    });
    if (status != KV_OK) geoCoord_.reset();
    return status;
}

KVStatus KVIOverrideGeoCoordData::setDefaultGeoCoord(std::uint32_t height) {
    const KVStatus status =
        storeGeoCoord(KVIGeoCoord(0.0, static_cast<double>(height) - 1.0, 1.0, -1.0, 0.0, 0.0));
    if (status == KV_OK) implicit_ = true;
    return status;
}

} // namespace Korvel
