#include "model/KVIScene.h"

#include "support/KVSaturate.h"

namespace Korvel {

namespace {

// floor(v + 0.5) held within 32 bits, so a scene far outside any image cannot overflow the
// conversion; NaN counts as 0.
std::int64_t roundToPixel(double value) {
    return roundToInt32(value);
}

} // namespace

bool KVIScene::operator!=(const KVIScene& other) const {
    return x_ != other.x_ || y_ != other.y_ || width_ != other.width_ || height_ != other.height_ ||
           magnification_ != other.magnification_;
}

std::int32_t KVIScene::getUpperLeftCol() const {
    return saturateToInt32(roundToPixel(x_));
}
std::int32_t KVIScene::getUpperLeftRow() const {
    return saturateToInt32(roundToPixel(y_));
}

std::int32_t KVIScene::getLowerRightCol() const {
    return saturateToInt32(roundToPixel(x_ + width_) - 1);
}

std::int32_t KVIScene::getLowerRightRow() const {
    return saturateToInt32(roundToPixel(y_ + height_) - 1);
}

std::int32_t KVIScene::getNumCols() const {
    return saturateToInt32(roundToPixel(x_ + width_) - roundToPixel(x_));
}

std::int32_t KVIScene::getNumRows() const {
    return saturateToInt32(roundToPixel(y_ + height_) - roundToPixel(y_));
}

} // namespace Korvel
