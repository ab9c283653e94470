// The mosaic filter over managers of synthetic stages: its layout (canvas, resolutions, pixel,
// metadata), which images a scene lists, its flags and cost, the release of unused images, the
// overview stage, that its reads equal the test's own composition of the images, and that a
// manager of 250,000 images opens and answers in memory bounded per image.

#include "filters/KVIMosaicFilter.h"
#include "HeapProbe.h"
#include "SceneBufferSamples.h"
#include "SyntheticImageStage.h"
#include "buffers/KVISceneBuffer.h"
#include "filters/KVIMultiResFilter.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "model/KVIColorSpace.h"
#include "stages/KVIImageStageManager.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

using namespace Korvel;
using quarn_test::SyntheticImageStage;

namespace {

const KVIPixel kRgb16(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16);

struct ImageSpec {
    std::uint32_t width, height;
    double x, y; // geo origin
    double xRes = 1.0, yRes = -1.0;
    const char* name = nullptr;
    KVIPixel pixel = kRgb16;
    double minMag = 0.125, maxMag = 1.0;
};

// A manager whose image i is a synthetic stage described by a function of i.
class SpecManager : public KVIImageStageManager {
public:
    using KVIImageStageManager::getImageStage;
    SpecManager(std::uint32_t n, std::function<ImageSpec(std::uint32_t)> spec)
        : spec_(std::move(spec)) {
        setNumImages(n);
    }
    explicit SpecManager(std::vector<ImageSpec> specs)
        : SpecManager(std::uint32_t(specs.size()), [specs](std::uint32_t i) { return specs[i]; }) {}

    static SyntheticImageStage* make(const ImageSpec& s) {
        auto* stage = new SyntheticImageStage(s.width, s.height, s.pixel);
        stage->setMagnification(s.minMag, s.maxMag);
        stage->setGeoCoord(KVIGeoCoord(s.x, s.y, s.xRes, s.yRes, 0, 0));
        if (s.name != nullptr) {
            KVIMetadataDatabase db;
            KVIMetadataAccessor(db).setInputName(s.name);
            KVIMetadataAccessor(db).setInputFileSize(100.0);
            stage->setMetadata(&db);
        }
        return stage;
    }
    KVStatus getImageStage(std::uint32_t i, KVIImageStage*& stage) override {
        ++created;
        if (sampleHeap) peakHeap = std::max(peakHeap, quarn_test::heapInUse());
        stage = i < getNumImages() ? make(spec_(i)) : nullptr;
        return stage != nullptr ? KV_OK : KV_BAD_ARGUMENT;
    }
    KVStatus getOverviewImageStage(KVIImageStage*& stage) override {
        stage = overview ? make(*overview) : nullptr;
        return KV_OK;
    }

