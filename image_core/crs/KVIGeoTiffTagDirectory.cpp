#include "crs/KVIGeoTiffTagDirectory.h"

#include <geo_normalize.h>
#include <geo_tiffp.h>
#include <geotiff.h>
#include <proj.h>

#include <algorithm>
#include <climits>
#include <cstring>
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

void KVIGeoTiffTagDirectory::HandleFree::operator()(gtiff* handle) const {
    GTIFFree(handle);
    if (projContext != nullptr) proj_context_destroy(static_cast<PJ_CONTEXT*>(projContext));
}

std::uint32_t KVIGeoTiffTagDirectory::getElementSize(std::uint16_t type) {
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
    case 16:
    case 17:
    case 18:
        return 8;
    default:
        return 0;
    }
}

KVStatus KVIGeoTiffTagDirectory::set(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                                     const void* data) {
    const std::uint32_t size = getElementSize(type);
    if (size == 0 || (count != 0 && data == nullptr)) return KV_BAD_ARGUMENT;
    const std::uint64_t bytes = std::uint64_t{count} * size;
    try {
        Entry entry{tag, type, count, {}};
        const auto* first = static_cast<const std::uint8_t*>(data);
        if (bytes != 0) entry.data.assign(first, first + bytes);
        auto at = std::lower_bound(entries_.begin(), entries_.end(), tag,
                                   [](const Entry& e, std::uint16_t t) { return e.tag < t; });
        if (at != entries_.end() && at->tag == tag)
            *at = std::move(entry);
        else
            entries_.insert(at, std::move(entry));
    } catch (const std::bad_alloc&) {
        return KV_OUT_OF_MEMORY;
    } catch (const std::length_error&) {
        return KV_OUT_OF_MEMORY;
    }
    return KV_OK;
}

const KVIGeoTiffTagDirectory::Entry* KVIGeoTiffTagDirectory::find(std::uint16_t tag) const {
    for (const Entry& entry : entries_)
        if (entry.tag == tag) return &entry;
    return nullptr;
}

KVIGeoTiffTagDirectory::Handle KVIGeoTiffTagDirectory::openGeoTiff() {
    static TIFFMethod methods{&KVIGeoTiffTagCallbacks::get, &KVIGeoTiffTagCallbacks::set,
                              &KVIGeoTiffTagCallbacks::type};
    // libgeotiff looks codes up through PROJ; a context of the handle's own keeps PROJ's
    // messages off stderr.
    PJ_CONTEXT* context = proj_context_create();
    if (context == nullptr) return nullptr;
    proj_log_func(context, nullptr, &KVIGeoTiffTagCallbacks::quietProj);
    gtiff* handle = GTIFNewWithMethodsEx(this, &methods, &KVIGeoTiffTagCallbacks::quiet, nullptr);
    if (handle == nullptr) {
        proj_context_destroy(context);
        return nullptr;
    }
    GTIFAttachPROJContext(handle, context);
    return Handle(handle, HandleFree{context});
}

} // namespace Korvel
