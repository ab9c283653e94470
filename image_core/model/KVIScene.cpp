#include "model/KVIScene.h"

#include <cmath>
#include <limits>

namespace Korvel {

namespace {

// floor(v + 0.5) held within 32 bits, so a scene far outside any image cannot overflow the
// conversion; NaN counts as 0.
std::int64_t roundToPixel(double value) {
    const double rounded = std::floor(value + 0.5);
    if (std::isnan(rounded)) return 0;
    if (rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int64_t>(rounded);
}

std::int32_t clampTo32(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

} // namespace

bool KVIScene::operator!=(const KVIScene& other) const {
    return x_ != other.x_ || y_ != other.y_ || width_ != other.width_ || height_ != other.height_ ||
           magnification_ != other.magnification_;
}

std::int32_t KVIScene::getUpperLeftCol() const {
    return clampTo32(roundToPixel(x_));
}
std::int32_t KVIScene::getUpperLeftRow() const {
    return clampTo32(roundToPixel(y_));
}

std::int32_t KVIScene::getLowerRightCol() const {
    return clampTo32(roundToPixel(x_ + width_) - 1);
}

std::int32_t KVIScene::getLowerRightRow() const {
    return clampTo32(roundToPixel(y_ + height_) - 1);
}

std::int32_t KVIScene::getNumCols() const {
    return clampTo32(roundToPixel(x_ + width_) - roundToPixel(x_));
}

std::int32_t KVIScene::getNumRows() const {
    return clampTo32(roundToPixel(y_ + height_) - roundToPixel(y_));
}

} // namespace Korvel
