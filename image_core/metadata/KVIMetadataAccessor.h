#pragma once
// Typed reading and writing of the tags of a metadata database, and the image properties they
// describe: pixel properties, dynamic range, background and no-data pixels, lookup table, geo
// coordinate and the modification flags.

#include "support/KVStatus.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Korvel {

class KVIGeoCoord;
class KVIMetadataDatabase;
class KVIPixel;
class KVIPixelLookupTable;

// Modification flags, in the order their words are written and tested.
inline constexpr std::uint32_t KVI_MOD_UNKNOWN = 0x1;
inline constexpr std::uint32_t KVI_MOD_COMPRESSED = 0x2;
inline constexpr std::uint32_t KVI_MOD_CROPPED = 0x4;
inline constexpr std::uint32_t KVI_MOD_EMBEDDED = 0x8;
inline constexpr std::uint32_t KVI_MOD_SCALED = 0x10;
inline constexpr std::uint32_t KVI_MOD_MASKED = 0x20;
inline constexpr std::uint32_t KVI_MOD_INTERPRETED_ALPHA = 0x40;
inline constexpr std::uint32_t KVI_MOD_REORDERED_BANDS = 0x80;
inline constexpr std::uint32_t KVI_MOD_TRANSFORMED_COLORSPACE = 0x100;
inline constexpr std::uint32_t KVI_MOD_CHANGED_DATATYPE = 0x200;
inline constexpr std::uint32_t KVI_MOD_ALTERED_COLOR = 0x400;
inline constexpr std::uint32_t KVI_MOD_MOSAICKED = 0x800;
inline constexpr std::uint32_t KVI_MOD_REPROJECTED = 0x1000;
inline constexpr std::uint32_t KVI_MOD_WATERMARKED = 0x2000;
inline constexpr std::uint32_t KVI_MOD_OVERLAID = 0x4000;

class KVIMetadataAccessor {
public:
    // Reads and writes the database.
    explicit KVIMetadataAccessor(KVIMetadataDatabase& database);
    // Reads only; every write returns KV_FAILURE.
    explicit KVIMetadataAccessor(const KVIMetadataDatabase& database);

    // Scalar and vector getters: KV_METADATA_NOT_FOUND when absent, KV_METADATA_WRONG_TYPE for
    // another record type, KV_METADATA_NOT_SCALAR when not a scalar (or, for vectors, not a
    // vector). Outputs are untouched on failure.
    KVStatus getUint8(std::uint32_t tag, std::uint8_t& value) const;
    KVStatus getUint16(std::uint32_t tag, std::uint16_t& value) const;
    KVStatus getUint16ByName(const char* name, std::uint16_t& value) const;
    KVStatus getUint32(std::uint32_t tag, std::uint32_t& value) const;
    KVStatus getDouble(std::uint32_t tag, double& value) const;
    KVStatus getString(std::uint32_t tag, const char*& text) const;
    KVStatus getUint8Vector(std::uint32_t tag, const std::uint8_t*& data,
                            std::uint32_t& length) const;
    KVStatus getDoubleVector(std::uint32_t tag, const double*& data, std::uint32_t& length) const;

    // Replace any record of the tag by a scalar.
    KVStatus setString(std::uint32_t tag, const char* text);
    KVStatus setInputName(const char* text);
    KVStatus setInputFileSize(double size);
    KVStatus getInputName(const char*& text) const;
    KVStatus getInputFileSize(double& size) const;

    KVStatus getProjectedCSTypeGeoKey(std::uint16_t& value) const;
    KVStatus getHorizontalDatum(std::uint16_t& value) const;
    KVStatus getHorizontalUnits(std::uint16_t& value) const;

    // Band values copied from a vector record, as many bands as the record's data covers.
    KVStatus getPixelFromTag(std::uint32_t tag, KVIPixel& pixel) const;
    KVStatus getBackgroundPixel(KVIPixel& pixel) const;
    KVStatus getTransparentPixel(KVIPixel& pixel) const;
    // KV_OK with no table when the image has none. The caller owns the table.
    KVStatus getInputLUT(const KVIPixel& pixel, std::unique_ptr<KVIPixelLookupTable>& table) const;
    KVStatus getPixelProps(KVIPixel& pixel) const;
    // Both pixels shaped like the image's pixel.
    KVStatus getDynamicRange(KVIPixel& minPixel, KVIPixel& maxPixel) const;
    KVStatus getGeoCoord(KVIGeoCoord& geo) const;

    KVStatus getModifications(std::uint32_t& mask) const;
    KVStatus setModifications(std::uint32_t mask);

    // Each removes those of its tags that exist and returns the first failing status.
    KVStatus removeGeoTags();
    KVStatus removeColorTags();
    KVStatus removeDynamicRangeTags();
    KVStatus removeBackgroundTags();
    KVStatus removeTransparentTag();
    KVStatus removeImageInfoTags();

    // Sample data type of a record data type; KVI_DATATYPE_NONE when there is none.
    static std::uint32_t recordTypeToDataType(std::uint32_t recordType);
    static void windowLevelToRange(double window, double level, double& min, double& max);
    // The text form of a mask ("LOSSLESS" for 0), and a mask from text (1 when nothing is known).
    static std::string modificationsToText(std::uint32_t mask);
    static std::uint32_t modificationsFromText(const char* text);

private:
    const KVIMetadataDatabase* reader_;
    KVIMetadataDatabase* writer_;
};

} // namespace Korvel
