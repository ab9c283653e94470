#include "PointIterator.h"

#include "Error.h"
#include "PointInfo.h"

#include <limits>

namespace Korvel {

PointIterator::PointIterator() {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    for (int axis = 0; axis < 3; ++axis) {
        bounds_[2 * axis] = infinity;
        bounds_[2 * axis + 1] = -infinity;
    }
}

PointIterator::~PointIterator() = default;

void PointIterator::init(const double* bounds, double fraction, const PointInfo& pointInfo,
                         ProgressDelegate* delegate) {
    for (int i = 0; i < 6; ++i)
        bounds_[i] = bounds[i];
    fraction_ = fraction;
    accumulator_ = 1.0 - fraction;
    limit_ = 1.0 - fraction * 0.5;
    delegate_ = delegate;
    if (!pointInfo.hasValidXYZ())
        KORVEL_FAIL("PointIterator", "Korvel::PointIterator::init", ErrorCode::PointData,
                    "must have x, y, and z channels");
}

std::uint64_t PointIterator::getNextPoints(PointData&) {
    return 0;
}

} // namespace Korvel
