#include "PointReader.h"

#include "Error.h"

#include <limits>

namespace Korvel {

PointReader::PointReader() {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    for (int axis = 0; axis < 3; ++axis) {
        bounds_[2 * axis] = infinity;
        bounds_[2 * axis + 1] = -infinity;
    }
}

PointReader::~PointReader() {
    XFREE(wkt_);
}

const double* PointReader::getScale() const {
    return scale_[0] != 0.0 && scale_[1] != 0.0 && scale_[2] != 0.0 ? scale_ : nullptr;
}

const double* PointReader::getOffset() const {
    return getScale() != nullptr ? offset_ : nullptr;
}

double PointReader::getNumPointsInQuery(const double*, double) const {
    return static_cast<double>(numPoints_);
}

void PointReader::setWKT(const char* wkt) {
    char* copy = wkt != nullptr && *wkt != '\0' ? XSTRDUP(wkt) : nullptr;
    XFREE(wkt_);
    wkt_ = copy;
}

void PointReader::setBounds(const double* bounds) {
    for (int i = 0; i < 6; ++i)
        bounds_[i] = bounds[i];
}

void PointReader::setQuantization(const double* scales, const double* offsets) {
    for (int axis = 0; axis < 3; ++axis) {
        scale_[axis] = scales != nullptr ? scales[axis] : 0.0;
        offset_[axis] = offsets != nullptr ? offsets[axis] : 0.0;
    }
}

void PointReader::setPointInfo(const PointInfo& pointInfo) {
    if (!pointInfo.hasValidXYZ())
        KORVEL_FAIL("PointReader", "Korvel::PointReader::setPointInfo", ErrorCode::PointData,
                    "must have x, y, and z channels");
    pointInfo_ = pointInfo;
}

} // namespace Korvel
