#include "metadata/KVIMetadataTag.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace Korvel {

namespace {

struct TagRow {
    std::uint32_t tag;
    const char* name;
    const char* description;
};

// In increasing tag order, each tag once (checked below), so that lookups can halve it.
constexpr TagRow kTagTable[] = {
    {0, "(invalid)", "Invalid tag"},
    {1, "", ""},
    {2, "TEST::TestScalar", "Test scalar"},
    {3, "TEST::TestVector", "Test vector"},
    {4, "TEST::TestArray", "Test array"},
    {10, "IMAGE::SOM", "Start of metadata"},
    {11, "IMAGE::EOM", "End of metadata"},
    {100, "IMAGE::INPUT_FORMAT", "Input file format"},
    {101, "IMAGE::CREATION_DATE", "Creation date"},
    {102, "IMAGE::INPUT_NAME", "Original file name"},
    {103, "IMAGE::NO_DATA_VALUE", "NODATA pixel value"},
    {104, "IMAGE::INPUT_LUT", "Color lookup-table (LUT)"},
    {105, "IMAGE::NO_DITHER", "Dithering disabled"},
    {106, "IMAGE::INPUT_FILE_SIZE", "Original file size (bytes)"},
    {107, "IMAGE::DYNAMIC_RANGE_WINDOW", "Dynamic range window size"},
    {108, "IMAGE::DYNAMIC_RANGE_LEVEL", "Dynamic range level value"},
    {109, "IMAGE::TARGET_COMPRESSION_RATIO", "Target compression ratio"},
    {110, "IMAGE::COMPRESSION_WEIGHT", "Compression weight"},
    {111, "IMAGE::COMPRESSION_KWEIGHT", "Compression k-weight"},
    {112, "IMAGE::COMPRESSION_GAMMA", "Compression gamma"},
    {113, "IMAGE::WIDTH", "Image width (pixels)"},
    {114, "IMAGE::HEIGHT", "Image height (pixels)"},
    {115, "IMAGE::COMPRESSION_BLOCK_SIZE", "Compression block size"},
    {116, "IMAGE::COLOR_SCHEME", "Image colorspace"},
    {117, "IMAGE::COMPRESSION_NLEV", "Number of compression levels"},
    {118, "IMAGE::COMPRESSION_VERSION", "Compression version"},
    {119, "IMAGE::DEFAULT_DATA_VALUE", "Background pixel value"},
    {120, "IMAGE::TRANSPARENT_DATA_VALUE", "Transparent pixel value"},
    {124, "IMAGE::XY_ORIGIN", "Geographic (x,y)-origin"},
    {125, "IMAGE::Z_ORIGIN", "Geographic z-origin"},
    {126, "IMAGE::X_RESOLUTION", "Geographic x-resolution"},
    {127, "IMAGE::Y_RESOLUTION", "Geographic y-resolution"},
    {128, "IMAGE::Z_RESOLUTION", "Geographic z-resolution"},
    {129, "IMAGE::X_ROTATION", "Geographic x-rotation parameter"},
    {130, "IMAGE::BITS_PER_SAMPLE", "Bits per sample"},
    {131, "IMAGE::HORIZONTAL_UNITS", "Horizontal units"},
    {132, "IMAGE::VERTICAL_UNITS", "Vertical units"},
    {133, "IMAGE::DATA_TYPE", "Image data type"},
    {134, "IMAGE::Z_UNITS", "Z units"},
    {135, "IMAGE::Y_ROTATION", "Geographic x-rotation parameter"},
    {137, "IMAGE::WKT", "Geographic Well-Known Text (WKT) string"},
    {138, "IMAGE::ENCODING_APPLICATION", "Encoding application"},
    {139, "IMAGE::KVI_ESDK_VERSION", "Encoder version"},
    {140, "IMAGE::MODIFICATIONS", "Encoding modifications undergone by this file"},
    {141, "IMAGE::ENCODING_COMMENT", "Encoding comment"},
    {142, "IMAGE::FORMAT", "Image format"},
    {200, "GEO::PCSCitationGeoKey", "GeoTIFF projected citation"},
    {201, "GEO::HORIZONTAL_DATUM", "Horizontal datum"},
    {202, "GEO::ModelTypeGeoKey", "GeoTIFF model type"},
    {203, "GEO::ProjectedCSTypeGeoKey", "Projected coordinate system (EPSG code)"},
    {204, "GEO::HORIZONTAL_COORDSYSTEMZONE", "Horizontal coordinate system zone"},
    {300, "USGS::QUADCOMMENT:", "Quadrangle comment"},
    {301, "USGS::QUADRECT:", "Quadrangle rectangle"},
    {400, "IMG::CLASSNAME:", "Class name"},
    {401, "IMG::HORIZONTAL_UNITS", "Horizontal units"},
    {402, "IMG::TIME_STAMP", "Time stamp"},
    {403, "IMG::PROJECTION:NAME", "Projection name"},
    {404, "IMG::PROJECTION:TYPE", "Projection type"},
    {405, "IMG::PROJECTION:PARAMETERS", "Projection parameters"},
    {406, "IMG::SPHEROID:NAME", "Spheroid name"},
    {407, "IMG::BYTE_ORDER", "Byte order"},
    {408, "IMG::SPHEROID:SEMI_MAJOR_AXIS", "Spheroid semi-major axis"},
    {409, "IMG::SPHEROID:SEMI_MINOR_AXIS", "Spheroid semi-minor axis"},
    {410, "IMG::SPHEROID:ECCENTRICITY_SQUARED", "Spheroid eccentricity squared"},
    {411, "IMG::SPHEROID:RADIUS", "Spheroid radius"},
    {412, "IMG::STATISTICS:MEAN", "Mean"},
    {413, "IMG::STATISTICS:MEDIAN", "Median"},
    {414, "IMG::STATISTICS:MODE", "Mode"},
    {415, "IMG::STATISTICS:STDDEV", "Standard deviation"},
    {416, "IMG::PROJECTION:NUMBER", "Projection number"},
    {417, "IMG::PROJECTION:ZONE", "Projection zone"},
    {500, "ICC::Profile", "ICC colour profile"},
    {501, "PShop::ImageResources", "Image resources block"},
    {600, "USER::COMPANY_NAME", "Company name"},
    {601, "USER::COPYRIGHT", "Copyright"},
    {602, "USER::CREDIT", "Credit"},
    {603, "USER::SUMMARY", "Summary"},
    {604, "USER::KEYWORDS", "Keywords"},
    {605, "USER::COMMENTS", "Comments"},
    {606, "USER::IMAGE_ID", "Image identifier"},
    {607, "USER::IMAGING_DATE", "Imaging date"},
    {608, "USER::IMAGING_TIME", "Imaging time"},
    {609, "USER::SOURCE_DEVICE", "Source device"},
    {610, "USER::SCAN_INFO", "Scan information"},
    {611, "USER::GEOGRAPHIC_LOCATION", "Geographic location"},
    {700, "ASCII::COMMENT", "Comment"},
    {800, "GDAL::COORDINATE_SYSTEM", "Coordinate system"},
    {900, "IMAGE::STATISTICS:MIN", "Minimum sample value"},
    {901, "IMAGE::STATISTICS:MAX", "Maximum sample value"},
    {902, "IMAGE::STATISTICS:MEAN", "Mean sample value"},
    {903, "IMAGE::STATISTICS:STANDARD_DEVIATION", "Standard deviation of the sample values"},
    {10000, "", ""},
};

constexpr bool strictlyIncreasing() {
    for (std::size_t i = 1; i < std::size(kTagTable); ++i)
        if (kTagTable[i - 1].tag >= kTagTable[i].tag) return false;
    return true;
}
static_assert(strictlyIncreasing(), "the tag table must be in increasing tag order");

const TagRow* findRow(std::uint32_t tag) {
    const TagRow* row =
        std::lower_bound(std::begin(kTagTable), std::end(kTagTable), tag,
                         [](const TagRow& r, std::uint32_t t) { return r.tag < t; });
    return row != std::end(kTagTable) && row->tag == tag ? row : nullptr;
}

} // namespace

const char* getTagName(std::uint32_t tag) {
    const TagRow* row = findRow(tag);
    return row != nullptr ? row->name : nullptr;
}

const char* getTagDescription(std::uint32_t tag) {
    const TagRow* row = findRow(tag);
    return row != nullptr ? row->description : nullptr;
}

std::size_t getTagCount() {
    return std::size(kTagTable);
}

std::uint32_t getTagByIndex(std::size_t index) {
    return index < std::size(kTagTable) ? kTagTable[index].tag : KVI_TAG_INVALID;
}

} // namespace Korvel