    int created = 0;
    std::optional<ImageSpec> overview;
    // The most heap in use when a stage was asked for, while sampleHeap is set.
    bool sampleHeap = false;
    std::uint64_t peakHeap = 0;

private:
    std::function<ImageSpec(std::uint32_t)> spec_;
};

using Mosaic = KVIRef<KVIMosaicFilter>;
using Manager = KVIRef<SpecManager>;

Mosaic open(SpecManager* manager, bool allowDifferent = true, KVStatus want = KV_OK) {
    Mosaic mosaic(KVIMosaicFilter::create());
    EXPECT_EQ(mosaic->initialize(manager, nullptr, allowDifferent), want);
    return mosaic;
}

std::uint16_t at16(const KVISceneBuffer& b, std::uint16_t band, std::uint32_t x, std::uint32_t y) {
    return quarn_test::sampleAt<std::uint16_t>(b, band, x, y);
}

TEST(KVIMosaicFilter, ImagesSharingAnEdgeAndTheMosaickedFlag) {
    // Two 10 x 16 images stacked: rows 0..15 and 16..31 of the canvas.
    Manager manager(new SpecManager({{10, 16, 0, 32}, {10, 16, 0, 16}}));
    Mosaic mosaic = open(manager.get());
    EXPECT_EQ(mosaic->getWidth(), 10u);
    EXPECT_EQ(mosaic->getHeight(), 32u);
    EXPECT_EQ(mosaic->getNumBuiltImages(), 0u);
    // A strip just below the shared edge touches image 0 only along the edge.
    EXPECT_EQ(mosaic->getModifications(KVIScene(0, 16, 10, 16, 1.0)), 0u);
    EXPECT_EQ(mosaic->getModifications(KVIScene(0, 0, 10, 16, 1.0)), 0u);
    // Two images, each with canvas beyond it in the scene.
    const std::uint32_t both = KVI_MOD_MOSAICKED | KVI_MOD_EMBEDDED;
    EXPECT_EQ(mosaic->getModifications(KVIScene(0, 8, 10, 16, 1.0)), both);
    EXPECT_EQ(mosaic->getModifications(KVIScene(0, 0, 10, 32, 1.0)), both);
    EXPECT_EQ(mosaic->getModifications(KVIScene(0, 0, 5, 16, 1.0)), KVI_MOD_CROPPED);
    // Queries build each chain for the moment only.
    EXPECT_EQ(mosaic->getNumBuiltImages(), 0u);

    const int before = manager->created;
    KVISceneBuffer strip(kRgb16, 10, 16);
    ASSERT_EQ(mosaic->read(KVIScene(0, 16, 10, 16, 1.0), strip), KV_OK);
    EXPECT_EQ(manager->created, before + 1); // image 1 alone
    EXPECT_EQ(at16(strip, 0, 3, 2), SyntheticImageStage::sampleAs<std::uint16_t>(3, 2, 0, 1.0));

    // A geo coordinate given later (a world file) moves what the mosaic reports, not its images.
    ASSERT_EQ(mosaic->setGeoCoord(KVIGeoCoord(1000, 1000, 2, -2, 0, 0)), KV_OK);
    KVISceneBuffer again(kRgb16, 10, 16);
    ASSERT_EQ(mosaic->read(KVIScene(0, 16, 10, 16, 1.0), again), KV_OK);
    EXPECT_EQ(at16(again, 0, 3, 2), SyntheticImageStage::sampleAs<std::uint16_t>(3, 2, 0, 1.0));
    EXPECT_EQ(mosaic->getModifications(KVIScene(0, 16, 10, 16, 1.0)), 0u);
}

TEST(KVIMosaicFilter, ResolutionsAllowedOrRefused) {
    const ImageSpec fine{20, 10, 0, 10};
    ImageSpec coarse{10, 5, 20, 10, 2.0, -2.0};
    {
        Manager manager(new SpecManager({fine, coarse}));
        Mosaic mosaic = open(manager.get());
        EXPECT_EQ(mosaic->getWidth(), 40u);
        EXPECT_EQ(mosaic->getHeight(), 10u);
        EXPECT_DOUBLE_EQ(mosaic->getGeoCoord().getXRes(), 1.0);
        EXPECT_DOUBLE_EQ(mosaic->getMinMagnification(), 0.0625);
        EXPECT_DOUBLE_EQ(mosaic->getMaxMagnification(), 2.0);
        // The coarse image is resampled: SCALED.
        EXPECT_EQ(mosaic->getModifications(KVIScene(20, 0, 20, 10, 1.0)), KVI_MOD_SCALED);
    }
    Manager refusedX(new SpecManager({fine, coarse}));
    open(refusedX.get(), false, KV_MOSAIC_X_RESOLUTION);
    coarse.xRes = 1.0;
    coarse.width = 20;
    Manager refusedY(new SpecManager({fine, coarse}));
    open(refusedY.get(), false, KV_MOSAIC_Y_RESOLUTION);
    // Half a pixel over an image's size is the limit.
    ImageSpec near{100, 10, 0, 10, 1.004};
    Manager nearOk(new SpecManager({{100, 10, 0, 10}, near}));
    open(nearOk.get(), false, KV_OK);
    near.xRes = 1.006;
    Manager nearRefused(new SpecManager({{100, 10, 0, 10}, near}));
    open(nearRefused.get(), false, KV_MOSAIC_X_RESOLUTION);
    // Signs must agree whatever is allowed.
    ImageSpec flipped = fine;
    flipped.yRes = 1.0;
    Manager signs(new SpecManager({fine, flipped}));
    open(signs.get(), true, KV_MOSAIC_Y_RESOLUTION);
    // No image, or an incompatible one.
    Manager none(new SpecManager(std::vector<ImageSpec>{}));
    open(none.get(), true, KV_NOT_AVAILABLE);
    ImageSpec grey = fine;
    grey.pixel = KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT16);
    Manager mixed(new SpecManager({fine, grey}));
    open(mixed.get(), true, KV_PIXEL_BAND_COUNT_MISMATCH);
}

