#include "stages/KVIImageFilter.h"
#include "SyntheticImageStage.h"
#include "buffers/KVISceneBuffer.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

using namespace Korvel;
using Korvel::KVIRef;
using quarn_test::SyntheticImageStage;

namespace {

struct NullProgress : KVIProgressDelegate {
    KVStatus reportProgress(float) override { return KV_OK; }
};

TEST(KVIImageFilterForwarding, QueriesAndSettersReachThePreviousStage) {
    const int live = SyntheticImageStage::liveInstances();
    {
        KVIRef<KVIImageFilter> filter(new KVIImageFilter());
        {
            KVIRef<SyntheticImageStage> stage(new SyntheticImageStage(
                640, 480, KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16)));
            stage->setMagnification(0.25, 1.0);
            ASSERT_EQ(filter->setPreviousStage(stage.get()), KV_OK);
        }
        ASSERT_EQ(SyntheticImageStage::liveInstances(), live + 1); // the filter's reference
        auto* stage = static_cast<SyntheticImageStage*>(filter->getPreviousStage());

        EXPECT_EQ(filter->getWidth(), 640u);
        EXPECT_EQ(filter->getHeight(), 480u);
        EXPECT_EQ(filter->getDataType(), KVI_DATATYPE_UINT16);
        EXPECT_EQ(filter->getMinMagnification(), 0.25);
        std::uint32_t w = 0, h = 0;
        ASSERT_EQ(filter->getDimsAtMag(0.5, w, h), KV_OK);
        EXPECT_EQ(w, 320u);
        EXPECT_EQ(filter->getSceneCost(KVIScene(0, 0, 64, 16, 1.0)), 6);
        EXPECT_EQ(filter->getModifications(KVIScene(0, 0, 320, 240, 0.5)),
                  KVI_MOD_SCALED | KVI_MOD_UNKNOWN);
        EXPECT_EQ(filter->getModifications(KVIScene(0, 0, 640, 480, 1.0)), KVI_MOD_UNKNOWN);

        ASSERT_EQ(filter->setStripHeight(5), KV_OK);
        EXPECT_EQ(stage->getStripHeight(), 5u);
        NullProgress progress;
        filter->setProgressDelegate(&progress);
        EXPECT_EQ(stage->getProgressDelegate(), &progress);
        filter->setProgressDelegate(nullptr);
        ASSERT_EQ(filter->setGeoCoord(KVIGeoCoord(7, 8, 1, -1, 0, 0)), KV_OK);
        EXPECT_EQ(stage->getGeoCoord().getX(), 7.0);
        KVIMetadataDatabase tags;
        const char* name = "x";
        ASSERT_EQ(tags.add(KVIMetadataRecord(KVI_TAG_IMAGE_INPUT_NAME, KVI_RECORD_TEXT, &name)),
                  KV_OK);
        ASSERT_EQ(filter->setMetadata(&tags), KV_OK);
        EXPECT_TRUE(filter->getMetadata().has(KVI_TAG_IMAGE_INPUT_NAME));

        // Reading through the filter delivers the stage's pixels, strip by strip.
        KVISceneBuffer buffer(filter->getPixelProps(), 12, 12);
        ASSERT_EQ(filter->read(KVIScene(4, 6, 12, 12, 1.0), buffer), KV_OK);
        EXPECT_EQ(stage->decodeBeginCalls, 1);
        EXPECT_EQ(stage->decodeStripCalls, 3);
        EXPECT_EQ(stage->decodeEndCalls, 1);
        const auto* band2 = reinterpret_cast<const std::uint16_t*>(buffer.getWindowBandData(2));
        EXPECT_EQ(band2[11 * 12 + 3], SyntheticImageStage::sampleAs<std::uint16_t>(7, 17, 2, 1.0));
    }
    EXPECT_EQ(SyntheticImageStage::liveInstances(), live);
}

TEST(KVIImageFilterForwarding, EveryStageIsReleasedExactlyOnce) {
    const int live = SyntheticImageStage::liveInstances();
    auto* first = new SyntheticImageStage(1, 1);
    auto* second = new SyntheticImageStage(2, 2);
    auto* filter = new KVIImageFilter();
    ASSERT_EQ(filter->setPreviousStage(first), KV_OK);
    EXPECT_EQ(first->release(), 1u);
    // Handing in the stage already held keeps it; replacing it releases it.
    ASSERT_EQ(filter->setPreviousStage(first), KV_OK);
    EXPECT_EQ(SyntheticImageStage::liveInstances(), live + 2);
    ASSERT_EQ(filter->setPreviousStage(second), KV_OK);
    EXPECT_EQ(SyntheticImageStage::liveInstances(), live + 1);
    EXPECT_EQ(second->release(), 1u);

    // A filter over a filter: releasing the outer one unwinds the chain.
    auto* outer = new KVIImageFilter();
    ASSERT_EQ(outer->setPreviousStage(filter), KV_OK);
    EXPECT_EQ(filter->release(), 1u);
    EXPECT_EQ(outer->getWidth(), 2u);
    EXPECT_EQ(outer->release(), 0u);
    EXPECT_EQ(SyntheticImageStage::liveInstances(), live);
}

TEST(KVIImageFilterForwarding, WithoutPreviousStage) {
    KVIRef<KVIImageFilter> filter(new KVIImageFilter());
    EXPECT_EQ(filter->getModifications(KVIScene(0, 0, 1, 1, 1.0)), KVI_MOD_UNKNOWN);
    EXPECT_EQ(filter->getWidth(), 0u);
    std::uint32_t w = 9, h = 9;
    EXPECT_NE(filter->getDimsAtMag(1.0, w, h), KV_OK);
    EXPECT_EQ(filter->getMetadata().getCount(), 0u);
    EXPECT_NE(filter->setStripHeight(8), KV_OK);
    EXPECT_NE(filter->decodeBegin(KVIScene(0, 0, 1, 1, 1.0)), KV_OK);
}

} // namespace
