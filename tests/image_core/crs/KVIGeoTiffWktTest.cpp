#include "crs/KVIGeoTiffWkt.h"
#include "GdalOracle.h"
#include "crs/GeoTiffOGISDefn.h"
#include "crs/KVIGeoTiffTagDirectory.h"

#include <gdal.h>
#include <xtiffio.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Korvel;
using namespace wkt_test;

namespace {

// Writes a small GeoTIFF of the system with GDAL itself, adds its GeoKeys as records, as read
// with libgeotiff, and returns the system that libgeotiff and GDAL read from them.
std::string gdalGeoTiffKeys(const char* system, KVIMetadataDatabase& db) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kvi-gtiff-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "image.tif").string();
    GDALAllRegister();
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), 4, 4, 1, GDT_Byte, nullptr);
    double transform[6] = {500000, 10, 0, 4000000, 0, -10};
    GDALSetGeoTransform(ds, transform);
    const Srs srs(OSRNewSpatialReference(nullptr));
    EXPECT_EQ(OSRSetFromUserInput(srs.get(), system), OGRERR_NONE);
    GDALSetSpatialRef(ds, srs.get());
    GDALClose(ds);

    TIFF* tif = XTIFFOpen(path.c_str(), "r");
    GTIF* gtif = GTIFNew(tif);
    for (int k = 1; k <= 0xFFFF; ++k) {
        const auto key = static_cast<geokey_t>(k);
        int size = 0;
        tagtype_t type = TYPE_UNKNOWN;
        const int count = GTIFKeyInfo(gtif, key, &size, &type);
        if (count <= 0) continue;
        const std::string name = "GEOTIFF_NUM::" + std::to_string(k) + "::" + GTIFKeyName(key);
        if (type == TYPE_SHORT) {
            std::vector<std::uint16_t> values(count);
            GTIFKeyGetSHORT(gtif, key, values.data(), 0, count);
            addVector(db, name, KVI_RECORD_UINT16, values);
        } else if (type == TYPE_DOUBLE) {
            std::vector<double> values(count);
            GTIFKeyGetDOUBLE(gtif, key, values.data(), 0, count);
            addVector(db, name, KVI_RECORD_FLOAT64, values);
        } else if (type == TYPE_ASCII) {
            std::vector<char> text(count + 1, '\0');
            GTIFKeyGetASCII(gtif, key, text.data(), count + 1);
            addText(db, name, text.data());
        }
    }
    GTIFDefn* definition = GTIFAllocDefn();
    char* text = GTIFGetDefn(gtif, definition) ? GTIFGetOGISDefn(gtif, definition) : nullptr;
    const std::string wkt = text != nullptr ? text : "";
    VSIFree(text);
    GTIFFreeDefn(definition);
    GTIFFree(gtif);
    XTIFFClose(tif);
    std::filesystem::remove_all(dir);
    return wkt;
}

template <typename T> std::vector<T> values(const KVIGeoTiffTagDirectory::Entry* entry) {
    if (entry == nullptr) return {};
    const auto* data = reinterpret_cast<const T*>(entry->data.data());
    return {data, data + entry->count};
}

} // namespace

TEST(KVIGeoTiffWkt, KeysOfAGdalGeoTiffGiveTheSystemLibgeotiffReads) {
    // Geographic and projected codes, and a user-defined projection on a user-defined
    // ellipsoid (parameters as DOUBLE keys, citations as ASCII keys).
    const char* systems[] = {"EPSG:4326", "EPSG:32633", "EPSG:2227",
                             ("+proj=lcc +lat_1=33 +lat_2=45 +lat_0=39 +lon_0=-96 +x_0=1000 "
                              "+y_0=2000 +a=6378000 +rf=297 +units=m +no_defs")};
    for (const char* system : systems) {
        KVIMetadataDatabase db;
        const std::string expected = gdalGeoTiffKeys(system, db);
        ASSERT_FALSE(expected.empty()) << system;
        std::string wkt;
        ASSERT_EQ(geoTiffKeysToWkt(db, wkt), KV_OK) << system;
        EXPECT_TRUE(sameSystem(wkt, expected)) << system << "\n" << wkt << "\n" << expected;
    }
}

