#include "buffers/KVINavigator.h"
#include "SyntheticImageStage.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

using namespace Korvel;
using Korvel::KVIRef;
using quarn_test::SyntheticImageStage;

namespace {

TEST(KVINavigatorScenes, RoundIntersectAndClip) {
    KVIRef<SyntheticImageStage> image(new SyntheticImageStage(640, 480));
    KVINavigator whole(*image);
    EXPECT_EQ(whole.getScene(), KVIScene(0, 0, 640, 480, 1.0));
    EXPECT_TRUE(whole.isSceneInImage());

    KVINavigator nav(KVIScene(2.5, 1.49, 10.5, -0.5, 0.5), *image);
    nav.roundScene();
    EXPECT_EQ(nav.getScene(), KVIScene(3, 1, 11, 0, 0.5));
    KVINavigator far(KVIScene(1e300, -1e300, 0, 0, 1.0), *image);
    far.roundScene();
    EXPECT_EQ(far.getScene().getX(), 2147483647.0);
    EXPECT_EQ(far.getScene().getY(), -2147483648.0);

    const KVIScene left(0, 0, 10, 10, 1.0);
    KVINavigator edge(left, *image);
    EXPECT_FALSE(edge.intersect(KVIScene(10, 0, 5, 5, 2.0)));
    EXPECT_FALSE(edge.intersect(KVIScene(10 - 1e-9, 0, 5, 5, 2.0)));
    EXPECT_EQ(edge.getScene(), left);
    EXPECT_TRUE(edge.intersect(KVIScene(5, 2, 50, 3, 2.0)));
    EXPECT_EQ(edge.getScene(), KVIScene(5, 2, 5, 3, 1.0));

    KVINavigator outside(KVIScene(630, 470, 20, 20, 1.0), *image);
    EXPECT_FALSE(outside.isSceneInImage());
    EXPECT_TRUE(outside.clipToImage());
    EXPECT_EQ(outside.getScene(), KVIScene(630, 470, 10, 10, 1.0));
    // Outside the magnification range the image has no size.
    KVINavigator scaled(KVIScene(0, 0, 10, 10, 0.5), *image);
    EXPECT_FALSE(scaled.isSceneInImage());
    EXPECT_FALSE(scaled.clipToImage());
}

TEST(KVINavigatorScenes, SetSceneAndMoveByCheckStyles) {
    KVIRef<SyntheticImageStage> image(new SyntheticImageStage(100, 50));
    KVINavigator nav(*image);
    const KVIScene wide(90, 0, 20, 10, 1.0);
    EXPECT_EQ(nav.setScene(wide, KVI_NAV_CHECK_STRICT), KV_SCENE_CLIPPED_AWAY);
    EXPECT_EQ(nav.getScene(), wide);
    EXPECT_EQ(nav.setScene(wide, KVI_NAV_CHECK_CLIP), KV_OK);
    EXPECT_EQ(nav.getScene(), KVIScene(90, 0, 10, 10, 1.0));
    EXPECT_EQ(nav.setScene(wide, 4), KVI_NAV_UNKNOWN_CHECK);
    EXPECT_EQ(nav.getScene(), wide);

    EXPECT_EQ(nav.setScene(KVIScene(0, 0, 10, 10, 1.0), KVI_NAV_CHECK_NONE), KV_OK);
    EXPECT_EQ(nav.moveBy(90, 40, KVI_NAV_CHECK_STRICT), KV_OK);
    EXPECT_EQ(nav.moveBy(1, 0, KVI_NAV_CHECK_STRICT), KV_SCENE_CLIPPED_AWAY);
    EXPECT_EQ(nav.moveBy(100, 0, KVI_NAV_CHECK_CLIP), KV_SCENE_CLIPPED_AWAY);
    EXPECT_EQ(nav.getScene(), KVIScene(191, 40, 10, 10, 1.0));
}

} // namespace
