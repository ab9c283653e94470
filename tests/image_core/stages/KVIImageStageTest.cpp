#include "stages/KVIImageStage.h"
#include "SyntheticImageStage.h"
#include "buffers/KVISceneBuffer.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace Korvel;
using Korvel::KVIRef;
using quarn_test::SyntheticImageStage;

namespace {

struct RecordingProgress : KVIProgressDelegate {
    std::vector<float> told;
    KVStatus answer = KV_OK;
    KVStatus reportProgress(float fraction) override {
        told.push_back(fraction);
        return answer;
    }
};

// Answers `answer` on call number stopAt (counted from 0), KV_OK otherwise.
struct CountingInterrupt : KVIInterruptDelegate {
    int calls = 0;
    int stopAt = -1;
    KVStatus answer = 7;
    KVStatus checkInterrupt() override { return calls++ == stopAt ? answer : KV_OK; }
};

struct ZeroStripStage : SyntheticImageStage {
    using SyntheticImageStage::SyntheticImageStage;
    std::uint32_t getStripHeight() const override { return 0; }
};

TEST(KVIImageStageRead, HundredRowsRunSevenStripsIntoTheirWindows) {
    KVIRef<SyntheticImageStage> stage(new SyntheticImageStage(10, 100));
    RecordingProgress progress;
    stage->setProgressDelegate(&progress);
    // The caller's window sits at (2, 3) of a larger area; nothing outside it may change.
    KVISceneBuffer buffer(KVIPixel(), 14, 104, 2, 3, 10, 100);
    ASSERT_EQ(stage->read(KVIScene(0, 0, 10, 100, 1.0), buffer), KV_OK);

    ASSERT_EQ(stage->stripScenes.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(stage->stripScenes[i].getY(), 16.0 * i);
        EXPECT_EQ(stage->stripScenes[i].getHeight(), i < 6 ? 16.0 : 4.0);
    }
    EXPECT_EQ(stage->decodeBeginCalls, 1);
    EXPECT_EQ(stage->decodeEndCalls, 1);
    const std::vector<float> expected{0.0f, 0.0f, 0.16f, 0.32f, 0.48f, 0.64f, 0.80f, 0.96f, 1.0f};
    ASSERT_EQ(progress.told.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_FLOAT_EQ(progress.told[i], expected[i]) << i;

    const std::uint8_t* area = buffer.getWindowBandData(0) - (3 * 14 + 2);
    for (int y = 0; y < 104; ++y)
        for (int x = 0; x < 14; ++x) {
            const bool inside = x >= 2 && x < 12 && y >= 3 && y < 103;
            const std::uint8_t want =
                inside ? SyntheticImageStage::sampleAs<std::uint8_t>(x - 2, y - 3, 0, 1.0) : 0;
            ASSERT_EQ(area[y * 14 + x], want) << x << "," << y;
        }
}

TEST(KVIImageStageRead, ScaledSceneOfSeveralBandsAndOddStripHeight) {
    KVIRef<SyntheticImageStage> stage(
        new SyntheticImageStage(100, 100, KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16)));
    stage->setMagnification(0.25, 1.0);
    ASSERT_EQ(stage->setStripHeight(7), KV_OK);
    KVISceneBuffer buffer(KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16), 20, 20);
    ASSERT_EQ(stage->read(KVIScene(5, 7, 20, 20, 0.5), buffer), KV_OK);
    EXPECT_EQ(stage->decodeStripCalls, 3);
    for (std::uint16_t band = 0; band < 3; ++band) {
        const auto* samples =
            reinterpret_cast<const std::uint16_t*>(buffer.getWindowBandData(band));
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(samples[y * 20 + x],
                          SyntheticImageStage::sampleAs<std::uint16_t>(5 + x, 7 + y, band, 0.5));
    }
}