TEST(KVIMosaicFilter, MetadataPixelAndBackground) {
    ImageSpec a{10, 10, 0, 10}, b{10, 10, 10, 10}, c{10, 10, 20, 10};
    a.name = "north.qrn";
    c.name = "south.qrn";
    Manager named(new SpecManager({a, b, c}));
    Mosaic mosaic = open(named.get());
    const char* text = nullptr;
    KVIMetadataAccessor accessor(mosaic->getMetadata());
    ASSERT_EQ(accessor.getInputName(text), KV_OK);
    EXPECT_STREQ(text, "north.qrn, south.qrn");
    double size = 0;
    ASSERT_EQ(accessor.getInputFileSize(size), KV_OK);
    EXPECT_EQ(size, 200.0);
    std::uint32_t mods = 7;
    ASSERT_EQ(accessor.getModifications(mods), KV_OK);
    EXPECT_EQ(mods, 0u);

    // An unnamed last image leaves the separator; an image with alpha adds an alpha band, which
    // the data size does not count and the background leaves transparent.
    b.name = "middle.qrn";
    c.name = nullptr;
    c.pixel = KVIPixel(KVI_COLORSPACE_RGB | KVI_COLORSPACE_ALPHA, 4, KVI_DATATYPE_UINT16);
    Manager lastUnnamed(new SpecManager({a, b, c}));
    Mosaic withAlpha = open(lastUnnamed.get());
    ASSERT_EQ(KVIMetadataAccessor(withAlpha->getMetadata()).getInputName(text), KV_OK);
    EXPECT_STREQ(text, "north.qrn, middle.qrn, ");
    EXPECT_EQ(withAlpha->getPixelProps().getNumBands(), 4u);
    EXPECT_TRUE(withAlpha->getPixelProps().hasAlpha());
    EXPECT_EQ(withAlpha->getDataSize(), 30u * 10u * 6u);
    ASSERT_NE(withAlpha->getBackgroundPixel(), nullptr);
    EXPECT_EQ(
        *static_cast<const std::uint16_t*>(withAlpha->getBackgroundPixel()->getSampleValueAddr(3)),
        0);
    // Reading composites the images without alpha as opaque.
    KVISceneBuffer buffer(withAlpha->getPixelProps(), 30, 10);
    ASSERT_EQ(withAlpha->read(KVIScene(0, 0, 30, 10, 1.0), buffer), KV_OK);
    EXPECT_EQ(at16(buffer, 0, 12, 3), SyntheticImageStage::sampleAs<std::uint16_t>(2, 3, 0, 1.0));
    EXPECT_EQ(at16(buffer, 3, 12, 3), 65535);
}

// The canvas composed by the test: each image's pixels (read whole through a multi-resolution
// filter of its own when its resolution differs) pasted at its offset in ascending order.
std::vector<std::uint16_t> compose(const std::vector<ImageSpec>& specs, KVIMosaicFilter& mosaic,
                                   const KVIScene& scene) {
    const double mag = scene.getMagnification();
    const KVIGeoCoord geo = mosaic.getGeoCoord();
    const auto cols = std::uint32_t(scene.getNumCols()), rows = std::uint32_t(scene.getNumRows());
    std::vector<std::uint16_t> out(std::size_t(cols) * rows * 3);
    const KVIPixel* background = mosaic.getBackgroundPixel();
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = *static_cast<const std::uint16_t*>(
            background->getSampleValueAddr(std::uint16_t(i % 3)));
    for (const ImageSpec& s : specs) {
        KVIRef<SyntheticImageStage> stage(SpecManager::make(s));
        KVIRef<KVIMultiResFilter> scaled(KVIMultiResFilter::create());
        scaled->setScale(s.xRes / geo.getXRes(), s.yRes / geo.getYRes());
        EXPECT_EQ(scaled->initialize(stage.get(), 1.0, mosaic.getMinMagnification(),
                                     mosaic.getMaxMagnification()),
                  KV_OK);
        std::uint32_t w = 0, h = 0;
        EXPECT_EQ(scaled->getDimsAtMag(mag, w, h), KV_OK);
        KVISceneBuffer image(kRgb16, w, h);
        EXPECT_EQ(scaled->read(KVIScene(0, 0, w, h, mag), image), KV_OK);
        const auto offX = std::int64_t(std::floor(mag * (s.x - geo.getX()) / geo.getXRes() + 0.5));
        const auto offY = std::int64_t(std::floor(mag * (s.y - geo.getY()) / geo.getYRes() + 0.5));
        for (std::uint32_t r = 0; r < rows; ++r)
            for (std::uint32_t c = 0; c < cols; ++c) {
                const std::int64_t ix = scene.getUpperLeftCol() + c - offX;
                const std::int64_t iy = scene.getUpperLeftRow() + r - offY;
                if (ix < 0 || iy < 0 || ix >= w || iy >= h) continue;
                for (std::uint16_t b = 0; b < 3; ++b)
                    out[(std::size_t(r) * cols + c) * 3 + b] =
                        at16(image, b, std::uint32_t(ix), std::uint32_t(iy));
            }
    }
    return out;
}

