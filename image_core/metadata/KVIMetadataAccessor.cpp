#include "metadata/KVIMetadataAccessor.h"

#include "metadata/KVIMetadataDatabase.h"
#include "model/KVIColorSpace.h"
#include "model/KVIDataType.h"
#include "model/KVIGeoCoord.h"
#include "model/KVIPixel.h"
#include "model/KVIPixelLookupTable.h"
#include "support/KVStatusGuard.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string_view>
#include <vector>

namespace Korvel {

namespace {

struct ModificationWord {
    std::uint32_t bit;
    std::string_view word;
};

constexpr ModificationWord kModificationWords[] = {
    {KVI_MOD_COMPRESSED, "COMPRESSED"},
    {KVI_MOD_CROPPED, "CROPPED"},
    {KVI_MOD_EMBEDDED, "EMBEDDED"},
    {KVI_MOD_SCALED, "SCALED"},
    {KVI_MOD_MASKED, "MASKED"},
    {KVI_MOD_INTERPRETED_ALPHA, "INTERPRETED-ALPHA"},
    {KVI_MOD_REORDERED_BANDS, "REORDERED-BANDS"},
    {KVI_MOD_TRANSFORMED_COLORSPACE, "TRANSFORMED-COLORSPACE"},
    {KVI_MOD_CHANGED_DATATYPE, "CHANGED-DATATYPE"},
    {KVI_MOD_ALTERED_COLOR, "ALTERED-COLOR"},
    {KVI_MOD_MOSAICKED, "MOSAICKED"},
    {KVI_MOD_REPROJECTED, "REPROJECTED"},
    {KVI_MOD_WATERMARKED, "WATERMARKED"},
    {KVI_MOD_OVERLAID, "OVERLAID"},
};
constexpr std::uint32_t kNamedModifications = 0x7FFE;
constexpr std::string_view kLossless = "LOSSLESS";
constexpr std::string_view kUnknownWord = "UNKNOWN";

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// ASCII comparison without regard to case, independent of the locale.
bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Truncation toward zero for a window size read from a file: NaN and values beyond 64 bits give
// the lowest 64-bit value instead of undefined behaviour.
std::int64_t truncateWindow(double value) {
    constexpr double kLimit = 9223372036854775808.0; // 2^63
    if (!(value >= -kLimit && value < kLimit)) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// Significant bits of a window of w values: the bit length of w - 1 as an unsigned 32-bit number.
std::uint32_t windowBits(std::int64_t window) {
    const auto span = static_cast<std::uint32_t>(static_cast<std::uint64_t>(window) - 1u);
    return static_cast<std::uint32_t>(std::bit_width(span));
}

std::uint32_t colorSchemeToColorSpace(std::uint32_t scheme, std::uint32_t current) {
    switch (scheme) {
    case 0:
        return KVI_COLORSPACE_RGB;
    case 2:
        return KVI_COLORSPACE_CMYK;
    case 3:
        return KVI_COLORSPACE_GREY;
    case 10:
        return KVI_COLORSPACE_MULTIBAND;
    case 11:
        return KVI_COLORSPACE_GREY | KVI_COLORSPACE_ALPHA;
    case 12:
        return KVI_COLORSPACE_GREY | KVI_COLORSPACE_ALPHA_BITS;
    case 13:
        return KVI_COLORSPACE_RGB | KVI_COLORSPACE_ALPHA;
    case 14:
        return KVI_COLORSPACE_RGB | KVI_COLORSPACE_ALPHA_BITS;
    case 15:
        return KVI_COLORSPACE_CMYK | KVI_COLORSPACE_ALPHA;
    case 16:
        return KVI_COLORSPACE_CMYK | KVI_COLORSPACE_ALPHA_BITS;
    default:
        return current;
    }
}

std::uint32_t imageDataTypeToDataType(std::uint32_t code, std::uint32_t current) {
    switch (code) {
    case 0:
        return KVI_DATATYPE_UINT8;
    case 1:
        return KVI_DATATYPE_FLOAT32;
    case 2:
        return KVI_DATATYPE_UINT16;
    case 10:
        return KVI_DATATYPE_SINT8;
    case 11:
        return KVI_DATATYPE_SINT16;
    case 12:
        return KVI_DATATYPE_SINT32;
    case 14:
        return KVI_DATATYPE_UINT32;
    case 16:
        return KVI_DATATYPE_FLOAT64;
    default:
        return current;
    }
}

std::uint32_t colorSpaceForBands(std::uint32_t bands) {
    switch (bands) {
    case 1:
        return KVI_COLORSPACE_GREY;
    case 3:
        return KVI_COLORSPACE_RGB;
    case 4:
        return KVI_COLORSPACE_CMYK;
    default:
        return KVI_COLORSPACE_MULTIBAND;
    }
}

// Finds a scalar record of the given type.
KVStatus findScalar(const KVIMetadataDatabase& db, const char* name, std::uint32_t type,
                    const void*& data) {
    const KVIMetadataRecord* record = nullptr;
    const KVStatus status = db.get(name, record);
    if (status != KV_OK) return status;
    if (record->getDataType() != type) return KV_METADATA_WRONG_TYPE;
    if (!record->isScalar()) return KV_METADATA_NOT_SCALAR;
    data = record->getScalarData();
    return data != nullptr ? KV_OK : KV_METADATA_NOT_SCALAR;
}

KVStatus findVector(const KVIMetadataDatabase& db, std::uint32_t tag, std::uint32_t type,
                    const void*& data, std::uint32_t& length) {
    const KVIMetadataRecord* record = nullptr;
    const KVStatus status = db.get(tag, record);
    if (status != KV_OK) return status;
    if (record->getDataType() != type) return KV_METADATA_WRONG_TYPE;
    if (!record->isVector()) return KV_METADATA_NOT_SCALAR;
    std::uint32_t extent = 0;
    data = record->getVectorData(extent);
    length = extent;
    return KV_OK;
}

template <typename T>
KVStatus readScalar(const KVIMetadataDatabase& db, const char* name, std::uint32_t type, T& value) {
    const void* data = nullptr;
    const KVStatus status = findScalar(db, name, type, data);
    if (status == KV_OK) std::memcpy(&value, data, sizeof(T));
    return status;
}

} // namespace

KVIMetadataAccessor::KVIMetadataAccessor(KVIMetadataDatabase& database)
    : reader_(&database), writer_(&database) {}

KVIMetadataAccessor::KVIMetadataAccessor(const KVIMetadataDatabase& database)
    : reader_(&database), writer_(nullptr) {}

KVStatus KVIMetadataAccessor::getUint8(std::uint32_t tag, std::uint8_t& value) const {
    return readScalar(*reader_, getTagName(tag), KVI_RECORD_UINT8, value);
}

KVStatus KVIMetadataAccessor::getUint16(std::uint32_t tag, std::uint16_t& value) const {
    return readScalar(*reader_, getTagName(tag), KVI_RECORD_UINT16, value);
}

KVStatus KVIMetadataAccessor::getUint16ByName(const char* name, std::uint16_t& value) const {
    return readScalar(*reader_, name, KVI_RECORD_UINT16, value);
}

KVStatus KVIMetadataAccessor::getUint32(std::uint32_t tag, std::uint32_t& value) const {
    return readScalar(*reader_, getTagName(tag), KVI_RECORD_UINT32, value);
}

KVStatus KVIMetadataAccessor::getDouble(std::uint32_t tag, double& value) const {
    return readScalar(*reader_, getTagName(tag), KVI_RECORD_FLOAT64, value);
}

KVStatus KVIMetadataAccessor::getString(std::uint32_t tag, const char*& text) const {
    const void* data = nullptr;
    const KVStatus status = findScalar(*reader_, getTagName(tag), KVI_RECORD_TEXT, data);
    if (status == KV_OK) text = *static_cast<const char* const*>(data);
    return status;
}

KVStatus KVIMetadataAccessor::getUint8Vector(std::uint32_t tag, const std::uint8_t*& data,
                                             std::uint32_t& length) const {
    const void* found = nullptr;
    const KVStatus status = findVector(*reader_, tag, KVI_RECORD_UINT8, found, length);
    if (status == KV_OK) data = static_cast<const std::uint8_t*>(found);
    return status;
}

KVStatus KVIMetadataAccessor::getDoubleVector(std::uint32_t tag, const double*& data,
                                              std::uint32_t& length) const {
    const void* found = nullptr;
    const KVStatus status = findVector(*reader_, tag, KVI_RECORD_FLOAT64, found, length);
    if (status == KV_OK) data = static_cast<const double*>(found);
    return status;
}

KVStatus KVIMetadataAccessor::setString(std::uint32_t tag, const char* text) {
    if (writer_ == nullptr) return KV_FAILURE;
    if (getTagName(tag) == nullptr) return KV_BAD_ARGUMENT;
    writer_->remove(tag);
    return kvGuard([&] { return writer_->add(KVIMetadataRecord(tag, KVI_RECORD_TEXT, &text)); });
}

KVStatus KVIMetadataAccessor::setInputName(const char* text) {
    return setString(KVI_TAG_IMAGE_INPUT_NAME, text);
}

KVStatus KVIMetadataAccessor::setInputFileSize(double size) {
    if (writer_ == nullptr) return KV_FAILURE;
    writer_->remove(KVI_TAG_IMAGE_INPUT_FILE_SIZE);
    return kvGuard([&] {
        return writer_->add(
            KVIMetadataRecord(KVI_TAG_IMAGE_INPUT_FILE_SIZE, KVI_RECORD_FLOAT64, &size));
    });
}

KVStatus KVIMetadataAccessor::getInputName(const char*& text) const {
    return getString(KVI_TAG_IMAGE_INPUT_NAME, text);
}

KVStatus KVIMetadataAccessor::getInputFileSize(double& size) const {
    return getDouble(KVI_TAG_IMAGE_INPUT_FILE_SIZE, size);
}

KVStatus KVIMetadataAccessor::getProjectedCSTypeGeoKey(std::uint16_t& value) const {
    return getUint16(KVI_TAG_GEO_PROJECTED_CS_TYPE_GEO_KEY, value);
}

KVStatus KVIMetadataAccessor::getHorizontalDatum(std::uint16_t& value) const {
    return getUint16(KVI_TAG_GEO_HORIZONTAL_DATUM, value);
}

KVStatus KVIMetadataAccessor::getHorizontalUnits(std::uint16_t& value) const {
    return getUint16(KVI_TAG_IMAGE_HORIZONTAL_UNITS, value);
}

KVStatus KVIMetadataAccessor::getPixelFromTag(std::uint32_t tag, KVIPixel& pixel) const {
    const KVIMetadataRecord* record = nullptr;
    const KVStatus status = reader_->get(tag, record);
    if (status != KV_OK) return status;
    if (!record->isVector()) return KV_METADATA_NOT_VECTOR;
    // The bytes of a text record are string pointers, not sample values.
    if (record->getDataType() == KVI_RECORD_TEXT) return KV_METADATA_WRONG_TYPE;
    std::uint32_t length = 0;
    const auto* data = static_cast<const std::uint8_t*>(record->getVectorData(length));
    // Band values are taken as raw bytes of the band's own size, never past the record's data.
    const std::size_t available = record->getDataSize();
    const std::uint32_t bands = pixel.getNumBands() < length ? pixel.getNumBands() : length;
    std::size_t offset = 0;
    for (std::uint16_t band = 0; band < bands; ++band) {
        const std::size_t bytes = pixel.getSample(band).getNumBytes();
        if (data == nullptr || bytes > available - offset) break;
        pixel.setSampleValueFromBytes(band, data + offset);
        offset += bytes;
    }
    return KV_OK;
}

KVStatus KVIMetadataAccessor::getBackgroundPixel(KVIPixel& pixel) const {
    if (reader_->has(KVI_TAG_IMAGE_DEFAULT_DATA_VALUE))
        return getPixelFromTag(KVI_TAG_IMAGE_DEFAULT_DATA_VALUE, pixel);
    if (pixel.getDataType() == KVI_DATATYPE_UINT8)
        return getPixelFromTag(KVI_TAG_IMAGE_NO_DATA_VALUE, pixel);
    return KV_METADATA_NOT_FOUND;
}

KVStatus KVIMetadataAccessor::getTransparentPixel(KVIPixel& pixel) const {
    return getPixelFromTag(KVI_TAG_IMAGE_TRANSPARENT_DATA_VALUE, pixel);
}

KVStatus KVIMetadataAccessor::getInputLUT(const KVIPixel& pixel,
                                          std::unique_ptr<KVIPixelLookupTable>& table) const {
    table.reset();
    const KVIMetadataRecord* record = nullptr;
    if (reader_->get(KVI_TAG_IMAGE_INPUT_LUT, record) != KV_OK) return KV_OK;
    std::uint32_t numDims = 0;
    const std::uint32_t* dims = nullptr;
    const void* data = record->getArrayData(numDims, dims);
    if (numDims != 2) return KV_LOOKUP_TABLE_MISMATCH;
    const std::uint32_t dataType = recordTypeToDataType(record->getDataType());
    if (dataType == KVI_DATATYPE_NONE || dataType != pixel.getDataType())
        return KV_LOOKUP_TABLE_MISMATCH;
    // Dimension 0 is the table's bands, dimension 1 its entries per band.
    const std::uint32_t bands = dims[0];
    const std::uint32_t entries = dims[1];
    if (bands == 0 || bands > std::numeric_limits<std::uint16_t>::max() || entries == 0)
        return KV_LOOKUP_TABLE_MISMATCH;
    const std::uint32_t colorSpace =
        bands == pixel.getNumBands() ? pixel.getColorSpace() : colorSpaceForBands(bands);
    return kvGuard([&] {
        const KVIPixel shape(colorSpace, static_cast<std::uint16_t>(bands), dataType);
        auto made = std::make_unique<KVIPixelLookupTable>(shape, entries);
        if (made->getEntriesSize() != record->getDataSize()) return KV_LOOKUP_TABLE_MISMATCH;
        made->setEntries(data);
        table = std::move(made);
        return KV_OK;
    });
}

KVStatus KVIMetadataAccessor::getPixelProps(KVIPixel& pixel) const {
    std::uint32_t colorSpace = pixel.getColorSpace();
    std::uint32_t dataType = pixel.getDataType();
    const std::uint16_t numBands = pixel.getNumBands();

    std::uint32_t code = 0;
    KVStatus status = getUint32(KVI_TAG_IMAGE_COLOR_SCHEME, code);
    if (status == KV_OK)
        colorSpace = colorSchemeToColorSpace(code, colorSpace);
    else if (status != KV_METADATA_NOT_FOUND)
        return status;
    status = getUint32(KVI_TAG_IMAGE_DATA_TYPE, code);
    if (status == KV_OK)
        dataType = imageDataTypeToDataType(code, dataType);
    else if (status != KV_METADATA_NOT_FOUND)
        return status;

    return kvGuard([&] {
        KVIPixel result(colorSpace, numBands, dataType);

        // Bits per sample is checked but not applied: the precision stays the full width.
        if (dataType != KVI_DATATYPE_FLOAT32 && reader_->has(KVI_TAG_IMAGE_BITS_PER_SAMPLE)) {
            std::uint16_t bits = 0;
            status = getUint16(KVI_TAG_IMAGE_BITS_PER_SAMPLE, bits);
            if (status != KV_OK) return status;
        } else if (reader_->has(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW) &&
                   reader_->has(KVI_TAG_IMAGE_DYNAMIC_RANGE_LEVEL)) {
            // The precision follows the dynamic-range window: w values need bitlength(w - 1).
            double window = 0.0;
            status = getDouble(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, window);
            if (status == KV_OK) {
                const std::int64_t w = truncateWindow(window);
                if (w != 1)
                    for (std::uint16_t band = 0; band < numBands; ++band)
                        result.getSample(band).setPrecision(windowBits(w));
            } else if (status == KV_METADATA_NOT_SCALAR) {
                const double* windows = nullptr;
                std::uint32_t length = 0;
                status = getDoubleVector(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, windows, length);
                if (status != KV_OK) return status;
                if (length != numBands) return KV_METADATA_NOT_SCALAR;
                for (std::uint16_t band = 0; band < numBands; ++band)
                    result.getSample(band).setPrecision(windowBits(truncateWindow(windows[band])));
            } else {
                return status;
            }
        }
        pixel = result;
        return KV_OK;
    });
}

KVStatus KVIMetadataAccessor::getDynamicRange(KVIPixel& minPixel, KVIPixel& maxPixel) const {
    const std::uint16_t numBands = minPixel.getNumBands();
    if (numBands != maxPixel.getNumBands()) return KV_BAD_ARGUMENT;

    double window = 0.0;
    double level = 0.0;
    const KVStatus windowStatus = getDouble(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, window);
    if (windowStatus != KV_OK && windowStatus != KV_METADATA_NOT_SCALAR) return windowStatus;
    const KVStatus levelStatus = getDouble(KVI_TAG_IMAGE_DYNAMIC_RANGE_LEVEL, level);
    if (levelStatus != KV_OK && levelStatus != KV_METADATA_NOT_SCALAR) return levelStatus;

    // Per-band vectors when either is not a scalar; both must then cover every band.
    const double* windows = nullptr;
    const double* levels = nullptr;
    if (windowStatus != KV_OK || levelStatus != KV_OK) {
        std::uint32_t windowCount = 0;
        std::uint32_t levelCount = 0;
        KVStatus status = getDoubleVector(KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, windows, windowCount);
        if (status != KV_OK) return status;
        status = getDoubleVector(KVI_TAG_IMAGE_DYNAMIC_RANGE_LEVEL, levels, levelCount);
        if (status != KV_OK) return status;
        if (windowCount != numBands || levelCount != numBands) return KV_METADATA_NOT_SCALAR;
    }

    return kvGuard([&] {
        KVIPixel low(minPixel);
        KVIPixel high(maxPixel);
        for (std::uint16_t band = 0; band < numBands; ++band) {
            KVISample& lowSample = low.getSample(band);
            KVISample& highSample = high.getSample(band);
            if (lowSample.getDataType() != highSample.getDataType()) return KV_BAD_ARGUMENT;
            if (!isValidDataType(lowSample.getDataType())) return KV_UNSUPPORTED_DATA_TYPE;
            double lo = 0.0;
            double hi = 0.0;
            windowLevelToRange(windows ? windows[band] : window, levels ? levels[band] : level, lo,
                               hi);
            lowSample.setFromDouble(lo);
            highSample.setFromDouble(hi);
        }
        minPixel = low;
        maxPixel = high;
        return KV_OK;
    });
}

KVStatus KVIMetadataAccessor::getGeoCoord(KVIGeoCoord& geo) const {
    const double* origin = nullptr;
    std::uint32_t length = 0;
    KVStatus status = getDoubleVector(KVI_TAG_IMAGE_XY_ORIGIN, origin, length);
    if (status != KV_OK) return status;
    if (length != 2) return KV_LOOKUP_TABLE_MISMATCH;
    double xRes = 0.0;
    double yRes = 0.0;
    if ((status = getDouble(KVI_TAG_IMAGE_X_RESOLUTION, xRes)) != KV_OK) return status;
    if ((status = getDouble(KVI_TAG_IMAGE_Y_RESOLUTION, yRes)) != KV_OK) return status;
    if (xRes == 0.0) xRes = 1.0;
    // Rows run downwards, so the stored y resolution is always negative.
    yRes = std::fabs(yRes);
    if (yRes == 0.0) yRes = 1.0;

    double xRot = 0.0;
    double yRot = 0.0;
    if (reader_->has(KVI_TAG_IMAGE_X_ROTATION) && reader_->has(KVI_TAG_IMAGE_Y_ROTATION)) {
        if ((status = getDouble(KVI_TAG_IMAGE_X_ROTATION, xRot)) != KV_OK) return status;
        if ((status = getDouble(KVI_TAG_IMAGE_Y_ROTATION, yRot)) != KV_OK) return status;
    }

    const char* wkt = nullptr;
    const bool hasWkt = reader_->has(KVI_TAG_IMAGE_WKT);
    if (hasWkt && (status = getString(KVI_TAG_IMAGE_WKT, wkt)) != KV_OK) return status;

    if (hasWkt) KV_RETURN_IF_FAILED(kvGuard([&] { geo.setWKT(wkt); }));
    geo.set(origin[0], origin[1], xRes, -yRes, xRot, yRot);
    return KV_OK;
}

KVStatus KVIMetadataAccessor::getModifications(std::uint32_t& mask) const {
    const char* text = nullptr;
    const KVStatus status = getString(KVI_TAG_IMAGE_MODIFICATIONS, text);
    if (status != KV_OK) return status;
    mask = modificationsFromText(text);
    return KV_OK;
}

KVStatus KVIMetadataAccessor::setModifications(std::uint32_t mask) {
    if (writer_ == nullptr) return KV_FAILURE;
    if (writer_->has(KVI_TAG_IMAGE_MODIFICATIONS)) {
        const KVStatus status = writer_->remove(KVI_TAG_IMAGE_MODIFICATIONS);
        if (status != KV_OK) return status;
    }
    return kvGuard(
        [&] { return setString(KVI_TAG_IMAGE_MODIFICATIONS, modificationsToText(mask).c_str()); });
}

std::string KVIMetadataAccessor::modificationsToText(std::uint32_t mask) {
    if (mask == 0) return std::string(kLossless);
    std::string text;
    for (const ModificationWord& entry : kModificationWords) {
        if (mask & entry.bit) {
            text += entry.word;
            text += ' ';
        }
    }
    if (mask & ~kNamedModifications) text += kUnknownWord;
    if (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::uint32_t KVIMetadataAccessor::modificationsFromText(const char* text) {
    if (text == nullptr) return KVI_MOD_UNKNOWN;
    const std::string_view all(text);
    if (equalsIgnoreCase(all, kLossless)) return 0;
    std::uint32_t mask = 0;
    std::size_t at = 0;
    for (;;) {
        while (at < all.size() && isBlank(all[at]))
            ++at;
        std::size_t end = at;
        while (end < all.size() && !isBlank(all[end]))
            ++end;
        if (end == at) break;
        const std::string_view word = all.substr(at, end - at);
        std::uint32_t bit = KVI_MOD_UNKNOWN;
        for (const ModificationWord& entry : kModificationWords) {
            if (equalsIgnoreCase(word, entry.word)) {
                bit = entry.bit;
                break;
            }
        }
        mask |= bit;
        at = end;
    }
    mask &= 0xFFFF;
    return mask != 0 ? mask : KVI_MOD_UNKNOWN;
}

namespace {

KVStatus removeTags(KVIMetadataDatabase* db, std::initializer_list<std::uint32_t> tags) {
    if (db == nullptr) return KV_FAILURE;
    KVStatus first = KV_OK;
    for (std::uint32_t tag : tags) {
        if (!db->has(tag)) continue;
        const KVStatus status = db->remove(tag);
        if (status != KV_OK && first == KV_OK) first = status;
    }
    return first;
}

KVStatus firstFailure(std::initializer_list<KVStatus> statuses) {
    for (KVStatus status : statuses)
        if (status != KV_OK) return status;
    return KV_OK;
}

} // namespace

KVStatus KVIMetadataAccessor::removeGeoTags() {
    return removeTags(writer_, {KVI_TAG_IMAGE_XY_ORIGIN, KVI_TAG_IMAGE_X_RESOLUTION,
                                KVI_TAG_IMAGE_Y_RESOLUTION, KVI_TAG_IMAGE_X_ROTATION,
                                KVI_TAG_IMAGE_Y_ROTATION, KVI_TAG_IMAGE_WKT});
}

KVStatus KVIMetadataAccessor::removeColorTags() {
    return removeTags(writer_, {KVI_TAG_IMAGE_COLOR_SCHEME, KVI_TAG_IMAGE_DATA_TYPE,
                                KVI_TAG_IMAGE_BITS_PER_SAMPLE});
}

KVStatus KVIMetadataAccessor::removeDynamicRangeTags() {
    return removeTags(writer_,
                      {KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW, KVI_TAG_IMAGE_DYNAMIC_RANGE_LEVEL});
}

KVStatus KVIMetadataAccessor::removeBackgroundTags() {
    return removeTags(writer_, {KVI_TAG_IMAGE_DEFAULT_DATA_VALUE, KVI_TAG_IMAGE_NO_DATA_VALUE});
}

KVStatus KVIMetadataAccessor::removeTransparentTag() {
    return removeTags(writer_, {KVI_TAG_IMAGE_TRANSPARENT_DATA_VALUE});
}

KVStatus KVIMetadataAccessor::removeImageInfoTags() {
    // Every group runs; the first failure is the result.
    const KVStatus size = removeTags(writer_, {KVI_TAG_IMAGE_WIDTH, KVI_TAG_IMAGE_HEIGHT});
    const KVStatus color = removeColorTags();
    const KVStatus range = removeDynamicRangeTags();
    const KVStatus lut = removeTags(writer_, {KVI_TAG_IMAGE_INPUT_LUT});
    const KVStatus background = removeBackgroundTags();
    const KVStatus transparent = removeTransparentTag();
    const KVStatus geo = removeGeoTags();
    return firstFailure({size, color, range, lut, background, transparent, geo});
}

std::uint32_t KVIMetadataAccessor::recordTypeToDataType(std::uint32_t recordType) {
    switch (recordType) {
    case KVI_RECORD_UINT8:
    case KVI_RECORD_SINT8:
    case KVI_RECORD_UINT16:
    case KVI_RECORD_SINT16:
    case KVI_RECORD_UINT32:
    case KVI_RECORD_SINT32:
        return recordType;
    case KVI_RECORD_FLOAT32:
        return KVI_DATATYPE_FLOAT32;
    case KVI_RECORD_FLOAT64:
        return KVI_DATATYPE_FLOAT64;
    default:
        return KVI_DATATYPE_NONE;
    }
}

void KVIMetadataAccessor::windowLevelToRange(double window, double level, double& min,
                                             double& max) {
    min = (2.0 * level - window + 1.0) * 0.5;
    max = min + window - 1.0;
}

} // namespace Korvel
