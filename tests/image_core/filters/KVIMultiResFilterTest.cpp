// The multi-resolution filter over the synthetic stage: its read modes, its description, that
// its strips equal a resampling of the whole input scene in one piece, and that its memory is
// bounded by its strip records whatever the size of the input.

#include "filters/KVIMultiResFilter.h"
#include "HeapProbe.h"
#include "ResampleReference.h"
#include "SyntheticImageStage.h"
#include "buffers/KVISceneBuffer.h"
#include "filters/KVIResampler.h"
#include "metadata/KVIMetadataAccessor.h"
#include "model/KVIDataTypeDispatch.h"
#include "support/KVIRef.h"
#include "support/KVMagnification.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace Korvel;
using quarn_test::SyntheticImageStage;

namespace {

using Filter = KVIRef<KVIMultiResFilter>;
using Stage = KVIRef<SyntheticImageStage>;

Filter makeFilter(SyntheticImageStage* input, double scaleX, double scaleY,
                  std::uint32_t method = KVI_RESAMPLE_NEAREST, double minMag = 1.0,
                  double maxMag = 1.0) {
    Filter filter(KVIMultiResFilter::create());
    filter->setScale(scaleX, scaleY);
    EXPECT_EQ(filter->initialize(input, 1.0, minMag, maxMag), KV_OK);
    EXPECT_EQ(filter->setResampleMethod(method), KV_OK);
    return filter;
}

KVIScene wholeScene(const KVIImage& image, double mag = 1.0) {
    std::uint32_t w = 0, h = 0;
    EXPECT_EQ(image.getDimsAtMag(mag, w, h), KV_OK);
    return KVIScene(0, 0, w, h, mag);
}

bool sameBands(const KVISceneBuffer& a, const KVISceneBuffer& b) {
    for (std::uint16_t band = 0; band < a.getNumBands(); ++band)
        if (std::memcmp(a.getWindowBandData(band), b.getWindowBandData(band),
                        a.getWindowSize() * a.getBytesPerSample(band)) != 0)
            return false;
    return true;
}

// Whether the scene read from strip `first` on (readBeginAt), each strip at its rows, gives the
// rows of `want` from there.
bool resumedReadMatches(KVIImageStage& stage, const KVIScene& scene, std::uint32_t first,
                        const KVISceneBuffer& want) {
    KVISceneBuffer got(want.getPixelProps(), want.getWindowWidth(), want.getWindowHeight());
    if (stage.readBeginAt(scene, first) != KV_OK) return false;
    const std::uint32_t height = stage.getStripHeight();
    KVStatus status = KV_OK;
    for (std::uint32_t k = first; status == KV_OK && stage.getStripScene(k).getNumRows() > 0; ++k) {
        const KVIScene strip = stage.getStripScene(k);
        KVISceneBuffer window(got, 0, k * height, std::uint32_t(strip.getNumCols()),
                              std::uint32_t(strip.getNumRows()));
        status = stage.readStrip(window, strip);
    }
    if (stage.readEnd() != KV_OK || status != KV_OK) return false;
    // Both whole buffers: their rows follow one another.
    for (std::uint16_t band = 0; band < want.getNumBands(); ++band) {
        const std::size_t row = std::size_t{want.getWindowWidth()} * want.getBytesPerSample(band);
        if (std::memcmp(got.getWindowBandData(band) + first * height * row,
                        want.getWindowBandData(band) + first * height * row,
                        (want.getWindowHeight() - first * height) * row) != 0)
            return false;
    }
    return true;
}

// --- read modes --------------------------------------------------------------------------------

TEST(KVIMultiResFilter, ScaleOneCopiesTheInputsStrips) {
    const KVIPixel rgb(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16);
    Stage input(new SyntheticImageStage(40, 30, rgb));
    Filter filter = makeFilter(input.get(), 1.0, 1.0);
    const KVIScene scene = wholeScene(*filter);
    KVISceneBuffer got(rgb, 40, 30);
    ASSERT_EQ(filter->read(scene, got), KV_OK);
    EXPECT_EQ(filter->getReadMode(), KVIMultiResFilter::kCopy);
    ASSERT_EQ(input->beginScenes.size(), 1u);
    EXPECT_EQ(input->beginScenes[0], scene);
    EXPECT_EQ(input->decodeStripCalls, 2);
    EXPECT_EQ(filter->getModifications(scene) & KVI_MOD_SCALED, 0u);

    KVISceneBuffer want(rgb, 40, 30);
    ASSERT_EQ(input->read(scene, want), KV_OK);
    EXPECT_TRUE(sameBands(got, want));
    ASSERT_EQ(filter->setStripHeight(7), KV_OK);
    EXPECT_TRUE(resumedReadMatches(*filter, scene, 3, want));
}

TEST(KVIMultiResFilter, NearlyOneStillCopiesUnlessTheInputClipsTheScene) {
    Stage input(new SyntheticImageStage(40, 30));
    Filter filter = makeFilter(input.get(), 1.0 + 0.3 / 40, 1.0 + 0.3 / 30);
    EXPECT_EQ(filter->getWidth(), 41u); // 40.3 rounded up
    std::uint32_t mode = 0;
    double stepX = 0, stepY = 0;
    KVIScene inputScene;
    ASSERT_TRUE(
        filter->chooseReadMode(KVIScene(0, 0, 20, 15, 1.0), mode, stepX, stepY, inputScene));
    EXPECT_EQ(mode, KVIMultiResFilter::kCopy);
    EXPECT_LT(std::abs(stepX - 1.0), 1.0 / 20);
    // The whole filter reaches past the input: clipped, so resampled.
    ASSERT_TRUE(filter->chooseReadMode(wholeScene(*filter), mode, stepX, stepY, inputScene));
    EXPECT_EQ(mode, KVIMultiResFilter::kResample);
    EXPECT_EQ(inputScene, KVIScene(0, 0, 40, 30, 1.0));
    EXPECT_NE(filter->getModifications(wholeScene(*filter)) & KVI_MOD_SCALED, 0u);
}

TEST(KVIMultiResFilter, LargeReductionOfASelectiveSingleMagnificationInputGoesRowByRow) {
    for (bool selective : {true, false}) {
        Stage input(new SyntheticImageStage(200, 120));
        input->setSelective(selective);
        Filter filter = makeFilter(input.get(), 0.1, 0.1, KVI_RESAMPLE_LINEAR);
        const KVIScene scene = wholeScene(*filter);
        KVISceneBuffer out(input->getPixelProps(), 20, 12);
        ASSERT_EQ(filter->read(scene, out), KV_OK);
        if (selective) {
            EXPECT_EQ(filter->getReadMode(), KVIMultiResFilter::kRowByRow);
            // One read of the input per output row, each of a few rows: never the whole scene.
            ASSERT_EQ(input->beginScenes.size(), 12u);
            for (const KVIScene& begun : input->beginScenes) {
                EXPECT_LE(begun.getNumRows(), 3);
                EXPECT_EQ(begun.getNumCols(), 200);
            }
        } else {
            EXPECT_EQ(filter->getReadMode(), KVIMultiResFilter::kResample);
            ASSERT_EQ(input->beginScenes.size(), 1u);
            EXPECT_EQ(input->beginScenes[0], KVIScene(0, 0, 200, 120, 1.0));
        }
        // Nearest rows of the input, here at the whole positions 10 i.
        EXPECT_EQ(out.getWindowBandData(0)[5 * 20 + 3],
                  SyntheticImageStage::sampleAs<std::uint8_t>(30, 50, 0, 1.0));
    }
}

TEST(KVIMultiResFilter, SceneMappedOutsideTheInputReadsNothing) {
    Stage input(new SyntheticImageStage(45, 38));
    Filter filter = makeFilter(input.get(), 0.37, 0.37);
    EXPECT_EQ(filter->getWidth(), 17u); // 16.65 rounded up: its last column maps past the input
    const KVIScene edge(16.8, 0, 0.2, 5, 1.0);
    KVISceneBuffer out(input->getPixelProps(), 1, 5);
    EXPECT_EQ(filter->read(edge, out), KV_SCENE_MAPS_TO_NOTHING);
    EXPECT_EQ(input->decodeBeginCalls, 0);
    EXPECT_EQ(filter->getSceneCost(edge), 0);
    KVIScene clipped;
    EXPECT_FALSE(filter->clipScene(edge, clipped));
    EXPECT_EQ(filter->getModifications(edge), input->getModifications(edge));
}

TEST(KVIMultiResFilter, InputFailuresPassThroughAndEndTheInputsRead) {
    Stage input(new SyntheticImageStage(45, 38));
    input->failStrip = 1; // read while the filter's read begins
    input->stripStatus = 77;
    Filter filter = makeFilter(input.get(), 0.5, 0.5);
    KVISceneBuffer out(input->getPixelProps(), 23, 19);
    EXPECT_EQ(filter->read(wholeScene(*filter), out), 77u);
    EXPECT_EQ(input->decodeBeginCalls, 1);
    EXPECT_EQ(input->decodeEndCalls, 1);
}

// --- description -------------------------------------------------------------------------------

TEST(KVIMultiResFilter, InitializeTakesTheDefaultScaleAndScalesTheDescription) {
    Stage input(new SyntheticImageStage(101, 51));
    input->setMagnification(0.25, 1.0);
    Filter filter(KVIMultiResFilter::create());
    filter->setScale(0.5, 0.0); // one scale missing: both take the default
    ASSERT_EQ(filter->initialize(input.get(), 2.0, 0.75, 1.5), KV_OK);
    EXPECT_EQ(filter->getScaleX(), 2.0);
    EXPECT_EQ(filter->getScaleY(), 2.0);
    EXPECT_EQ(filter->getWidth(), 202u);
    EXPECT_EQ(filter->getHeight(), 102u);
    EXPECT_EQ(filter->getMinMagnification(), 0.5); // the input's 0.25 x 2
    EXPECT_EQ(filter->getMaxMagnification(), 2.0);
    const KVIGeoCoord geo = filter->getGeoCoord();
    EXPECT_EQ(geo.getXRes(), 0.5);
    EXPECT_EQ(geo.getYRes(), -0.5);
    EXPECT_EQ(geo.getY(), 50.0);
    std::uint32_t w = 0, h = 0;
    ASSERT_EQ(filter->getDimsAtMag(0.3, w, h), KV_OK); // no range check
    EXPECT_EQ(w, 61u);
    EXPECT_EQ(h, 31u);

    Filter scaled(KVIMultiResFilter::create());
    scaled->setScale(0.5, 0.25);
    ASSERT_EQ(scaled->initialize(input.get(), 2.0, 1.0, 1.0), KV_OK);
    EXPECT_EQ(scaled->getWidth(), 51u);
    EXPECT_EQ(scaled->getHeight(), 13u);

    Filter empty(KVIMultiResFilter::create());
    EXPECT_EQ(empty->initialize(nullptr, 1.0, 1.0, 1.0), KV_BAD_ARGUMENT);
    EXPECT_EQ(scaled->setResampleMethod(4), KV_NOT_AVAILABLE);
    const KVISample mixed[2] = {KVISample(KVI_BAND_OTHER, KVI_DATATYPE_UINT8),
                                KVISample(KVI_BAND_OTHER, KVI_DATATYPE_UINT16)};
    Stage mixedInput(
        new SyntheticImageStage(4, 4, KVIPixel(KVI_COLORSPACE_MULTIBAND, 2, 0, mixed)));
    Filter noResampler(KVIMultiResFilter::create());
    EXPECT_EQ(noResampler->initialize(mixedInput.get(), 0.5, 1.0, 1.0), KV_NOT_AVAILABLE);
}

// --- equality with a resampling in one piece ---------------------------------------------------

struct ReadCase {
    double scaleX, scaleY;
    double minMag = 1.0, maxMag = 1.0;
    double mag = 1.0;
    bool whole = true; // else a scene inside the filter at an offset
};

// Reads a scene through the filter, strip by strip, and compares it with the whole tap-widened
// input scene resampled in one piece by the plain reference. Returns the filter's read mode.
template <typename T>
std::uint32_t expectOnePiece(const KVIPixel& pixel, const ReadCase& c, std::uint32_t method,
                             std::uint32_t stripHeight, std::uint32_t width = 45,
                             std::uint32_t height = 38) {
    Stage input(new SyntheticImageStage(width, height, pixel));
    input->setMagnification(c.minMag, c.maxMag);
    Filter filter = makeFilter(input.get(), c.scaleX, c.scaleY, method, c.minMag, c.maxMag);
    EXPECT_EQ(filter->setStripHeight(stripHeight), KV_OK);
    KVIScene scene = wholeScene(*filter, c.mag);
    if (!c.whole)
        scene = KVIScene(3, 2, std::floor(scene.getWidth() / 2), std::floor(scene.getHeight() / 2),
                         c.mag);
    const auto cols = std::uint32_t(scene.getWidth());
    const auto rows = std::uint32_t(scene.getHeight());
    KVISceneBuffer got(pixel, cols, rows);
    EXPECT_EQ(filter->read(scene, got), KV_OK);

    // The reference, from the definitions: the input magnification and steps, the scene mapped
    // into the input and clipped, widened by the taps.
    const double ax = c.mag * c.scaleX, ay = c.mag * c.scaleY;
    const double m = snapMagnification(std::sqrt(ay * ax), c.minMag, c.maxMag);
    const double stepX = m / ax, stepY = m / ay;
    const double inputW = std::ceil(width * m), inputH = std::ceil(height * m);
    // As scenes are: corner and size, the far edges their sum.
    const double left = std::max(scene.getX() * stepX, 0.0);
    const double top = std::max(scene.getY() * stepY, 0.0);
    const double spanX = std::min(scene.getX() * stepX + scene.getWidth() * stepX, inputW) - left;
    const double spanY = std::min(scene.getY() * stepY + scene.getHeight() * stepY, inputH) - top;
    const double right = left + spanX, bottom = top + spanY;
    const int a = resample_ref::firstTap(int(method)), b = resample_ref::lastTap(int(method));
    const double x0 = std::max(std::floor(left + a), 0.0), y0 = std::max(std::floor(top + a), 0.0);
    const double x1 = std::min(std::ceil(right + b), inputW);
    const double y1 = std::min(std::ceil(bottom + b), inputH);
    const auto srcCols = std::uint32_t(x1 - x0), srcRows = std::uint32_t(y1 - y0);
    Stage oracle(new SyntheticImageStage(width, height, pixel));
    oracle->setMagnification(c.minMag, c.maxMag);
    KVISceneBuffer source(pixel, srcCols, srcRows);
    EXPECT_EQ(oracle->read(KVIScene(x0, y0, srcCols, srcRows, m), source), KV_OK);
    KVISceneBuffer want(pixel, cols, rows);
    for (std::uint16_t band = 0; band < pixel.getNumBands(); ++band)
        resample_ref::rect<T>(int(method), reinterpret_cast<T*>(want.getWindowBandData(band)), cols,
                              {0, 0, std::int32_t(cols) - 1, std::int32_t(rows) - 1},
                              reinterpret_cast<const T*>(source.getWindowBandData(band)), srcCols,
                              {0, 0, std::int32_t(srcCols) - 1, std::int32_t(srcRows) - 1},
                              float(left - x0), float(top - y0), float(stepX), float(stepY));
    EXPECT_TRUE(sameBands(got, want))
        << "scale " << c.scaleX << " x " << c.scaleY << " mag " << c.mag << " method " << method
        << " strip height " << stripHeight << " mode " << filter->getReadMode();
    const std::uint32_t mode = filter->getReadMode();
    // Taken up at a later strip, the read gives the same strips: the running position and the
    // rows read are those the whole read has there.
    const std::uint32_t strips = (rows + stripHeight - 1) / stripHeight;
    for (const std::uint32_t first : {1u, 2u, strips / 2, strips - 1}) {
        if (first == 0 || first >= strips) continue;
        EXPECT_TRUE(resumedReadMatches(*filter, scene, first, want))
            << "scale " << c.scaleX << " x " << c.scaleY << " mag " << c.mag << " method " << method
            << " strip height " << stripHeight << " from strip " << first;
    }
    return mode;
}

TEST(KVIMultiResFilter, StripsEqualAResamplingOfTheWholeInputSceneInOnePiece) {
    const ReadCase cases[] = {
        {0.5, 0.5},
        {0.37, 0.37},
        {2.0, 2.0},
        {0.6, 1.7},
        {0.2, 0.2},                        // a reduction read row by row
        {0.37, 0.37, 0.125, 1.0, 1.0},     // read at input magnification 0.5
        {1.3, 0.8, 0.25, 1.0, 0.5, false}, // a scene at an offset, at magnification 0.5
        {0.45, 0.45, 1.0, 1.0, 1.0, false},
    };
    const KVIPixel pixels[] = {KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8),
                               KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_FLOAT32),
                               KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_SINT32)};
    bool seen[5] = {};
    for (const KVIPixel& pixel : pixels)
        withSampleType(pixel.getDataType(), [&](auto zero) {
            using T = decltype(zero);
            for (const ReadCase& c : cases)
                for (std::uint32_t method = 1; method <= 3; ++method)
                    for (std::uint32_t stripHeight : {1u, 16u, 17u})
                        seen[expectOnePiece<T>(pixel, c, method, stripHeight)] = true;
        });
    EXPECT_TRUE(seen[KVIMultiResFilter::kResample]);
    EXPECT_TRUE(seen[KVIMultiResFilter::kRowByRow]);
}