TEST(KVIMosaicFilter, ReadsEqualTheTestsOwnComposition) {
    // Overlapping images (the higher index on top), one apart, one coarser by 2 or not.
    for (bool differing : {false, true}) {
        std::vector<ImageSpec> specs{
            {30, 20, 0, 40}, {25, 25, 20, 30}, {20, 16, -10, 25}, {12, 12, 50, 12}};
        if (differing) specs[2] = ImageSpec{10, 8, -10, 25, 2.0, -2.0};
        for (std::uint32_t mode : {0u, 1u})
            for (std::uint32_t stripHeight : {1u, 5u, 16u, 64u})
                for (double mag : {1.0, 0.5, 0.25}) {
                    SCOPED_TRACE(testing::Message() << "differing " << differing << " mode " << mode
                                                    << " strip " << stripHeight << " mag " << mag);
                    Manager manager(new SpecManager(specs));
                    Mosaic mosaic = open(manager.get());
                    ASSERT_EQ(mosaic->getWidth(), 72u);
                    ASSERT_EQ(mosaic->getHeight(), 40u);
                    mosaic->setMergeMode(mode);
                    ASSERT_EQ(mosaic->setStripHeight(stripHeight), KV_OK);
                    std::uint32_t w = 0, h = 0;
                    ASSERT_EQ(mosaic->getDimsAtMag(mag, w, h), KV_OK);
                    for (const KVIScene& scene :
                         {KVIScene(0, 0, w, h, mag), KVIScene(3, 2, w / 2, h - 3, mag)}) {
                        KVISceneBuffer got(kRgb16, w, h);
                        ASSERT_EQ(mosaic->read(scene, got), KV_OK);
                        const std::vector<std::uint16_t> want = compose(specs, *mosaic, scene);
                        for (std::uint32_t r = 0; r < std::uint32_t(scene.getNumRows()); ++r)
                            for (std::uint32_t c = 0; c < std::uint32_t(scene.getNumCols()); ++c)
                                for (std::uint16_t b = 0; b < 3; ++b)
                                    ASSERT_EQ(
                                        at16(got, b, c, r),
                                        want[(std::size_t(r) * scene.getNumCols() + c) * 3 + b])
                                        << "col " << c << " row " << r;
                    }
                }
    }
}

// Counts the synthetic stages alive after each strip.
struct LiveCounter : KVIProgressDelegate {
    int most = 0;
    KVStatus reportProgress(float) override {
        most = std::max(most, SyntheticImageStage::liveInstances());
        return KV_OK;
    }
};

TEST(KVIMosaicFilter, ImagesTheReadLeftBehindAreReleased) {
    // 20 images of 8 rows stacked; a read in strips of 8 holds at most two at a time.
    auto stack = [](std::uint32_t i) { return ImageSpec{16, 8, 0, 160.0 - 8 * i}; };
    const int alive = SyntheticImageStage::liveInstances();
    for (bool release : {true, false}) {
        Manager manager(new SpecManager(20, stack));
        Mosaic mosaic(KVIMosaicFilter::create());
        mosaic->setReleaseUnusedImages(release);
        ASSERT_EQ(mosaic->initialize(manager.get(), nullptr, true), KV_OK);
        ASSERT_EQ(mosaic->setStripHeight(8), KV_OK);
        LiveCounter counter;
        mosaic->setProgressDelegate(&counter);
        KVISceneBuffer buffer(kRgb16, 16, 160);
        ASSERT_EQ(mosaic->read(KVIScene(0, 0, 16, 160, 1.0), buffer), KV_OK);
        if (release)
            EXPECT_LE(counter.most - alive, 2);
        else
            EXPECT_EQ(mosaic->getNumBuiltImages(), 20u);
        EXPECT_EQ(manager->created, 20 + 20);
    }
    EXPECT_EQ(SyntheticImageStage::liveInstances(), alive);
}

