#pragma once
// An owned GDAL spatial reference, made and destroyed under the GDAL lock (the caller holds it),
// and its WKT in the first WKT form.

#include "support/KVStatus.h"

#include <ogr_srs_api.h>

#include <string>

namespace Korvel {

class KVGdalSpatialReference {
public:
    // An empty reference; get() is null when GDAL could not make one.
    KVGdalSpatialReference();
    ~KVGdalSpatialReference();
    KVGdalSpatialReference(const KVGdalSpatialReference&) = delete;
    KVGdalSpatialReference& operator=(const KVGdalSpatialReference&) = delete;

    OGRSpatialReferenceH get() const { return handle_; }

    // The reference as WKT1 text. KV_FAILURE when GDAL gives none or an empty one,
    // KV_OUT_OF_MEMORY when it cannot be copied; wkt is untouched on failure.
    KVStatus exportWkt(std::string& wkt) const;

private:
    OGRSpatialReferenceH handle_;
};

} // namespace Korvel
