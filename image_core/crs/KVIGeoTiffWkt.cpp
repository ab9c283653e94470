#include "crs/KVIGeoTiffWkt.h"

#include "crs/KVCrsLibrary.h"
#include "crs/KVIGeoTiffTagDirectory.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "model/KVIGeoCoord.h"
#include "support/KVStatusGuard.h"

#include <cstring>
#include <map>
#include <string_view>
#include <vector>

namespace Korvel {

namespace {

constexpr std::string_view kNumPrefix = "GEOTIFF_NUM::";
constexpr const char* kRasterTypeName = "GEOTIFF_NUM::1025";
constexpr const char* kRasterTypeLongName = "GEOTIFF_NUM::1025::GTRasterTypeGeoKey";
constexpr std::uint16_t kRasterPixelIsArea = 1;
constexpr std::uint16_t kModelTypeKey = 1024;
constexpr std::uint16_t kProjectedCSTypeKey = 3072;
constexpr std::uint16_t kPCSCitationKey = 3073;
// Counts and offsets of a key entry are u16.
constexpr std::uint64_t kMaxKeyField = 0xFFFF;

struct GeoKey {
    std::uint16_t type = 0;
    std::uint16_t count = 0;
    std::uint16_t firstShort = 0; // a SHORT key keeps its value in its entry
    std::vector<double> doubles;
    std::string text;
};
using GeoKeyList = std::map<std::uint16_t, GeoKey>;

// The key number a record's name gives, or false for a record that is no GeoKey.
bool keyOfName(const char* name, std::uint16_t& key) {
    const std::string_view text(name);
    if (text.substr(0, kNumPrefix.size()) == kNumPrefix) {
        // Digits up to the first other character; only the low 16 bits count.
        std::uint16_t value = 0;
        for (char c : text.substr(kNumPrefix.size())) {
            if (c < '0' || c > '9') break;
            value = static_cast<std::uint16_t>(value * 10u + static_cast<unsigned>(c - '0'));
        }
        key = value;
        return true;
    }
    const std::pair<std::uint32_t, std::uint16_t> named[] = {
        {KVI_TAG_GEO_MODEL_TYPE_GEO_KEY, kModelTypeKey},
        {KVI_TAG_GEO_PROJECTED_CS_TYPE_GEO_KEY, kProjectedCSTypeKey},
        {KVI_TAG_GEO_PCS_CITATION_GEO_KEY, kPCSCitationKey}};
    for (const auto& [tag, number] : named) {
        if (text == getTagName(tag)) {
            key = number;
            return true;
        }
    }
    return false;
}

// The GeoKey of a record, all its elements in storage order whatever its shape. A record
// without values gives no key (present = false).
KVStatus keyOfRecord(const KVIMetadataRecord& record, GeoKey& key, bool& present) {
    std::uint32_t numDims = 0;
    const std::uint32_t* dims = nullptr;
    const void* data = record.getArrayData(numDims, dims);
    const std::uint64_t count = record.getElementCount();
    present = count != 0 && data != nullptr;
    switch (record.getDataType()) {
    case KVI_RECORD_UINT16:
    case KVI_RECORD_SINT16:
        // libgeotiff takes a SHORT key held in its entry only with count 1, so a key of several
        // values keeps its first.
        key.type = KVI_TIFF_SHORT;
        key.count = 1;
        if (present) std::memcpy(&key.firstShort, data, sizeof key.firstShort);
        return KV_OK;
    case KVI_RECORD_FLOAT64:
        if (count > kMaxKeyField) return KV_FAILURE;
        key.type = KVI_TIFF_DOUBLE;
        key.count = static_cast<std::uint16_t>(count);
        if (present) {
            const auto* values = static_cast<const double*>(data);
            key.doubles.assign(values, values + count);
        }
        return KV_OK;
    case KVI_RECORD_TEXT: {
        // A key holds one text: the first of a text record of several.
        const char* text = present ? *static_cast<const char* const*>(data) : nullptr;
        key.type = KVI_TIFF_ASCII;
        key.text = text != nullptr ? text : "";
        if (key.text.size() + 1 > kMaxKeyField) return KV_FAILURE;
        key.count = static_cast<std::uint16_t>(key.text.size() + 1);
        return KV_OK;
    }
    default:
        return KV_FAILURE;
    }
}

KVStatus gatherKeys(const KVIMetadataDatabase& metadata, GeoKeyList& keys) {
    for (std::uint32_t i = 0; i < metadata.getCount(); ++i) {
        const KVIMetadataRecord* record = nullptr;
        if (metadata.getByIndex(i, record) != KV_OK || record == nullptr) continue;
        std::uint16_t number = 0;
        if (!keyOfName(record->getName(), number)) continue;
        GeoKey key;
        bool present = false;
        const KVStatus status = keyOfRecord(*record, key, present);
        if (status != KV_OK) return status;
        if (present) keys[number] = std::move(key);
    }
    return KV_OK;
}

// The model placement of the image's geo coordinate, when it has one.
KVStatus writeModelTags(const KVIMetadataDatabase& metadata, KVIGeoTiffTagDirectory& directory) {
    const KVIMetadataAccessor accessor(metadata);
    KVIGeoCoord geo;
    if (accessor.getGeoCoord(geo) != KV_OK) return KV_OK;
    std::uint16_t rasterType = kRasterPixelIsArea;
    accessor.getUint16ByName(kRasterTypeName, rasterType);
    accessor.getUint16ByName(kRasterTypeLongName, rasterType);
    double x = geo.getX();
    double y = geo.getY();
    // The geo coordinate places pixel centres; an area raster is tied at the pixel's corner.
    if (rasterType == kRasterPixelIsArea) {
        x -= geo.getXRes() * 0.5;
        y -= geo.getYRes() * 0.5;
    }
    const bool rotated = !(geo.getXRot() == 0.0 && geo.getYRot() == 0.0);
    if (!rotated) {
        const double scale[3] = {geo.getXRes(), -geo.getYRes(), 0.0};
        const double tiePoint[6] = {0.0, 0.0, 0.0, x, y, 0.0};
        const KVStatus status =
            directory.set(KVI_TIFFTAG_MODEL_PIXEL_SCALE, KVI_TIFF_DOUBLE, 3, scale);
        if (status != KV_OK) return status;
        return directory.set(KVI_TIFFTAG_MODEL_TIE_POINT, KVI_TIFF_DOUBLE, 6, tiePoint);
    }
    const double transformation[16] = {
        geo.getXRes(), geo.getXRot(), 0.0, x,   geo.getYRot(), geo.getYRes(), 0.0, y,
        0.0,           0.0,           0.0, 0.0, 0.0,           0.0,           0.0, 1.0};
    return directory.set(KVI_TIFFTAG_MODEL_TRANSFORMATION, KVI_TIFF_DOUBLE, 16, transformation);
}

// The key directory, with DOUBLE values in 34736 and texts, each ended by '|', in 34737.
KVStatus writeKeys(const GeoKeyList& keys, KVIGeoTiffTagDirectory& directory) {
    if (keys.size() > kMaxKeyField) return KV_FAILURE;
    std::vector<std::uint16_t> entries{1, 1, 0, static_cast<std::uint16_t>(keys.size())};
    std::vector<double> doubles;
    std::string texts;
    for (const auto& [number, key] : keys) {
        std::uint16_t location = 0;
        std::uint64_t value = key.firstShort;
        if (key.type == KVI_TIFF_DOUBLE) {
            location = KVI_TIFFTAG_GEO_DOUBLE_PARAMS;
            value = doubles.size();
            doubles.insert(doubles.end(), key.doubles.begin(), key.doubles.end());
        } else if (key.type == KVI_TIFF_ASCII) {
            location = KVI_TIFFTAG_GEO_ASCII_PARAMS;
            value = texts.size();
            texts += key.text;
            texts += '|';
        }
        if (value > kMaxKeyField) return KV_FAILURE;
        entries.insert(entries.end(),
                       {number, location, key.count, static_cast<std::uint16_t>(value)});
    }
    KVStatus status = directory.set(KVI_TIFFTAG_GEO_KEY_DIRECTORY, KVI_TIFF_SHORT,
                                    static_cast<std::uint32_t>(entries.size()), entries.data());
    if (status == KV_OK && !doubles.empty())
        status = directory.set(KVI_TIFFTAG_GEO_DOUBLE_PARAMS, KVI_TIFF_DOUBLE,
                               static_cast<std::uint32_t>(doubles.size()), doubles.data());
    if (status == KV_OK && !texts.empty())
        status = directory.set(KVI_TIFFTAG_GEO_ASCII_PARAMS, KVI_TIFF_ASCII,
                               static_cast<std::uint32_t>(texts.size() + 1), texts.c_str());
    return status;
}

} // namespace

KVStatus wktToGeoTiffKeys(const char* wkt, KVIGeoTiffTagDirectory& directory) {
    return callCrsLibrary(
        [&](const KVCrsEntryPoints& crs) { return crs.wktToGeoTiffKeys(wkt, directory); });
}

KVStatus gatherGeoTiffTags(const KVIMetadataDatabase& metadata, KVIGeoTiffTagDirectory& directory) {
    return kvGuard([&] {
        KVStatus status = writeModelTags(metadata, directory);
        if (status != KV_OK) return status;
        GeoKeyList keys;
        status = gatherKeys(metadata, keys);
        if (status != KV_OK) return status;
        if (!keys.empty()) return writeKeys(keys, directory);
        if (!metadata.has(KVI_TAG_IMAGE_WKT)) return KV_OK;
        // Without keys of their own, a stored WKT is passed through the keys it makes.
        const char* stored = nullptr;
        status = KVIMetadataAccessor(metadata).getString(KVI_TAG_IMAGE_WKT, stored);
        return status != KV_OK ? status : wktToGeoTiffKeys(stored, directory);
    });
}

KVStatus geoTiffKeysToWkt(const KVIMetadataDatabase& metadata, std::string& wkt) {
    KVIGeoTiffTagDirectory directory;
    const KVStatus status = gatherGeoTiffTags(metadata, directory);
    if (status != KV_OK) return status;
    return callCrsLibrary(
        [&](const KVCrsEntryPoints& crs) { return crs.geoTiffTagsToWkt(directory, wkt); });
}

} // namespace Korvel