TEST(KVIMosaicFilter, SceneCostIsTheSmallerOfItsOwnAndTheImagesSum) {
    Manager manager(new SpecManager({{10, 10, 0, 10}, {10, 10, 30, 10}}));
    Mosaic mosaic = open(manager.get());
    EXPECT_EQ(mosaic->getSceneCost(KVIScene(12, 0, 10, 10, 1.0)), 0); // between the images
    // 40 x 10 x 6 bytes own; each image 10 x 10 x 6 = 600 bytes: 0 kB each.
    EXPECT_EQ(mosaic->getSceneCost(KVIScene(0, 0, 40, 10, 1.0)), 0);
    Manager big(new SpecManager({{100, 100, 0, 100}, {100, 100, 300, 100}}));
    Mosaic large = open(big.get());
    // Own 400 x 100 x 6 / 1024 = 234; the images 58 each.
    EXPECT_EQ(large->getSceneCost(KVIScene(0, 0, 400, 100, 1.0)), 116);
    EXPECT_EQ(large->getSceneCost(KVIScene(0, 0, 150, 100, 1.0)), 58);
    KVIScene clipped;
    EXPECT_FALSE(large->clipScene(KVIScene(0, 0, 10, 10, 1.0), clipped));
}

TEST(KVIMosaicFilter, ReadsAtTheOverviewsScaleGoToIt) {
    Manager manager(new SpecManager({{64, 32, 0, 32}, {64, 32, 64, 32}}));
    // An overview 8 times coarser in x and 4 times in y: it serves reads at or below
    // 1 / sqrt(32).
    manager->overview = ImageSpec{16, 8, 0, 32, 8.0, -4.0};
    manager->overview->minMag = manager->overview->maxMag = 1.0;
    Mosaic mosaic = open(manager.get());
    EXPECT_DOUBLE_EQ(mosaic->getMinMagnification(), 0.125);
    const int before = manager->created;
    KVISceneBuffer small(kRgb16, 16, 4);
    ASSERT_EQ(mosaic->read(KVIScene(0, 0, 16, 4, 0.125), small), KV_OK);
    EXPECT_EQ(manager->created, before);
    // Overview row 2r and column c (steps 1 and 2 at its own magnification 1).
    EXPECT_EQ(at16(small, 1, 3, 1), SyntheticImageStage::sampleAs<std::uint16_t>(3, 2, 1, 1.0));
    // Above it the images answer.
    KVISceneBuffer full(kRgb16, 128, 32);
    ASSERT_EQ(mosaic->read(KVIScene(0, 0, 128, 32, 1.0), full), KV_OK);
    EXPECT_EQ(manager->created, before + 2);
}

TEST(KVIMosaicFilter, AQuarterMillionImagesOpenInMemoryBoundedPerImage) {
    // 4 x 4 grey images in a 500 x 500 grid.
    constexpr std::uint32_t kSide = 500, kImages = kSide * kSide;
    auto grid = [](std::uint32_t i) {
        ImageSpec s{4, 4, 4.0 * (i % kSide), 2000.0 - 4.0 * (i / kSide)};
        s.pixel = KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8);
        s.minMag = s.maxMag = 1.0;
        return s;
    };
    Manager manager(new SpecManager(kImages, grid));
    const std::uint64_t before = quarn_test::heapInUse();
    manager->sampleHeap = true;
    Mosaic mosaic(KVIMosaicFilter::create());
    ASSERT_EQ(mosaic->initialize(manager.get(), nullptr, true), KV_OK);
    const std::uint64_t opened = quarn_test::heapInUse() - before;
    const std::uint64_t openPeak = manager->peakHeap - before;
    EXPECT_EQ(mosaic->getWidth(), 2000u);
    EXPECT_EQ(mosaic->getHeight(), 2000u);
    EXPECT_EQ(mosaic->getNumBuiltImages(), 0u);
    EXPECT_EQ(mosaic->getIndex().getCount(), kImages);
    // The index and a few words per image; no stage is kept.
    EXPECT_LT(opened, std::uint64_t{kImages} * 160) << opened;
    EXPECT_LT(openPeak, std::uint64_t{kImages} * 200) << openPeak;
    std::cout << "[ figures  ] 250,000 images: " << opened / kImages << " bytes per image held, "
              << openPeak / kImages << " at most while opening" << std::endl;

    const KVIScene full(0, 0, 2000, 2000, 1.0);
    EXPECT_EQ(mosaic->getModifications(full), KVI_MOD_MOSAICKED | KVI_MOD_EMBEDDED);
    EXPECT_EQ(mosaic->getSceneCost(full), 0); // each image's 16 bytes round down to 0 kB
    EXPECT_EQ(mosaic->getNumBuiltImages(), 0u);
    // One chain at a time beyond what the mosaic holds.
    EXPECT_LT(manager->peakHeap - before, std::max(openPeak, opened) + 4096);
    EXPECT_LT(quarn_test::heapInUse() - before, opened + 4096);
    EXPECT_EQ(mosaic->getDataSize(), 4000000u);
}

} // namespace
