#pragma once
// GDAL's own answers, against which the coordinate-system texts are judged, and small builders
// of metadata records.

#include "metadata/KVIMetadataDatabase.h"

#include <cpl_conv.h>
#include <ogr_srs_api.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wkt_test {

struct SrsFree {
    void operator()(void* srs) const {
        OSRDestroySpatialReference(static_cast<OGRSpatialReferenceH>(srs));
    }
};
using Srs = std::unique_ptr<std::remove_pointer_t<OGRSpatialReferenceH>, SrsFree>;

inline Srs importWkt(const std::string& wkt) {
    Srs srs(OSRNewSpatialReference(nullptr));
    char* cursor = const_cast<char*>(wkt.c_str());
    if (OSRImportFromWkt(srs.get(), &cursor) != OGRERR_NONE) return nullptr;
    return srs;
}

// What `gdalsrsinfo -o wkt1 EPSG:code` prints.
inline std::string epsgWkt1(int code) {
    Srs srs(OSRNewSpatialReference(nullptr));
    EXPECT_EQ(OSRImportFromEPSG(srs.get(), code), OGRERR_NONE);
    char* text = nullptr;
    const char* const options[] = {"FORMAT=WKT1", nullptr};
    EXPECT_EQ(OSRExportToWktEx(srs.get(), &text, options), OGRERR_NONE);
    std::string wkt = text != nullptr ? text : "";
    CPLFree(text);
    return wkt;
}

inline bool sameSystem(const std::string& wkt, const std::string& expected) {
    const Srs a = importWkt(wkt);
    const Srs b = importWkt(expected);
    return a != nullptr && b != nullptr && OSRIsSame(a.get(), b.get());
}

// A GDAL configuration value for the scope of a test.
class ScopedConfig {
public:
    ScopedConfig(const char* key, const char* value) : key_(key) { CPLSetConfigOption(key, value); }
    ~ScopedConfig() { CPLSetConfigOption(key_, nullptr); }

private:
    const char* key_;
};

template <typename T>
void addVector(Korvel::KVIMetadataDatabase& db, const std::string& name, std::uint32_t type,
               const std::vector<T>& values) {
    const auto length = static_cast<std::uint32_t>(values.size());
    ASSERT_EQ(db.add(Korvel::KVIMetadataRecord(name.c_str(), type, values.data(), 1, &length)),
              Korvel::KV_OK);
}

inline void addText(Korvel::KVIMetadataDatabase& db, const std::string& name, const char* text) {
    ASSERT_EQ(
        db.add(Korvel::KVIMetadataRecord(name.c_str(), Korvel::KVI_RECORD_TEXT, &text, 0, nullptr)),
        Korvel::KV_OK);
}

template <typename T>
void addScalar(Korvel::KVIMetadataDatabase& db, std::uint32_t tag, std::uint32_t type, T value) {
    ASSERT_EQ(db.add(Korvel::KVIMetadataRecord(tag, type, &value)), Korvel::KV_OK);
}

// Origin (x, y) and resolutions, the geo tags every geo coordinate needs.
inline void addGeoTags(Korvel::KVIMetadataDatabase& db, double x, double y, double xRes,
                       double yRes) {
    addVector<double>(db, "IMAGE::XY_ORIGIN", Korvel::KVI_RECORD_FLOAT64, {x, y});
    addScalar(db, Korvel::KVI_TAG_IMAGE_X_RESOLUTION, Korvel::KVI_RECORD_FLOAT64, xRes);
    addScalar(db, Korvel::KVI_TAG_IMAGE_Y_RESOLUTION, Korvel::KVI_RECORD_FLOAT64, yRes);
}

} // namespace wkt_test