TEST(KVIMultiResFilter, ASingleInputStripIsResampledFromThatStrip) {
    const KVIPixel grey(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT16);
    for (std::uint32_t method = 1; method <= 3; ++method)
        EXPECT_EQ(expectOnePiece<std::uint16_t>(grey, {0.5, 0.5}, method, 64, 30, 20),
                  KVIMultiResFilter::kSingleStrip);
}

// --- memory ------------------------------------------------------------------------------------

// Samples the heap whenever the filter reads a strip of it.
class HeapWatchingStage : public SyntheticImageStage {
public:
    using SyntheticImageStage::SyntheticImageStage;
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& strip) override {
        peak = std::max(peak, quarn_test::heapInUse());
        return SyntheticImageStage::decodeStrip(buffer, strip);
    }
    std::uint64_t peak = 0;
};

TEST(KVIMultiResFilter, MemoryIsBoundedByTwoInputStripsWhateverTheImageSize) {
    const KVIPixel grey(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8);
    KVIRef<HeapWatchingStage> input(new HeapWatchingStage(100000, 100000, grey));
    input->setMagnification(1.0 / 32, 1.0);
    Filter filter = makeFilter(input.get(), 1.0 / 64, 1.0 / 64, KVI_RESAMPLE_CUBIC, 1.0 / 64);
    const KVIScene scene = wholeScene(*filter);
    ASSERT_EQ(scene.getWidth(), 1563.0);
    KVISceneBuffer out(grey, 1563, 1563);
    const std::uint64_t baseline = quarn_test::heapInUse();
    ASSERT_EQ(filter->read(scene, out), KV_OK);
    EXPECT_EQ(filter->getReadMode(), KVIMultiResFilter::kResample);
    // The input is read at 1/32, 3125 columns, in strips of 16 rows: two records of them are
    // 100 kB; the filter holds nothing in proportion to the image.
    ASSERT_EQ(input->beginScenes.size(), 1u);
    EXPECT_EQ(input->beginScenes[0].getMagnification(), 1.0 / 32);
    EXPECT_LT(input->peak - baseline, std::uint64_t{1} << 20);
    EXPECT_EQ(out.getWindowBandData(0)[1000 * 1563 + 700],
              SyntheticImageStage::sampleAs<std::uint8_t>(1400, 2000, 0, 1.0 / 32));
}

} // namespace
