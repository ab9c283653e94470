#pragma once
// Mix-in: the stage holds its own geo coordinate and whether it was made up (implicit).

#include "model/KVIGeoCoord.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <optional>

namespace Korvel {

class KVIOverrideGeoCoordData {
public:
    // The placement of an image of that height with no geo reference: origin (0, height - 1),
    // resolutions 1.0 and -1.0, no rotation, no WKT; marked implicit.
    KVStatus setDefaultGeoCoord(std::uint32_t height);

protected:
    KVIOverrideGeoCoordData();
    ~KVIOverrideGeoCoordData();

    // The held coordinate, or the default one while none is held.
    KVIGeoCoord heldGeoCoord() const { return geoCoord_ ? *geoCoord_ : KVIGeoCoord(); }
    bool heldGeoCoordImplicit() const { return implicit_; }
    // A copy, no longer implicit.
    KVStatus storeGeoCoord(const KVIGeoCoord& geo);

private:
    // Held by value: storing one allocates no more than its WKT needs.
    std::optional<KVIGeoCoord> geoCoord_;
    bool implicit_ = false;
};

template <class Base> class KVIOverrideGeoCoord : public Base, protected KVIOverrideGeoCoordData {
public:
    using Base::Base;

    KVIGeoCoord getGeoCoord() const override { return heldGeoCoord(); }
    bool isGeoCoordImplicit() const override { return heldGeoCoordImplicit(); }
    KVStatus setGeoCoord(const KVIGeoCoord& geo) override { return storeGeoCoord(geo); }
    // The default placement for the stage's own height.
    KVStatus setDefaultGeoCoord() {
        return KVIOverrideGeoCoordData::setDefaultGeoCoord(this->getHeight());
    }

protected:
    ~KVIOverrideGeoCoord() override = default;
};

} // namespace Korvel
