#pragma once
// Numbered metadata tags: constants for the tag numbers and the lookup of their names.

#include <cstddef>
#include <cstdint>

namespace Korvel {

inline constexpr std::uint32_t KVI_TAG_INVALID = 0;
inline constexpr std::uint32_t KVI_TAG_TEST_TEST_SCALAR = 2;
inline constexpr std::uint32_t KVI_TAG_TEST_TEST_VECTOR = 3;
inline constexpr std::uint32_t KVI_TAG_TEST_TEST_ARRAY = 4;
inline constexpr std::uint32_t KVI_TAG_IMAGE_SOM = 10;
inline constexpr std::uint32_t KVI_TAG_IMAGE_EOM = 11;
inline constexpr std::uint32_t KVI_TAG_IMAGE_INPUT_FORMAT = 100;
inline constexpr std::uint32_t KVI_TAG_IMAGE_CREATION_DATE = 101;
inline constexpr std::uint32_t KVI_TAG_IMAGE_INPUT_NAME = 102;
inline constexpr std::uint32_t KVI_TAG_IMAGE_NO_DATA_VALUE = 103;
inline constexpr std::uint32_t KVI_TAG_IMAGE_INPUT_LUT = 104;
inline constexpr std::uint32_t KVI_TAG_IMAGE_NO_DITHER = 105;
inline constexpr std::uint32_t KVI_TAG_IMAGE_INPUT_FILE_SIZE = 106;
inline constexpr std::uint32_t KVI_TAG_IMAGE_DYNAMIC_RANGE_WINDOW = 107;
inline constexpr std::uint32_t KVI_TAG_IMAGE_DYNAMIC_RANGE_LEVEL = 108;
inline constexpr std::uint32_t KVI_TAG_IMAGE_TARGET_COMPRESSION_RATIO = 109;
inline constexpr std::uint32_t KVI_TAG_IMAGE_COMPRESSION_WEIGHT = 110;
inline constexpr std::uint32_t KVI_TAG_IMAGE_COMPRESSION_KWEIGHT = 111;
inline constexpr std::uint32_t KVI_TAG_IMAGE_COMPRESSION_GAMMA = 112;
inline constexpr std::uint32_t KVI_TAG_IMAGE_WIDTH = 113;
inline constexpr std::uint32_t KVI_TAG_IMAGE_HEIGHT = 114;
inline constexpr std::uint32_t KVI_TAG_IMAGE_COMPRESSION_BLOCK_SIZE = 115;
inline constexpr std::uint32_t KVI_TAG_IMAGE_COLOR_SCHEME = 116;
inline constexpr std::uint32_t KVI_TAG_IMAGE_COMPRESSION_NLEV = 117;
inline constexpr std::uint32_t KVI_TAG_IMAGE_COMPRESSION_VERSION = 118;
inline constexpr std::uint32_t KVI_TAG_IMAGE_DEFAULT_DATA_VALUE = 119;
inline constexpr std::uint32_t KVI_TAG_IMAGE_TRANSPARENT_DATA_VALUE = 120;
inline constexpr std::uint32_t KVI_TAG_IMAGE_XY_ORIGIN = 124;
inline constexpr std::uint32_t KVI_TAG_IMAGE_Z_ORIGIN = 125;
inline constexpr std::uint32_t KVI_TAG_IMAGE_X_RESOLUTION = 126;
inline constexpr std::uint32_t KVI_TAG_IMAGE_Y_RESOLUTION = 127;
inline constexpr std::uint32_t KVI_TAG_IMAGE_Z_RESOLUTION = 128;
inline constexpr std::uint32_t KVI_TAG_IMAGE_X_ROTATION = 129;
inline constexpr std::uint32_t KVI_TAG_IMAGE_BITS_PER_SAMPLE = 130;
inline constexpr std::uint32_t KVI_TAG_IMAGE_HORIZONTAL_UNITS = 131;
inline constexpr std::uint32_t KVI_TAG_IMAGE_VERTICAL_UNITS = 132;
inline constexpr std::uint32_t KVI_TAG_IMAGE_DATA_TYPE = 133;
inline constexpr std::uint32_t KVI_TAG_IMAGE_Z_UNITS = 134;
inline constexpr std::uint32_t KVI_TAG_IMAGE_Y_ROTATION = 135;
inline constexpr std::uint32_t KVI_TAG_IMAGE_WKT = 137;
inline constexpr std::uint32_t KVI_TAG_IMAGE_ENCODING_APPLICATION = 138;
inline constexpr std::uint32_t KVI_TAG_IMAGE_KVI_ESDK_VERSION = 139;
inline constexpr std::uint32_t KVI_TAG_IMAGE_MODIFICATIONS = 140;
inline constexpr std::uint32_t KVI_TAG_IMAGE_ENCODING_COMMENT = 141;
inline constexpr std::uint32_t KVI_TAG_IMAGE_FORMAT = 142;
inline constexpr std::uint32_t KVI_TAG_GEO_PCS_CITATION_GEO_KEY = 200;
inline constexpr std::uint32_t KVI_TAG_GEO_HORIZONTAL_DATUM = 201;
inline constexpr std::uint32_t KVI_TAG_GEO_MODEL_TYPE_GEO_KEY = 202;
inline constexpr std::uint32_t KVI_TAG_GEO_PROJECTED_CS_TYPE_GEO_KEY = 203;
inline constexpr std::uint32_t KVI_TAG_GEO_HORIZONTAL_COORDSYSTEMZONE = 204;
inline constexpr std::uint32_t KVI_TAG_USGS_QUADCOMMENT = 300;
inline constexpr std::uint32_t KVI_TAG_USGS_QUADRECT = 301;
inline constexpr std::uint32_t KVI_TAG_IMG_CLASSNAME = 400;
inline constexpr std::uint32_t KVI_TAG_IMG_HORIZONTAL_UNITS = 401;
inline constexpr std::uint32_t KVI_TAG_IMG_TIME_STAMP = 402;
inline constexpr std::uint32_t KVI_TAG_IMG_PROJECTION_NAME = 403;
inline constexpr std::uint32_t KVI_TAG_IMG_PROJECTION_TYPE = 404;
inline constexpr std::uint32_t KVI_TAG_IMG_PROJECTION_PARAMETERS = 405;
inline constexpr std::uint32_t KVI_TAG_IMG_SPHEROID_NAME = 406;
inline constexpr std::uint32_t KVI_TAG_IMG_BYTE_ORDER = 407;
inline constexpr std::uint32_t KVI_TAG_IMG_SPHEROID_SEMI_MAJOR_AXIS = 408;
inline constexpr std::uint32_t KVI_TAG_IMG_SPHEROID_SEMI_MINOR_AXIS = 409;
inline constexpr std::uint32_t KVI_TAG_IMG_SPHEROID_ECCENTRICITY_SQUARED = 410;
inline constexpr std::uint32_t KVI_TAG_IMG_SPHEROID_RADIUS = 411;
inline constexpr std::uint32_t KVI_TAG_IMG_STATISTICS_MEAN = 412;
inline constexpr std::uint32_t KVI_TAG_IMG_STATISTICS_MEDIAN = 413;
inline constexpr std::uint32_t KVI_TAG_IMG_STATISTICS_MODE = 414;
inline constexpr std::uint32_t KVI_TAG_IMG_STATISTICS_STDDEV = 415;
inline constexpr std::uint32_t KVI_TAG_IMG_PROJECTION_NUMBER = 416;
inline constexpr std::uint32_t KVI_TAG_IMG_PROJECTION_ZONE = 417;
inline constexpr std::uint32_t KVI_TAG_ICC_PROFILE = 500;
inline constexpr std::uint32_t KVI_TAG_PSHOP_IMAGE_RESOURCES = 501;
inline constexpr std::uint32_t KVI_TAG_USER_COMPANY_NAME = 600;
inline constexpr std::uint32_t KVI_TAG_USER_COPYRIGHT = 601;
inline constexpr std::uint32_t KVI_TAG_USER_CREDIT = 602;
inline constexpr std::uint32_t KVI_TAG_USER_SUMMARY = 603;
inline constexpr std::uint32_t KVI_TAG_USER_KEYWORDS = 604;
inline constexpr std::uint32_t KVI_TAG_USER_COMMENTS = 605;
inline constexpr std::uint32_t KVI_TAG_USER_IMAGE_ID = 606;
inline constexpr std::uint32_t KVI_TAG_USER_IMAGING_DATE = 607;
inline constexpr std::uint32_t KVI_TAG_USER_IMAGING_TIME = 608;
inline constexpr std::uint32_t KVI_TAG_USER_SOURCE_DEVICE = 609;
inline constexpr std::uint32_t KVI_TAG_USER_SCAN_INFO = 610;
inline constexpr std::uint32_t KVI_TAG_USER_GEOGRAPHIC_LOCATION = 611;
inline constexpr std::uint32_t KVI_TAG_ASCII_COMMENT = 700;
inline constexpr std::uint32_t KVI_TAG_GDAL_COORDINATE_SYSTEM = 800;
inline constexpr std::uint32_t KVI_TAG_IMAGE_STATISTICS_MIN = 900;
inline constexpr std::uint32_t KVI_TAG_IMAGE_STATISTICS_MAX = 901;
inline constexpr std::uint32_t KVI_TAG_IMAGE_STATISTICS_MEAN = 902;
inline constexpr std::uint32_t KVI_TAG_IMAGE_STATISTICS_STANDARD_DEVIATION = 903;

// The name of a tag, or null when the table has no such tag.
const char* getTagName(std::uint32_t tag);
// A short description of a tag, or null when the table has no such tag.
const char* getTagDescription(std::uint32_t tag);
// The rows of the table, in their search order.
std::size_t getTagCount();
// The tag number of a row; KVI_TAG_INVALID past the end.
std::uint32_t getTagByIndex(std::size_t index);

} // namespace Korvel
