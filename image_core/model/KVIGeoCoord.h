#pragma once
// The affine placement of an image in a coordinate system, with an optional WKT description:
//   gx = x + px * xRes + py * xRot,  gy = y + px * yRot + py * yRes  (at magnification 1.0).

#include "support/KVStatus.h"

#include <optional>
#include <string>

namespace Korvel {

class KVIMetadataDatabase;
class KVIOStreamInf;

class KVIGeoCoord {
public:
    // (0, 0, 1.0, -1.0, 0, 0), no WKT.
    KVIGeoCoord() = default;
    // Throws KVUtilException with KV_OUT_OF_MEMORY when the WKT cannot be copied.
    KVIGeoCoord(double x, double y, double xRes, double yRes, double xRot, double yRot,
                const char* wkt = nullptr);
    KVIGeoCoord(const KVIGeoCoord& other);
    KVIGeoCoord& operator=(const KVIGeoCoord& other);

    double getX() const { return x_; }
    double getY() const { return y_; }
    double getXRes() const { return xRes_; }
    double getYRes() const { return yRes_; }
    double getXRot() const { return xRot_; }
    double getYRot() const { return yRot_; }
    // Null when there is none.
    const char* getWKT() const { return wkt_ ? wkt_->c_str() : nullptr; }

    void setX(double value) { x_ = value; }
    void setY(double value) { y_ = value; }
    void setXRes(double value) { xRes_ = value; }
    void setYRes(double value) { yRes_ = value; }
    void setXRot(double value) { xRot_ = value; }
    void setYRot(double value) { yRot_ = value; }
    void set(double x, double y, double xRes, double yRes, double xRot, double yRot);
    // Replaces the WKT with a copy of text (null clears it).
    void setWKT(const char* text);

    // Geo position of pixel (px, py) given at a magnification; KV_BAD_ARGUMENT, with the outputs
    // untouched, for a magnification that is not a positive number.
    KVStatus pixelToGeo(double px, double py, double magnification, double& gx, double& gy) const;

    // Reads the six numbers of a world file from the stream's position to its end. The WKT is
    // kept; nothing changes on failure.
    KVStatus readWorldFile(KVIOStreamInf* stream);

    // Reads the geo tags; a missing tag gives found = false and KV_OK.
    KVStatus readFromMetadata(const KVIMetadataDatabase& metadata, bool& found);

private:
    double x_ = 0.0;
    double y_ = 0.0;
    double xRes_ = 1.0;
    double yRes_ = -1.0;
    double xRot_ = 0.0;
    double yRot_ = 0.0;
    std::optional<std::string> wkt_;
};

} // namespace Korvel
