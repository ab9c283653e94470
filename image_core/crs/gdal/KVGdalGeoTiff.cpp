#include "crs/GeoTiffOGISDefn.h"
#include "crs/KVIGeoTiffTagDirectory.h"
#include "crs/gdal/KVGdalConversions.h"
#include "crs/gdal/KVGdalSpatialReference.h"

#include <cpl_vsi.h>
#include <geo_normalize.h>
#include <geo_tiffp.h>
#include <geotiff.h>
#include <proj.h>

#include <climits>
#include <cstring>
#include <memory>
#include <new>

namespace Korvel {

struct KVIGeoTiffTagCallbacks {
    static KVIGeoTiffTagDirectory& directory(tiff_t* tif) {
        return *reinterpret_cast<KVIGeoTiffTagDirectory*>(tif);
    }

    // Hands libgeotiff a copy of the entry in its own allocation, which it keeps and frees.
    static int get(tiff_t* tif, pinfo_t tag, int* count, void* value) {
        const KVIGeoTiffTagDirectory::Entry* entry = directory(tif).find(tag);
        if (entry == nullptr || entry->count == 0 || entry->count > INT_MAX) return 0;
        const std::size_t bytes = entry->data.size();
        if (bytes == 0) return 0;
        void* copy = _GTIFcalloc(static_cast<gsize_t>(bytes));
        if (copy == nullptr) return 0;
        std::memcpy(copy, entry->data.data(), bytes);
        *static_cast<void**>(value) = copy;
        *count = static_cast<int>(entry->count);
        return 1;
    }

    // Keeps the GeoKey and model tags libgeotiff writes; the text tag is taken by its length.
    static int set(tiff_t* tif, pinfo_t tag, int count, void* value) {
        KVIGeoTiffTagDirectory& dir = directory(tif);
        if (value == nullptr) return 0;
        std::uint16_t type = 0;
        std::uint32_t elements = 0;
        switch (tag) {
        case KVI_TIFFTAG_GEO_KEY_DIRECTORY:
            type = KVI_TIFF_SHORT;
            break;
        case KVI_TIFFTAG_GEO_ASCII_PARAMS: {
            const std::size_t length = std::strlen(static_cast<const char*>(value));
            if (length >= UINT32_MAX) return 0;
            type = KVI_TIFF_ASCII;
            elements = static_cast<std::uint32_t>(length + 1);
            break;
        }
        case KVI_TIFFTAG_GEO_DOUBLE_PARAMS:
        case KVI_TIFFTAG_MODEL_PIXEL_SCALE:
        case KVI_TIFFTAG_MODEL_TIE_POINT:
        case KVI_TIFFTAG_MODEL_TRANSFORMATION:
            type = KVI_TIFF_DOUBLE;
            break;
        default:
            return 0;
        }
        if (type != KVI_TIFF_ASCII) {
            if (count < 0) return 0;
            elements = static_cast<std::uint32_t>(count);
        }
        const KVStatus status = dir.set(tag, type, elements, value);
        if (status == KV_OUT_OF_MEMORY) dir.lostStore_ = true;
        return status == KV_OK ? 1 : 0;
    }

    static tagtype_t type(tiff_t*, pinfo_t tag) {
        switch (tag) {
        case KVI_TIFFTAG_GEO_KEY_DIRECTORY:
            return TYPE_SHORT;
        case KVI_TIFFTAG_GEO_ASCII_PARAMS:
            return TYPE_ASCII;
        case KVI_TIFFTAG_GEO_DOUBLE_PARAMS:
        case KVI_TIFFTAG_MODEL_PIXEL_SCALE:
        case KVI_TIFFTAG_MODEL_TIE_POINT:
        case KVI_TIFFTAG_MODEL_TRANSFORMATION:
            return TYPE_DOUBLE;
        default:
            return TYPE_UNKNOWN;
        }
    }