TEST(KVIGeoTiffWkt, KeyDirectoryLayout) {
    KVIMetadataDatabase db;
    addVector<std::uint16_t>(db, "GEO::ModelTypeGeoKey", KVI_RECORD_UINT16, {2, 7, 9});
    addText(db, "GEOTIFF_NUM::3073", "abc");
    addVector<double>(db, "GEOTIFF_NUM::2057", KVI_RECORD_FLOAT64, {6378137.0});
    addText(db, "GEOTIFF_NUM::1026", "xy");
    addVector<std::uint16_t>(db, "GEOTIFF_NUM::2048", KVI_RECORD_UINT16, {4326});
    addVector<double>(db, "GEOTIFF_NUM::3088", KVI_RECORD_FLOAT64, {1.5, 2.5});
    KVIGeoTiffTagDirectory directory;
    ASSERT_EQ(gatherGeoTiffTags(db, directory), KV_OK);
    // A SHORT key is held in its entry with count 1, whatever number of values it had.
    EXPECT_EQ(values<std::uint16_t>(directory.find(KVI_TIFFTAG_GEO_KEY_DIRECTORY)),
              (std::vector<std::uint16_t>{
                  1, 1,    0,    6,     1024, 0, 1,    2,     1026, 34737, 3,    0,     2048, 0,
                  1, 4326, 2057, 34736, 1,    0, 3073, 34737, 4,    3,     3088, 34736, 2,    1}));
    EXPECT_EQ(values<double>(directory.find(KVI_TIFFTAG_GEO_DOUBLE_PARAMS)),
              (std::vector<double>{6378137.0, 1.5, 2.5}));
    const std::vector<char> texts = values<char>(directory.find(KVI_TIFFTAG_GEO_ASCII_PARAMS));
    EXPECT_EQ(std::string(texts.begin(), texts.end()), std::string("xy|abc|\0", 8));
    // libgeotiff takes the directory whole.
    std::string wkt;
    ASSERT_EQ(geoTiffKeysToWkt(db, wkt), KV_OK);
    EXPECT_TRUE(sameSystem(wkt, epsgWkt1(4326))) << wkt;
}

TEST(KVIGeoTiffWkt, ModelPlacement) {
    // Both names give key 1025: the later record is the key; the longer name the raster type,
    // and an area raster is tied half a pixel up and left of the pixel centre.
    for (const bool longNameLast : {true, false}) {
        KVIMetadataDatabase db;
        addGeoTags(db, 100.0, 200.0, 2.0, 3.0); // y resolution kept as -3
        const char* names[] = {"GEOTIFF_NUM::1025", "GEOTIFF_NUM::1025::GTRasterTypeGeoKey"};
        const std::uint16_t types[] = {2, 1};
        for (int i : longNameLast ? std::vector<int>{0, 1} : std::vector<int>{1, 0})
            addVector<std::uint16_t>(db, names[i], KVI_RECORD_UINT16, {types[i]});
        KVIGeoTiffTagDirectory directory;
        ASSERT_EQ(gatherGeoTiffTags(db, directory), KV_OK);
        EXPECT_EQ(values<double>(directory.find(KVI_TIFFTAG_MODEL_TIE_POINT)),
                  (std::vector<double>{0, 0, 0, 99.0, 201.5, 0}));
        EXPECT_EQ(values<double>(directory.find(KVI_TIFFTAG_MODEL_PIXEL_SCALE)),
                  (std::vector<double>{2.0, 3.0, 0.0}));
        EXPECT_EQ(values<std::uint16_t>(directory.find(KVI_TIFFTAG_GEO_KEY_DIRECTORY)).back(),
                  longNameLast ? 1 : 2);
    }
    // A rotated image (a point raster here) is placed by a transformation.
    KVIMetadataDatabase db;
    addGeoTags(db, 100.0, 200.0, 2.0, 3.0);
    addScalar(db, KVI_TAG_IMAGE_X_ROTATION, KVI_RECORD_FLOAT64, 0.5);
    addScalar(db, KVI_TAG_IMAGE_Y_ROTATION, KVI_RECORD_FLOAT64, 0.25);
    addVector<std::uint16_t>(db, "GEOTIFF_NUM::1025", KVI_RECORD_UINT16, {2});
    KVIGeoTiffTagDirectory directory;
    ASSERT_EQ(gatherGeoTiffTags(db, directory), KV_OK);
    EXPECT_EQ(directory.find(KVI_TIFFTAG_MODEL_TIE_POINT), nullptr);
    EXPECT_EQ(values<double>(directory.find(KVI_TIFFTAG_MODEL_TRANSFORMATION)),
              (std::vector<double>{2, 0.5, 0, 100, 0.25, -3, 0, 200, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(KVIGeoTiffWkt, ValuesBeyondAKeysCountEndTheSource) {
    KVIMetadataDatabase db;
    addVector(db, "GEOTIFF_NUM::2057", KVI_RECORD_FLOAT64, std::vector<double>(0x10000));
    std::string wkt;
    EXPECT_EQ(geoTiffKeysToWkt(db, wkt), KV_FAILURE);
}

TEST(KVIGeoTiffWkt, StoredWktIsReadBackThroughItsKeys) {
    KVIMetadataDatabase db;
    addText(db, "GEOTIFF_CHAR::Citation", "ignored");
    addText(db, "IMAGE::WKT", epsgWkt1(32633).c_str());
    std::string wkt;
    ASSERT_EQ(geoTiffKeysToWkt(db, wkt), KV_OK);
    EXPECT_TRUE(sameSystem(wkt, epsgWkt1(32633))) << wkt;

    // Once a key of its own is present, the stored WKT is not consulted.
    addVector<std::uint16_t>(db, "GEOTIFF_NUM::1024", KVI_RECORD_UINT16, {2});
    addVector<std::uint16_t>(db, "GEOTIFF_NUM::2048", KVI_RECORD_UINT16, {4326});
    ASSERT_EQ(geoTiffKeysToWkt(db, wkt), KV_OK);
    EXPECT_TRUE(sameSystem(wkt, epsgWkt1(4326))) << wkt;
}
