#include "BaseDecoderInfo.h"

#include "RTree.h"

#include <limits>

namespace Korvel {

BaseDecoderInfo::BaseDecoderInfo() {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    for (int axis = 0; axis < 3; ++axis) {
        bounds_[2 * axis] = infinity;
        bounds_[2 * axis + 1] = -infinity;
    }
}

BaseDecoderInfo::~BaseDecoderInfo() {
    delete index_;
}

} // namespace Korvel
