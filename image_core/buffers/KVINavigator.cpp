#include "buffers/KVINavigator.h"

#include "stages/KVIImage.h"
#include "support/KVSaturate.h"

#include <algorithm>
#include <cstdlib>

namespace Korvel {

namespace {

// floor(v + 0.5) as a 32-bit integer, held within its range so no value is out of range of the
// conversion.
double roundToPixel(double value) {
    return roundToInt32(value);
}

} // namespace

KVINavigator::KVINavigator(const KVIImage& image)
    : scene_(0.0, 0.0, image.getWidth(), image.getHeight(), 1.0), image_(&image) {}

KVINavigator::KVINavigator(const KVIScene& scene, const KVIImage& image)
    : scene_(scene), image_(&image) {}

bool KVINavigator::isSceneInImage() const {
    const double mag = scene_.getMagnification();
    // Written so that NaN fails every test.
    if (!(scene_.getX() >= 0.0) || !(scene_.getY() >= 0.0) || !(mag >= 0.0)) return false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (image_->getDimsAtMag(mag, width, height) != KV_OK) return false;
    if (!(scene_.getRight() <= width) || !(scene_.getBottom() <= height)) return false;
    return mag <= image_->getMaxMagnification() && image_->getMinMagnification() <= mag;
}

void KVINavigator::roundScene() {
    scene_ = KVIScene(roundToPixel(scene_.getX()), roundToPixel(scene_.getY()),
                      roundToPixel(scene_.getWidth()), roundToPixel(scene_.getHeight()),
                      scene_.getMagnification());
}

bool KVINavigator::intersect(const KVIScene& other) {
    const double left = std::max(scene_.getX(), other.getX());
    const double top = std::max(scene_.getY(), other.getY());
    const double right = std::min(scene_.getRight(), other.getRight());
    const double bottom = std::min(scene_.getBottom(), other.getBottom());
    if (right < left || bottom < top) return false;
    const double width = right - left;
    const double height = bottom - top;
    // Also refuses NaN extents.
    if (!(std::abs(width) > 1e-8) || !(std::abs(height) > 1e-8)) return false;
    setScene(KVIScene(left, top, width, height, scene_.getMagnification()), KVI_NAV_CHECK_NONE);
    return true;
}

bool KVINavigator::clipToImage() {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    const double mag = scene_.getMagnification();
    if (image_->getDimsAtMag(mag, width, height) != KV_OK) return false;
    return intersect(KVIScene(0.0, 0.0, width, height, mag));
}

KVStatus KVINavigator::setScene(const KVIScene& scene, std::uint32_t checkStyle) {
    scene_ = scene;
    switch (checkStyle) {
    case KVI_NAV_CHECK_NONE:
        return KV_OK;
    case KVI_NAV_CHECK_STRICT:
        return isSceneInImage() ? KV_OK : KV_SCENE_CLIPPED_AWAY;
    case KVI_NAV_CHECK_CLIP:
        return clipToImage() ? KV_OK : KV_SCENE_CLIPPED_AWAY;
    default:
        return KVI_NAV_UNKNOWN_CHECK;
    }
}

KVStatus KVINavigator::moveBy(double dx, double dy, std::uint32_t checkStyle) {
    return setScene(KVIScene(scene_.getX() + dx, scene_.getY() + dy, scene_.getWidth(),
                             scene_.getHeight(), scene_.getMagnification()),
                    checkStyle);
}

} // namespace Korvel
