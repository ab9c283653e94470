#include "crs/gdal/KVGdalSpatialReference.h"

#include <cpl_vsi.h>

#include <memory>
#include <new>

namespace Korvel {

namespace {

struct GdalTextFree {
    void operator()(char* text) const { VSIFree(text); }
};

} // namespace

KVGdalSpatialReference::KVGdalSpatialReference() : handle_(OSRNewSpatialReference(nullptr)) {}

KVGdalSpatialReference::~KVGdalSpatialReference() {
    if (handle_ != nullptr) OSRDestroySpatialReference(handle_);
}

KVStatus KVGdalSpatialReference::exportWkt(std::string& wkt) const {
    if (handle_ == nullptr) return KV_FAILURE;
    // GDAL 3 writes WKT2 on request and for systems that WKT1 cannot hold; the readers of this
    // text expect WKT1, so the form is pinned.
    const char* const options[] = {"FORMAT=WKT1", nullptr};
    char* raw = nullptr;
    const OGRErr error = OSRExportToWktEx(handle_, &raw, options);
    const std::unique_ptr<char, GdalTextFree> text(raw);
    if (error != OGRERR_NONE || text == nullptr || *text == '\0') return KV_FAILURE;
    try {
        wkt = text.get();
    } catch (const std::bad_alloc&) {
        return KV_OUT_OF_MEMORY;
    }
    return KV_OK;
}

} // namespace Korvel
