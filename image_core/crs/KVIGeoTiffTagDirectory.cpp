#include "crs/KVIGeoTiffTagDirectory.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace Korvel {

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

} // namespace Korvel
