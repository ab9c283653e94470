#pragma once
// An in-memory TIFF tag directory that libgeotiff reads GeoKeys from and writes them to, through
// tag callbacks (in the coordinate-system library), in place of a TIFF file.

#include "support/KVStatus.h"

#include <cstdint>
#include <vector>

namespace Korvel {

// TIFF tags of the GeoTIFF keys and of the model placement.
inline constexpr std::uint16_t KVI_TIFFTAG_MODEL_PIXEL_SCALE = 33550;
inline constexpr std::uint16_t KVI_TIFFTAG_MODEL_TIE_POINT = 33922;
inline constexpr std::uint16_t KVI_TIFFTAG_MODEL_TRANSFORMATION = 34264;
inline constexpr std::uint16_t KVI_TIFFTAG_GEO_KEY_DIRECTORY = 34735;
inline constexpr std::uint16_t KVI_TIFFTAG_GEO_DOUBLE_PARAMS = 34736;
inline constexpr std::uint16_t KVI_TIFFTAG_GEO_ASCII_PARAMS = 34737;

// TIFF field types used here.
inline constexpr std::uint16_t KVI_TIFF_ASCII = 2;
inline constexpr std::uint16_t KVI_TIFF_SHORT = 3;
inline constexpr std::uint16_t KVI_TIFF_DOUBLE = 12;

class KVIGeoTiffTagDirectory {
public:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::vector<std::uint8_t> data; // count elements of the type's size
    };

    KVIGeoTiffTagDirectory() = default;
    KVIGeoTiffTagDirectory(const KVIGeoTiffTagDirectory&) = delete;
    KVIGeoTiffTagDirectory& operator=(const KVIGeoTiffTagDirectory&) = delete;

    // Stores a copy of count elements of the type (replacing any entry of the tag).
    // KV_BAD_ARGUMENT for a type without an element size, KV_OUT_OF_MEMORY.
    KVStatus set(std::uint16_t tag, std::uint16_t type, std::uint32_t count, const void* data);
    // Null when the tag is absent.
    const Entry* find(std::uint16_t tag) const;
    // Whether a store made by libgeotiff was dropped for want of memory.
    bool lostStore() const { return lostStore_; }

    // Bytes of one element of a TIFF field type; 0 for unknown types.
    static std::uint32_t getElementSize(std::uint16_t type);

private:
    // Called by the tag callbacks.
    friend struct KVIGeoTiffTagCallbacks;

    std::vector<Entry> entries_; // sorted by tag
    bool lostStore_ = false;
};

} // namespace Korvel
