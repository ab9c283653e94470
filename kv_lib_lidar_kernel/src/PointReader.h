#pragma once
// The point source that keeps what a file reader learns on opening: channels, point count, WKT,
// bounds and quantisation.

#include "PointInfo.h"
#include "PointSource.h"

#include <cstdint>

namespace Korvel {

class PointReader : public PointSource {
public:
    PointReader();

    const PointInfo& getPointInfo() const override { return pointInfo_; }
    std::int64_t getNumPoints() const override { return numPoints_; }
    const char* getWKT() const override { return wkt_; }
    const double* getBounds() const override { return bounds_; }
    // The scales when all three are nonzero, else null.
    const double* getScale() const override;
    // The offsets when all three scales are nonzero, else null.
    const double* getOffset() const override;
    // The point count, whatever the query.
    double getNumPointsInQuery(const double* bounds, double fraction) const override;

    void setNumPoints(std::int64_t count) { numPoints_ = count; }
    // A null or empty text stores none.
    void setWKT(const char* wkt);
    // Six doubles in the order of getBounds.
    void setBounds(const double* bounds);
    // A null array stores three zeros.
    void setQuantization(const double* scales, const double* offsets);
    // The info must hold "X", "Y" and "Z" channels of 64-bit floats.
    void setPointInfo(const PointInfo& pointInfo);

protected:
    ~PointReader() override;

private:
    PointInfo pointInfo_;
    std::int64_t numPoints_ = 0;
    char* wkt_ = nullptr;
    double bounds_[6];
    double scale_[3] = {0.0, 0.0, 0.0};
    double offset_[3] = {0.0, 0.0, 0.0};
};

} // namespace Korvel