    // libgeotiff's and PROJ's complaints become the failure of the call that raised them.
    static void quiet(struct gtiff*, int, const char*, ...) {}
    static void quietProj(void*, int, const char*) {}
};

namespace gdal {

namespace {

// Frees the handle, then the PROJ context that it looked systems up in.
struct HandleFree {
    PJ_CONTEXT* projContext = nullptr;
    void operator()(gtiff* handle) const {
        GTIFFree(handle);
        if (projContext != nullptr) proj_context_destroy(projContext);
    }
};
using Handle = std::unique_ptr<gtiff, HandleFree>;

struct GdalTextFree {
    void operator()(char* text) const { VSIFree(text); }
};
struct DefinitionFree {
    void operator()(GTIFDefn* definition) const { GTIFFreeDefn(definition); }
};

// A libgeotiff handle over the directory, reading the keys that it holds; null when libgeotiff
// refuses the keys or runs out of memory. The directory must outlive it.
Handle openGeoTiff(KVIGeoTiffTagDirectory& directory) {
    static TIFFMethod methods{&KVIGeoTiffTagCallbacks::get, &KVIGeoTiffTagCallbacks::set,
                              &KVIGeoTiffTagCallbacks::type};
    // libgeotiff looks codes up through PROJ; a context of the handle's own keeps PROJ's
    // messages off stderr.
    PJ_CONTEXT* context = proj_context_create();
    if (context == nullptr) return nullptr;
    proj_log_func(context, nullptr, &KVIGeoTiffTagCallbacks::quietProj);
    gtiff* handle =
        GTIFNewWithMethodsEx(&directory, &methods, &KVIGeoTiffTagCallbacks::quiet, nullptr);
    if (handle == nullptr) {
        proj_context_destroy(context);
        return nullptr;
    }
    GTIFAttachPROJContext(handle, context);
    return Handle(handle, HandleFree{context});
}

// GDAL's stand-in for keys that name no system: a local system, unnamed, in an unknown unit
// of one metre. Judged by structure, as GDAL versions write it differently.
bool isLocalPlaceholder(const char* text) {
    const KVGdalSpatialReference srs;
    if (srs.get() == nullptr) return false;
    char* cursor = const_cast<char*>(text);
    if (OSRImportFromWkt(srs.get(), &cursor) != OGRERR_NONE || !OSRIsLocal(srs.get())) return false;
    const char* name = OSRGetAttrValue(srs.get(), "LOCAL_CS", 0);
    char* unit = nullptr;
    const double factor = OSRGetLinearUnits(srs.get(), &unit);
    return name != nullptr && std::strcmp(name, "unnamed") == 0 && unit != nullptr &&
           std::strcmp(unit, "unknown") == 0 && factor == 1.0;
}

} // namespace

KVStatus geoTiffTagsToWkt(KVIGeoTiffTagDirectory& directory, std::string& wkt) {
    const KVStatus status = checkGdalData();
    if (status != KV_OK) return status;
    const Handle handle = openGeoTiff(directory);
    if (handle == nullptr) return KV_FAILURE;
    const std::unique_ptr<GTIFDefn, DefinitionFree> definition(GTIFAllocDefn());
    if (definition == nullptr) return KV_OUT_OF_MEMORY;
    if (!GTIFGetDefn(handle.get(), definition.get())) return KV_FAILURE;
    const std::unique_ptr<char, GdalTextFree> text(GTIFGetOGISDefn(handle.get(), definition.get()));
    if (text == nullptr || *text == '\0') return KV_FAILURE;
    if (isLocalPlaceholder(text.get())) return KV_OK;
    try {
        wkt = text.get();
    } catch (const std::bad_alloc&) {
        return KV_OUT_OF_MEMORY;
    }
    return KV_OK;
}

KVStatus wktToGeoTiffKeys(const char* wkt, KVIGeoTiffTagDirectory& directory) {
    if (wkt == nullptr) return KV_FAILURE;
    const KVStatus status = checkGdalData();
    if (status != KV_OK) return status;
    const Handle handle = openGeoTiff(directory);
    if (handle == nullptr) return KV_FAILURE;
    if (!GTIFSetFromOGISDefn(handle.get(), wkt) || !GTIFWriteKeys(handle.get())) return KV_FAILURE;
    // libgeotiff does not look at what its stores return.
    return directory.lostStore() ? KV_OUT_OF_MEMORY : KV_OK;
}

} // namespace gdal
} // namespace Korvel
