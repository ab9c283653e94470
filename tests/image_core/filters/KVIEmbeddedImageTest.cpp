// The embedded image over the synthetic stage: which reads of the input a canvas read makes,
// its modification flags, and that its strips equal the canvas composed in one piece by the test
// for several strip heights, placements, magnifications and both write paths.

#include "filters/KVIEmbeddedImage.h"
#include "SceneBufferSamples.h"
#include "SyntheticImageStage.h"
#include "buffers/KVISceneBuffer.h"
#include "buffers/PixelHolder.h"
#include "metadata/KVIMetadataAccessor.h"
#include "model/KVIColorSpace.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace Korvel;
using quarn_test::SyntheticImageStage;

namespace {

using Stage = KVIRef<SyntheticImageStage>;
using Embedded = KVIRef<KVIEmbeddedImage>;

const KVIPixel kRgb16(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16);

KVIPixel rgb16(std::uint16_t r, std::uint16_t g, std::uint16_t b) {
    KVIPixel p = kRgb16;
    const std::uint16_t v[] = {r, g, b};
    p.setSampleValuesUint16(v);
    return p;
}

Embedded embed(SyntheticImageStage* input, std::uint32_t w, std::uint32_t h, double x, double y,
               const KVIPixel* background = nullptr, const KVIPixel* noData = nullptr) {
    Embedded e(KVIEmbeddedImage::create());
    EXPECT_EQ(e->initialize(input, w, h, x, y, background, noData), KV_OK);
    return e;
}

std::uint16_t at16(const KVISceneBuffer& b, std::uint16_t band, std::uint32_t x, std::uint32_t y) {
    return quarn_test::sampleAt<std::uint16_t>(b, band, x, y);
}

TEST(KVIEmbeddedImage, AnInputOutsideTheSceneIsNeverRead) {
    const KVIPixel background = rgb16(1, 2, 3);
    const KVIPixel sentinel = rgb16(9, 9, 9);
    for (bool useBackground : {true, false}) {
        Stage input(new SyntheticImageStage(10, 10, kRgb16));
        Embedded e = embed(input.get(), 40, 30, 25, 20, &background);
        e->setUseBackground(useBackground);
        const KVIScene scene(0, 0, 20, 15, 1.0);
        KVISceneBuffer buffer(kRgb16, 20, 15);
        ASSERT_EQ(KVIImageStage::fillWithPixel(scene, buffer, sentinel), KV_OK);
        ASSERT_EQ(e->read(scene, buffer), KV_OK);
        EXPECT_EQ(input->decodeBeginCalls, 0);
        EXPECT_EQ(at16(buffer, 2, 19, 14), useBackground ? 3 : 9);
        EXPECT_EQ(e->getSceneCost(scene), 0);
    }
}

TEST(KVIEmbeddedImage, AnInputStartingInsideAStripIsReadShortThenWhole) {
    Stage input(new SyntheticImageStage(10, 40, kRgb16));
    Embedded e = embed(input.get(), 20, 60, 2, 5);
    ASSERT_EQ(e->setStripHeight(16), KV_OK);
    KVISceneBuffer buffer(kRgb16, 20, 60);
    ASSERT_EQ(e->read(KVIScene(0, 0, 20, 60, 1.0), buffer), KV_OK);
    // Rows 5..15 of the first strip, then rows 16..44 of the canvas in strips of 16.
    ASSERT_EQ(input->beginScenes.size(), 2u);
    EXPECT_EQ(input->beginScenes[0], KVIScene(0, 0, 10, 11, 1.0));
    EXPECT_EQ(input->beginScenes[1], KVIScene(0, 11, 10, 29, 1.0));
    EXPECT_EQ(input->decodeEndCalls, 2);
    EXPECT_EQ(input->decodeStripCalls, 3); // 11 rows, then 16 and 13
    EXPECT_EQ(input->stripScenes[1], KVIScene(0, 11, 10, 16, 1.0));

    // An input inside one strip: one short read.
    Stage small(new SyntheticImageStage(10, 8, kRgb16));
    Embedded inside = embed(small.get(), 20, 60, 2, 3);
    ASSERT_EQ(inside->setStripHeight(16), KV_OK);
    ASSERT_EQ(inside->read(KVIScene(0, 0, 20, 60, 1.0), buffer), KV_OK);
    ASSERT_EQ(small->beginScenes.size(), 1u);
    EXPECT_EQ(small->beginScenes[0], KVIScene(0, 0, 10, 8, 1.0));
    EXPECT_EQ(small->decodeStripCalls, 1);
    EXPECT_EQ(small->decodeEndCalls, 1);
}

TEST(KVIEmbeddedImage, EmbeddedAndCroppedFlags) {
    Stage input(new SyntheticImageStage(10, 10, kRgb16));
    Embedded e = embed(input.get(), 40, 30, 5, 5);
    // The scene reaches canvas beyond the input.
    EXPECT_EQ(e->getModifications(KVIScene(0, 0, 40, 30, 1.0)), KVI_MOD_EMBEDDED);
    EXPECT_EQ(e->getModifications(KVIScene(5, 5, 10, 10, 1.0)), 0u);
    // A part of the input: the input's own CROPPED.
    EXPECT_EQ(e->getModifications(KVIScene(6, 6, 3, 3, 1.0)), KVI_MOD_CROPPED);
    EXPECT_EQ(e->getModifications(KVIScene(6, 0, 3, 30, 1.0)), KVI_MOD_CROPPED | KVI_MOD_EMBEDDED);

    // An input reaching beyond the canvas on both sides: CROPPED where the scene reaches beyond
    // the canvas too; the whole canvas is the input's own CROPPED.
    Stage wide(new SyntheticImageStage(20, 10, kRgb16));
    Embedded both = embed(wide.get(), 15, 10, -3, 0);
    EXPECT_EQ(both->getModifications(KVIScene(-1, 0, 20, 10, 1.0)), KVI_MOD_CROPPED);
    EXPECT_EQ(wide->getModifications(KVIScene(2, 0, 20, 10, 1.0)), 0u);
    EXPECT_EQ(both->getModifications(KVIScene(0, 0, 15, 10, 1.0)), KVI_MOD_CROPPED);

    // Any magnification has dimensions, outside the input's range too.
    std::uint32_t w = 0, h = 0;
    ASSERT_EQ(e->getDimsAtMag(0.25, w, h), KV_OK);
    EXPECT_EQ(w, 10u);
    EXPECT_EQ(h, 8u);
    ASSERT_EQ(e->getDimsAtMag(3.0, w, h), KV_OK);
    EXPECT_EQ(w, 120u);
}

TEST(KVIEmbeddedImage, CroppedAndEmbeddedBelowMagnificationOneAreThoseOfTheSameGround) {
    // Canvas, input and scene compared in whole pixels at the scene's magnification: a scene of
    // some ground at 1/2 or 1/4 has the flags of the same ground at 1.0 (all placed on a grid of
    // 4 pixels, so that every bound is whole at each magnification). The reference, at 1.0 and
    // per side: CROPPED where the input and the scene both reach beyond the canvas, or where
    // the scene holds less than the input; EMBEDDED where the canvas and the scene both reach
    // beyond the input.
    std::mt19937 random(11);
    const auto grid = [&](int low, int high) { return 4 * (low + int(random() % (high - low))); };
    const std::uint32_t placement = KVI_MOD_CROPPED | KVI_MOD_EMBEDDED;
    for (int round = 0; round < 300; ++round) {
        const int W = grid(2, 12), H = grid(2, 12), w = grid(1, 10), h = grid(1, 10);
        const int x = grid(-4, 10), y = grid(-4, 10);
        const int sx = grid(-3, 8), sy = grid(-3, 8), sw = grid(1, 12), sh = grid(1, 12);
        Stage input(new SyntheticImageStage(std::uint32_t(w), std::uint32_t(h), kRgb16));
        ASSERT_EQ(input->setMagnification(0.25, 1.0), KV_OK);
        Embedded e = embed(input.get(), std::uint32_t(W), std::uint32_t(H), x, y);
        const auto sides = [](int canvasEnd, int start, int end, int sceneStart, int sceneEnd,
                              std::uint32_t& mask) {
            if ((0 > start && 0 > sceneStart) || (canvasEnd < end && canvasEnd < sceneEnd))
                mask |= KVI_MOD_CROPPED;
            if ((0 < start && sceneStart < start) || (canvasEnd > end && sceneEnd > end))
                mask |= KVI_MOD_EMBEDDED;
        };
        std::uint32_t want = sw < w || sh < h ? KVI_MOD_CROPPED : 0;
        sides(W, x, x + w, sx, sx + sw, want);
        sides(H, y, y + h, sy, sy + sh, want);
        for (const double mag : {1.0, 0.5, 0.25}) {
            const KVIScene scene(sx * mag, sy * mag, sw * mag, sh * mag, mag);
            ASSERT_EQ(e->getModifications(scene) & placement, want)
                << "round " << round << " at magnification " << mag;
        }
    }
}

// The canvas composed in one piece: the background (or the sentinel), then the input's pixels
// at their offset, except where an input pixel equals the no-data pixel.
void expectComposition(const KVISceneBuffer& got, const KVIScene& scene, double x, double y,
                       std::uint32_t inW, std::uint32_t inH, const KVIPixel& under,
                       const KVIPixel* noData) {
    const double mag = scene.getMagnification();
    const std::int64_t offX = std::int64_t(std::floor(mag * x + 0.5));
    const std::int64_t offY = std::int64_t(std::floor(mag * y + 0.5));
    const std::int64_t w = std::int64_t(std::ceil(inW * mag)),
                       h = std::int64_t(std::ceil(inH * mag));
    for (std::int32_t r = 0; r < scene.getNumRows(); ++r)
        for (std::int32_t c = 0; c < scene.getNumCols(); ++c) {
            const std::int64_t ix = scene.getUpperLeftCol() + c - offX;
            const std::int64_t iy = scene.getUpperLeftRow() + r - offY;
            bool inside = ix >= 0 && iy >= 0 && ix < w && iy < h;
            std::uint16_t want[3];
            for (std::uint16_t b = 0; b < 3; ++b)
                want[b] = inside ? SyntheticImageStage::sampleAs<std::uint16_t>(ix, iy, b, mag)
                                 : *static_cast<const std::uint16_t*>(under.getSampleValueAddr(b));
            if (inside && noData != nullptr) {
                bool all = true;
                for (std::uint16_t b = 0; b < 3; ++b)
                    all = all && want[b] == *static_cast<const std::uint16_t*>(
                                                noData->getSampleValueAddr(b));
                if (all)
                    for (std::uint16_t b = 0; b < 3; ++b)
                        want[b] = *static_cast<const std::uint16_t*>(under.getSampleValueAddr(b));
            }
            for (std::uint16_t b = 0; b < 3; ++b)
                ASSERT_EQ(at16(got, b, std::uint32_t(c), std::uint32_t(r)), want[b])
                    << "col " << c << " row " << r << " band " << b;
        }
}

TEST(KVIEmbeddedImage, StripsEqualTheCanvasComposedInOnePiece) {
    const KVIPixel background = rgb16(1, 2, 3);
    const KVIPixel sentinel = rgb16(7, 7, 7);
    // A no-data pixel that the synthetic input holds at several places.
    KVIPixel noData = kRgb16;
    for (std::uint16_t b = 0; b < 3; ++b) {
        const auto v = SyntheticImageStage::sampleAs<std::uint16_t>(4, 1, b, 1.0);
        noData.setSampleValueFromBytes(b, &v);
    }
    PixelHolder shared(kRgb16);
    const double places[][2] = {{0, 0}, {3.4, 7.6}, {-2.3, 5.5}, {12.5, -4.49}, {30, 1}};
    const std::uint32_t heights[] = {1, 3, 16, 64};
    const double mags[] = {1.0, 0.5, 0.25};
    int cases = 0;
    for (const auto& place : places)
        for (std::uint32_t height : heights)
            for (double mag : mags)
                for (int variant = 0; variant < 3; ++variant) {
                    SCOPED_TRACE(testing::Message() << place[0] << "," << place[1] << " strip "
                                                    << height << " mag " << mag << " v" << variant);
                    Stage input(new SyntheticImageStage(17, 23, kRgb16));
                    input->setMagnification(0.125, 1.0);
                    // Variant 1: an input with a no-data pixel, merged through the shared
                    // holder; variant 2: no background, the caller's pixels left alone.
                    const bool useNoData = variant == 1;
                    const bool useBackground = variant != 2;
                    Embedded e(KVIEmbeddedImage::create());
                    if (useNoData) {
                        ASSERT_EQ(input->setNoDataPixel(&noData), KV_OK);
                        ASSERT_EQ(e->setFillHolder(&shared), KV_OK);
                    }
                    ASSERT_EQ(e->initialize(input.get(), 37, 41, place[0], place[1],
                                            useBackground ? &background : nullptr, nullptr),
                              KV_OK);
                    ASSERT_EQ(e->setStripHeight(height), KV_OK);
                    std::uint32_t w = 0, h = 0;
                    ASSERT_EQ(e->getDimsAtMag(mag, w, h), KV_OK);
                    // The whole canvas, and a part of it.
                    for (const KVIScene& scene :
                         {KVIScene(0, 0, w, h, mag), KVIScene(2, 3, w - 5, h - 4, mag)}) {
                        KVISceneBuffer got(kRgb16, w, h);
                        ASSERT_EQ(KVIImageStage::fillWithPixel(scene, got, sentinel), KV_OK);
                        ASSERT_EQ(e->read(scene, got), KV_OK);
                        expectComposition(got, scene, place[0], place[1], 17, 23,
                                          useBackground ? background : sentinel,
                                          useNoData ? &noData : nullptr);
                        ++cases;
                    }
                    // Every input read that began has ended.
                    EXPECT_EQ(input->decodeBeginCalls, input->decodeEndCalls);
                }
    EXPECT_GT(cases, 300);
    // The shared holder served the merges and is not the embedded images' to free.
    EXPECT_GT(shared.getBand(0).getCapacity(), 0u);
}

TEST(KVIEmbeddedImage, InitialiseChecksPixelsAndPlacesTheGeoCoordinate) {
    Stage input(new SyntheticImageStage(10, 10, kRgb16));
    input->setGeoCoord(KVIGeoCoord(100.0, 200.0, 2.0, -3.0, 0.0, 0.0));
    Embedded e(KVIEmbeddedImage::create());
    const KVIPixel grey(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT16);
    EXPECT_EQ(e->initialize(input.get(), 40, 30, 4, 5, &grey, nullptr),
              KV_PIXEL_BAND_COUNT_MISMATCH);
    Embedded ok = embed(input.get(), 40, 30, 4, 5);
    EXPECT_DOUBLE_EQ(ok->getGeoCoord().getX(), 92.0);
    EXPECT_DOUBLE_EQ(ok->getGeoCoord().getY(), 215.0);
    EXPECT_EQ(ok->getRowOffset(0.5), 3); // floor(2.5 + 0.5)
    EXPECT_EQ(ok->getBackgroundPixel(), nullptr);
}

} // namespace
