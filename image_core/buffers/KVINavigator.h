#pragma once
// A scene bound to the image it is checked against: tests, rounds, clips and moves the scene.
// The image is not retained; it must outlive the navigator.

#include "model/KVIScene.h"
#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class KVIImage;

// How setScene and moveBy check the new scene.
inline constexpr std::uint32_t KVI_NAV_CHECK_NONE = 1;
inline constexpr std::uint32_t KVI_NAV_CHECK_STRICT = 2; // it must lie in the image
inline constexpr std::uint32_t KVI_NAV_CHECK_CLIP = 3;   // it is clipped to the image

// setScene's answer to a check style it does not know.
inline constexpr KVStatus KVI_NAV_UNKNOWN_CHECK = 2;

class KVINavigator {
public:
    // The whole image at magnification 1.0.
    explicit KVINavigator(const KVIImage& image);
    KVINavigator(const KVIScene& scene, const KVIImage& image);

    const KVIScene& getScene() const { return scene_; }

    // The scene lies in the image at its magnification, which lies in the image's range.
    bool isSceneInImage() const;
    // x, y, width and height each to floor(v + 0.5), held within 32 bits; NaN becomes 0.
    void roundScene();
    // The scene becomes its overlap with other (keeping its own magnification); false, with the
    // scene unchanged, when they overlap by 1e-8 or less in either direction.
    bool intersect(const KVIScene& other);
    // intersect with the whole image at the scene's magnification.
    bool clipToImage();
    // Takes the scene, then checks it by style: KV_SCENE_CLIPPED_AWAY when the strict test fails
    // or clipping leaves nothing (the unchecked scene stays), KVI_NAV_UNKNOWN_CHECK for another
    // style.
    KVStatus setScene(const KVIScene& scene, std::uint32_t checkStyle);
    KVStatus moveBy(double dx, double dy, std::uint32_t checkStyle);

private:
    KVIScene scene_;
    const KVIImage* image_;
};

} // namespace Korvel