TEST(KVIImageStageRead, FailuresStopTheReadAndReadEndStillRuns) {
    KVISceneBuffer buffer(KVIPixel(), 10, 100);
    const KVIScene scene(0, 0, 10, 100, 1.0);
    {
        // An interrupt after the second strip.
        KVIRef<SyntheticImageStage> stage(new SyntheticImageStage(10, 100));
        CountingInterrupt interrupt;
        interrupt.stopAt = 2; // readBegin asks first
        stage->setInterruptDelegate(&interrupt);
        EXPECT_EQ(stage->read(scene, buffer), 7u);
        EXPECT_EQ(stage->decodeStripCalls, 2);
        EXPECT_EQ(stage->decodeEndCalls, 1);
        // readEnd left the stage idle: a strip outside a read is refused.
        EXPECT_EQ(stage->readStrip(buffer, scene), KV_FAILURE);
    }
    {
        // A failing strip wins over readEnd's own status.
        KVIRef<SyntheticImageStage> stage(new SyntheticImageStage(10, 100));
        stage->failStrip = 3;
        stage->stripStatus = 1234;
        stage->endStatus = 99;
        EXPECT_EQ(stage->read(scene, buffer), 1234u);
        EXPECT_EQ(stage->decodeStripCalls, 4);
        EXPECT_EQ(stage->decodeEndCalls, 1);
    }
    {
        // A failed begin has nothing to end; a progress delegate's refusal at the start frees
        // the read state.
        KVIRef<SyntheticImageStage> stage(new SyntheticImageStage(10, 100));
        stage->beginStatus = 55;
        EXPECT_EQ(stage->read(scene, buffer), 55u);
        EXPECT_EQ(stage->decodeEndCalls, 0);
        stage->beginStatus = KV_OK;
        RecordingProgress progress;
        progress.answer = 66;
        stage->setProgressDelegate(&progress);
        EXPECT_EQ(stage->readBegin(scene), 66u);
        EXPECT_EQ(stage->readStrip(buffer, scene), KV_FAILURE);
        EXPECT_EQ(stage->decodeStripCalls, 0);
    }
}

TEST(KVIImageStageRead, ScenesAndBuffersThatDoNotFitAreRefused) {
    KVIRef<SyntheticImageStage> stage(new SyntheticImageStage(10, 100));
    const KVIScene scene(0, 0, 10, 100, 1.0);
    KVISceneBuffer small(KVIPixel(), 10, 99);
    EXPECT_EQ(stage->read(scene, small), KV_SCENE_BUFFER_MISMATCH);
    KVISceneBuffer wide(KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT16), 10, 100);
    EXPECT_EQ(stage->read(scene, wide), KV_PIXEL_DATA_TYPE_MISMATCH);
    EXPECT_EQ(stage->decodeBeginCalls, 0);

    // A strip height of 0 is refused where it is set and where a read would divide by it.
    EXPECT_EQ(stage->setStripHeight(0), KV_BAD_ARGUMENT);
    EXPECT_EQ(stage->getStripHeight(), 16u);
    KVIRef<ZeroStripStage> zero(new ZeroStripStage(10, 100));
    KVISceneBuffer buffer(KVIPixel(), 10, 100);
    EXPECT_EQ(zero->read(scene, buffer), KV_BAD_ARGUMENT);
    EXPECT_EQ(zero->decodeBeginCalls, 0);
}

TEST(KVIImageStageCheck, CheckSceneOutcomes) {
    KVIRef<SyntheticImageStage> stage(new SyntheticImageStage(10, 20));
    EXPECT_EQ(stage->checkScene(KVIScene(0, 0, 10, 20, 1.0)), KV_OK);
    // Less than half a pixel outside rounds back into the image.
    EXPECT_EQ(stage->checkScene(KVIScene(0, 0, 10.3, 20, 1.0)), KV_OK);
    EXPECT_EQ(stage->checkScene(KVIScene(0, 0, 11, 20, 1.0)), KV_SCENE_OUTSIDE_IMAGE);
    EXPECT_EQ(stage->checkScene(KVIScene(10, 0, 5, 20, 1.0)), KV_SCENE_CLIPPED_AWAY);
    EXPECT_EQ(stage->checkScene(KVIScene(0, 0, 10, 20, 2.0)), KV_SCENE_MAG_OUT_OF_RANGE);
    EXPECT_EQ(stage->checkScene(KVIScene(0, 0, 10, 20, std::numeric_limits<double>::quiet_NaN())),
              KV_SCENE_MAG_OUT_OF_RANGE);
}

TEST(KVIImageStageFill, FillsEachBandWithinTheWindow) {
    const KVISample samples[] = {KVISample(KVI_BAND_OTHER, KVI_DATATYPE_UINT8),
                                 KVISample(KVI_BAND_OTHER, KVI_DATATYPE_SINT16),
                                 KVISample(KVI_BAND_OTHER, KVI_DATATYPE_FLOAT64)};
    KVIPixel pixel(KVI_COLORSPACE_MULTIBAND, 3, KVI_DATATYPE_NONE, samples);
    pixel.getSample(0).setUint8(200);
    pixel.getSample(1).setFromDouble(-300);
    pixel.getSample(2).setDouble(0.25);
    KVISceneBuffer area(pixel, 6, 5);
    KVISceneBuffer window(area, 1, 1, 3, 2);
    // The scene is larger than the window: only the window is filled.
    ASSERT_EQ(KVIImageStage::fillWithPixel(KVIScene(0, 0, 9, 9, 1.0), window, pixel), KV_OK);
    const auto* b0 = area.getWindowBandData(0);
    const auto* b1 = reinterpret_cast<const std::int16_t*>(area.getWindowBandData(1));
    const auto* b2 = reinterpret_cast<const double*>(area.getWindowBandData(2));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 4 && y >= 1 && y < 3;
            EXPECT_EQ(b0[y * 6 + x], inside ? 200 : 0);
            EXPECT_EQ(b1[y * 6 + x], inside ? -300 : 0);
            EXPECT_EQ(b2[y * 6 + x], inside ? 0.25 : 0.0);
        }
    KVISceneBuffer untyped(KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_NONE), 2, 2);
    EXPECT_EQ(KVIImageStage::fillWithPixel(KVIScene(0, 0, 2, 2, 1), untyped, pixel),
              KV_UNSUPPORTED_DATA_TYPE);
    EXPECT_EQ(KVIImageStage::fillWithPixel(KVIScene(0, 0, 2, 2, 1), area, KVIPixel()),
              KV_PIXEL_BAND_COUNT_MISMATCH);
}

TEST(KVIImageDescription, BackgroundPixelAndDataSize) {
    KVIRef<SyntheticImageStage> rgba(new SyntheticImageStage(
        640, 480, KVIPixel(KVI_COLORSPACE_RGB | KVI_COLORSPACE_ALPHA, 4, KVI_DATATYPE_UINT8)));
    EXPECT_EQ(rgba->getDataSize(), 640u * 480u * 3u);
    EXPECT_EQ(rgba->getDataType(), KVI_DATATYPE_UINT8);
    auto made = rgba->makeBackgroundPixel();
    EXPECT_EQ(made->getSample(0).getAsDouble(), 0.0);
    EXPECT_EQ(made->getSample(3).getAsDouble(), 255.0);

    KVIRef<SyntheticImageStage> cmyk(
        new SyntheticImageStage(1, 1, KVIPixel(KVI_COLORSPACE_CMYK, 4, KVI_DATATYPE_UINT16)));
    EXPECT_EQ(cmyk->makeBackgroundPixel()->getSample(2).getAsDouble(), 65535.0);
    KVIPixel grey(KVI_COLORSPACE_CMYK, 4, KVI_DATATYPE_UINT16);
    grey.setSampleValuesFromDouble(12);
    ASSERT_EQ(cmyk->setBackgroundPixel(&grey), KV_OK);
    EXPECT_EQ(cmyk->makeBackgroundPixel()->getSample(2).getAsDouble(), 12.0);

    KVIRef<SyntheticImageStage> huge(new SyntheticImageStage(
        0xFFFFFFFFu, 0xFFFFFFFFu, KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_FLOAT64)));
    EXPECT_EQ(huge->getDataSize(), std::numeric_limits<std::uint64_t>::max());
}

} // namespace
