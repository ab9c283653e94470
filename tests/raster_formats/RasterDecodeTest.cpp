// Generation-3 and -4 images written by the test writer from pixel planes, decoded through the
// reader front and the image stage's read protocol, against the writer's own reconstruction (the
// plain whole-image inverse of what was coded, restricted to each scene).

#include "QG3SingleImageReaderBase.h"
#include "QG4SingleImageReader.h"
#include "QuarnRasterStatus.h"
#include "RasterRead.h"
#include "RasterScene.h"
#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3ImageInfo.h"
#include "support/KVIRef.h"
#include "support/KVMagnification.h"
#include "wavelet/QG3FileSimpleDecoderTool.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace Korvel;
using namespace quarn_test;

namespace {

struct Case {
    RasterImage image;
    Version version = kGen3Version;
    std::uint32_t memoryUsage = 1;
    bool buffers = false;
    std::uint32_t stripHeight = 16;

    std::string describe() const {
        const RasterImage& im = image;
        std::ostringstream out;
        out << im.width << "x" << im.height << " L" << int(im.levels) << " S" << im.subblockSize
            << " bands " << im.planes.size() << " type " << int(im.dataType) << " range "
            << im.sampleMin << ".." << im.sampleMax << " ct " << int(im.colorTransform)
            << " dropped " << im.droppedPlanes << " refinement " << im.refinementBits << " kind "
            << int(im.format.kind) << " layout " << int(im.format.layout) << " wide "
            << im.format.wide << " word " << im.format.hasWord << " value " << im.format.valueWidth
            << " gen " << int(version[1] == 4 ? 4 : 3) << " memory " << memoryUsage << " buffers "
            << buffers << " strip " << stripHeight;
        if (im.crop)
            out << " crop " << (*im.crop)[0] << "," << (*im.crop)[1] << "," << (*im.crop)[2] << ","
                << (*im.crop)[3] << "@" << int(im.cropLevel);
        return out.str();
    }
};

template <class T> T pick(std::mt19937& random, std::initializer_list<T> values) {
    return values.begin()[random() % values.size()];
}

Case randomCase(std::mt19937& random) {
    Case c;
    RasterImage& im = c.image;
    im.width = 3 + random() % 120;
    im.height = 3 + random() % 120;
    im.levels = std::uint8_t(random() % 9 > 6 ? random() % 9 : random() % 5);
    im.subblockSize = pick<std::uint16_t>(random, {5, 8, 16, 32, 64});
    const unsigned bands = pick<unsigned>(random, {1, 1, 3, 3, 5});
    im.dataType = pick<std::uint8_t>(random, {5, 5, 6, 7, 8, 13});
    static constexpr std::int32_t kLow[] = {0, -128, 0, -32768, -1000};
    static constexpr std::int32_t kHigh[] = {255, 127, 65535, 32767, 1000};
    const unsigned t = im.dataType == 13 ? 4 : im.dataType - 5u;
    im.sampleMin = kLow[t];
    im.sampleMax = kHigh[t];
    // Sometimes a narrower range, so that the output clamps.
    if (random() % 4 == 0) {
        im.sampleMin = kLow[t] + (kHigh[t] - kLow[t]) / 8;
        im.sampleMax = kHigh[t] - (kHigh[t] - kLow[t]) / 8;
    }
    for (unsigned b = 0; b < bands; ++b) {
        im.planes.push_back(
            landscapeBand(im.width, im.height, b, bands, random(), kLow[t], kHigh[t]));
        if (im.dataType == 13) im.bandScales.push_back({0.5f + b, -3.0f * b});
    }
    im.colorSpace = bands == 1 ? 1 : bands == 3 ? 10 : 5;
    if (bands >= 3) im.colorTransform = pick<std::uint8_t>(random, {1, 4, 7, 10, 13});
    if (random() % 3 == 0) im.droppedPlanes = 1 + random() % 6;
    if (random() % 4 == 0) im.refinementBits = 1 + random() % 3;
    if (random() % 10 == 0) im.rawPlanes = 0x0000FF00u;
    im.format.kind = pick<std::uint8_t>(random, {1, 5});
    im.format.layout = pick<std::uint8_t>(random, {0, 2, 3});
    im.format.wide = random() % 2 == 0;
    im.format.hasWord = random() % 4 == 0;
    im.format.valueWidth = pick<unsigned>(random, {0, 0, 1, 2, 4});
    if (random() % 4 == 0) {
        im.cropLevel = std::uint8_t(random() % (std::min<unsigned>(im.levels, 2) + 1));
        const std::uint32_t w = (im.width + (1u << im.cropLevel) - 1) >> im.cropLevel;
        const std::uint32_t h = (im.height + (1u << im.cropLevel) - 1) >> im.cropLevel;
        const std::int32_t x0 = random() % w, y0 = random() % h;
        im.crop = std::array<std::int32_t, 4>{x0, y0, std::int32_t(x0 + random() % (w - x0)),
                                              std::int32_t(y0 + random() % (h - y0))};
    }
    c.version = random() % 2 ? kGen3Version : kGen4Version;
    c.memoryUsage = 1 + random() % 3;
    c.buffers = random() % 2 == 0;
    c.stripHeight = pick<std::uint32_t>(random, {1, 2, 16, 17, 64});
    return c;
}

// The window of the visible image at a level, in the stored image at the absolute level.
KVIRect windowAt(const RasterImage& im, int level) {
    const auto ceilShift = [](std::int64_t v, int s) { return (v + (1ll << s) - 1) >> s; };
    if (!im.crop)
        return {0, 0, std::int32_t(ceilShift(im.width, level) - 1),
                std::int32_t(ceilShift(im.height, level) - 1)};
    const auto& c = *im.crop;
    const std::int32_t x0 = c[0] >> level, y0 = c[1] >> level;
    return {x0, y0, std::int32_t(x0 + ceilShift(c[2] - c[0] + 1, level) - 1),
            std::int32_t(y0 + ceilShift(c[3] - c[1] + 1, level) - 1)};
}

// Reads the scene (x, y, w, h at level) and compares every band with the writer's
// reconstruction; selected lists the image's bands the stage decodes (all when empty).
void expectScene(KVIImageStage& stage, const RasterImageCoder& coder, int level, std::uint32_t x,
                 std::uint32_t y, std::uint32_t w, std::uint32_t h,
                 const std::vector<unsigned>& selected = {}) {
    const RasterImage& im = coder.image();
    const double mag = levelToMag(level);
    SCOPED_TRACE(::testing::Message()
                 << "level " << level << " scene " << x << "," << y << " " << w << "x" << h);
    const SceneSamples s = readScene(stage, KVIScene(x, y, w, h, mag));
    const int absolute = level + im.cropLevel;
    const auto levelSide = [&](std::uint32_t v) { return (v + (1u << absolute) - 1) >> absolute; };
    if (levelSide(im.width) < 3 || levelSide(im.height) < 3) {
        EXPECT_EQ(s.status, KV_QG3_NOT_FOUND) << "a level image below 3 x 3 is refused";
        return;
    }
    ASSERT_EQ(s.status, KV_OK);
    const KVIRect window = windowAt(im, level);
    const bool all = selected.empty();
    int reported = 0;
    for (std::size_t i = 0; i < s.bands.size(); ++i) {
        const unsigned band = all ? unsigned(i) : selected[i];
        const RasterSubband& e = coder.expected(band, std::uint8_t(absolute), all);
        for (std::uint32_t r = 0; r < h; ++r)
            for (std::uint32_t q = 0; q < w; ++q) {
                const double want =
                    outputSample(im, band, e.at(window.x0 + x + q, window.y0 + y + r));
                if (s.at(unsigned(i), q, r) != want && reported++ < 4)
                    ADD_FAILURE() << "band " << band << " at " << q << "," << r << ": "
                                  << s.at(unsigned(i), q, r) << " for " << want;
            }
    }
}

void checkCase(const Case& c, std::mt19937& random) {
    SCOPED_TRACE(c.describe());
    const RasterImageCoder coder(c.image);
    const RasterImage& im = coder.image();
    // The reconstruction itself: lossless coding gives the pixels back, in the crop window too.
    if (im.droppedPlanes == 0)
        for (std::size_t b = 0; b < im.planes.size(); ++b) {
            const RasterSubband& e = coder.expected(unsigned(b), 0);
            const KVIRect w = windowAt(im, 0);
            for (std::int32_t y = w.y0; im.cropLevel == 0 && y <= w.y1; ++y)
                for (std::int32_t x = w.x0; x <= w.x1; ++x)
                    ASSERT_EQ(e.at(x, y), im.planes[b][std::size_t(y) * im.width + x]);
        }

    const ScopedEnv buffers("QG3_USE_STREAM_BUFFERS", c.buffers ? "" : nullptr);
    OpenRaster file(coder.file(c.version), c.memoryUsage);
    ASSERT_EQ(file.status, KV_OK);
    ASSERT_EQ(file.reader->setStripHeight(c.stripHeight), KV_OK);
    for (int level = 0; level <= file.reader->getNumLevels(); ++level) {
        std::uint32_t w = 0, h = 0;
        ASSERT_EQ(file.reader->getDimsAtMag(levelToMag(level), w, h), KV_OK);
        expectScene(*file.reader, coder, level, 0, 0, w, h);
        // A random window, one row, one column, and the bottom-right corner.
        const std::uint32_t x = random() % w, y = random() % h;
        expectScene(*file.reader, coder, level, x, y, 1 + random() % (w - x),
                    1 + random() % (h - y));
        expectScene(*file.reader, coder, level, x, y, w - x, 1);
        expectScene(*file.reader, coder, level, x, y, 1, h - y);
        expectScene(*file.reader, coder, level, w - std::min(w, 3u), h - std::min(h, 5u),
                    std::min(w, 3u), std::min(h, 5u));
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(RasterDecodeTest, EveryLevelAndWindowMatchesTheWriterReconstruction) {
    std::mt19937 random(20);
    for (int i = 0; i < 60; ++i) {
        checkCase(randomCase(random), random);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

} // namespace

namespace {

RasterImage smallImage(unsigned bands = 1, std::uint32_t width = 40, std::uint32_t height = 40) {
    RasterImage im;
    im.width = width;
    im.height = height;
    im.levels = 2;
    im.subblockSize = 8;
    for (unsigned b = 0; b < bands; ++b)
        im.planes.push_back(landscapeBand(width, height, b, bands, 7, 0, 255));
    im.colorSpace = bands == 3 ? 10 : bands == 1 ? 1 : 5;
    return im;
}

QG3SingleImageReaderBase& singleReader(OpenRaster& file) {
    return dynamic_cast<QG3SingleImageReaderBase&>(*file.reader->getSingleStage());
}

// Answers 0 until asked `allowed` times, then `status`.
struct CountingInterrupt : KVIInterruptDelegate {
    KVStatus checkInterrupt() override { return ++asked > allowed ? status : KV_OK; }
    int asked = 0;
    int allowed = 1 << 30;
    KVStatus status = 77;
};

struct RecordingProgress : KVIProgressDelegate {
    KVStatus reportProgress(float fraction) override {
        fractions.push_back(fraction);
        return KV_OK;
    }
    std::vector<float> fractions;
};

} // namespace

TEST(RasterDecodeTest, OutputClampsToTheImageRange) {
    RasterImage im = smallImage();
    im.planes[0][0] = 300;
    im.planes[0][1] = -4;
    const RasterImageCoder coder(im);
    OpenRaster file(coder.file(kGen3Version));
    const SceneSamples s = readScene(*file.reader, KVIScene(0, 0, 40, 40, 1.0));
    ASSERT_EQ(s.status, KV_OK);
    EXPECT_EQ(s.at(0, 0, 0), 255.0);
    EXPECT_EQ(s.at(0, 1, 0), 0.0);
    EXPECT_EQ(s.at(0, 2, 0), double(im.planes[0][2]));
}

TEST(RasterDecodeTest, Generation4BandSubsetsSkipTheColourTransform) {
    RasterImage im = smallImage(3, 37, 29);
    im.colorTransform = 10;
    im.dataType = 13;
    im.sampleMin = -1000;
    im.sampleMax = 1000;
    im.bandScales = {{0.5f, 1.0f}, {2.0f, -1.0f}, {0.25f, 3.0f}};
    const RasterImageCoder coder(im);
    ExtrasRecord extras;
    extras.presence = 0xC;
    extras.noData = {5, {1, 2, 3}};
    extras.background = {5, {4, 5, 6}};
    VectorStream stream(coder.file(kGen4Version, {metadataPacket(3, 0, 1, extrasPayload(extras))}),
                        false);
    QG3FileSimpleContainer container(&stream, false);
    ASSERT_EQ(container.open(), KV_OK);
    for (const std::vector<std::uint16_t>& bands :
         {std::vector<std::uint16_t>{2, 0}, {1}, {0, 1, 2}}) {
        KVIRef<QG4SingleImageReader> reader(QG4SingleImageReader::create());
        ASSERT_EQ(reader->initialize(&container, 1, bands.data(), std::uint32_t(bands.size()),
                                     nullptr, 1, 3),
                  KV_OK);
        std::vector<unsigned> selected(bands.begin(), bands.end());
        std::sort(selected.begin(), selected.end());
        for (int level = 0; level <= 2; ++level) {
            std::uint32_t w = 0, h = 0;
            ASSERT_EQ(reader->getDimsAtMag(levelToMag(level), w, h), KV_OK);
            expectScene(*reader, coder, level, 0, 0, w, h,
                        selected.size() == 3 ? std::vector<unsigned>{} : selected);
        }
        // The decoder tool's no-data and background pixels are the file's, of the bands read.
        const QG3DecoderTool& tool = *reader->getDecoderTool();
        ASSERT_NE(tool.getNoDataPixel(), nullptr);
        ASSERT_NE(tool.getBackgroundPixel(), nullptr);
        ASSERT_EQ(tool.getNoDataPixel()->getNumBands(), selected.size());
        for (std::size_t i = 0; i < selected.size(); ++i) {
            EXPECT_EQ(tool.getNoDataPixel()->getSample(std::uint16_t(i)).getAsDouble(),
                      1.0 + selected[i]);
            EXPECT_EQ(tool.getBackgroundPixel()->getSample(std::uint16_t(i)).getAsDouble(),
                      4.0 + selected[i]);
        }
    }
}

TEST(RasterDecodeTest, ReadsReuseTheDecoderAndStripsFollowTheStripHeight) {
    const RasterImageCoder coder(smallImage(1, 50, 60));
    OpenRaster file(coder.file(kGen4Version));
    QG3SingleImageReaderBase& single = singleReader(file);
    EXPECT_EQ(single.getDecoderTool(), nullptr) << "made at the first decode";
    expectScene(*file.reader, coder, 0, 3, 5, 20, 40);
    QG3FileSimpleDecoderTool* tool = single.getDecoderTool();
    QG3FileSimplePlaneSource* planes = single.getPlaneSource();
    ASSERT_NE(tool, nullptr);
    expectScene(*file.reader, coder, 1, 0, 0, 25, 30);
    EXPECT_EQ(single.getDecoderTool(), tool);
    EXPECT_EQ(single.getPlaneSource(), planes);

    // 40 rows in strips of 16: three strips, at rows 0, 16 and 32.
    RecordingProgress progress;
    tool->setProgressDelegate(&progress);
    ASSERT_EQ(tool->setStripHeight(16), KV_OK);
    const SceneSamples s = readScene(*tool, KVIScene(0, 0, 50, 40, 1.0));
    EXPECT_EQ(s.status, KV_OK);
    EXPECT_EQ(progress.fractions, (std::vector<float>{0.0f, 0.0f, 0.4f, 0.8f, 1.0f}));
    tool->setProgressDelegate(nullptr);
}

TEST(RasterDecodeTest, ImagesThatCannotBeDecodedOpenAndRefuseEveryRead) {
    RasterImage im = smallImage();
    im.auxCodeD = 1;
    OpenRaster marked(RasterImageCoder(im).file(kGen3Version));
    ASSERT_EQ(marked.status, KV_OK);
    EXPECT_EQ(readScene(*marked.reader, KVIScene(0, 0, 40, 40, 1.0)).status, KV_QG3_NOT_FOUND);
    EXPECT_EQ(readScene(*marked.reader, KVIScene(0, 0, 10, 10, 0.25)).status, KV_QG3_NOT_FOUND);

    OpenRaster usage(RasterImageCoder(smallImage()).file(kGen4Version), 5);
    ASSERT_EQ(usage.status, KV_OK);
    EXPECT_EQ(usage.reader->getWidth(), 40u);
    EXPECT_EQ(readScene(*usage.reader, KVIScene(0, 0, 40, 40, 1.0)).status,
              KV_QRN_UNKNOWN_MEMORY_USAGE);
}

TEST(RasterDecodeTest, ScenesBeyondTheStoredLevelsOrTheWindowAreRefused) {
    RasterImage im = smallImage(1, 64, 64);
    im.crop = std::array<std::int32_t, 4>{4, 6, 27, 29};
    im.cropLevel = 1;
    const RasterImageCoder coder(im);
    OpenRaster file(coder.file(kGen3Version));
    ASSERT_EQ(file.status, KV_OK);
    EXPECT_EQ(file.reader->getNumLevels(), 1);
    expectScene(*file.reader, coder, 0, 0, 0, 24, 24);
    QG3DecoderTool& tool = *singleReader(file).getDecoderTool();
    // Level 2 of the window is level 3 of a two-level image; magnified scenes have no level.
    EXPECT_EQ(tool.decodeBegin(KVIScene(0, 0, 6, 6, 0.25)), KV_QG3_NOT_FOUND);
    EXPECT_EQ(tool.decodeBegin(KVIScene(0, 0, 6, 6, 2.0)), KV_QG3_NOT_FOUND);
    EXPECT_EQ(tool.decodeBegin(KVIScene(24, 0, 6, 6, 1.0)), KV_QG3_NOT_FOUND);
    EXPECT_EQ(tool.decodeBegin(KVIScene(0, -9, 6, 6, 1.0)), KV_QG3_NOT_FOUND);
    EXPECT_EQ(
        tool.decodeStrip(*std::make_unique<KVISceneBuffer>(tool.getPixelProps(), 6u, 6u, nullptr),
                         KVIScene(0, 0, 6, 6, 1.0)),
        KV_QG3_NOT_FOUND)
        << "no decoder after a failed begin";
    EXPECT_EQ(tool.decodeEnd(), KV_OK);
    // So the reader offers no magnification above 1: a magnified scene is refused before any
    // decoding, and a filter over the reader (a mosaic's) reads it at 1 and enlarges it.
    EXPECT_EQ(file.reader->getMaxMagnification(), 1.0);
    EXPECT_EQ(readScene(*file.reader, KVIScene(0, 0, 6, 6, 2.0)).status, KV_SCENE_MAG_OUT_OF_RANGE);
}

TEST(RasterDecodeTest, TheInterruptStopsBetweenSubblocksAndTheNextReadStartsAfresh) {
    const RasterImageCoder coder(smallImage(3, 64, 64));
    OpenRaster file(coder.file(kGen3Version));
    ASSERT_EQ(file.reader->setStripHeight(8), KV_OK);
    for (int allowed : {0, 3, 40}) {
        CountingInterrupt interrupt;
        interrupt.allowed = allowed;
        file.reader->setInterruptDelegate(&interrupt);
        EXPECT_EQ(readScene(*file.reader, KVIScene(0, 0, 64, 64, 1.0)).status, 77);
        // After the stop only the end of the read asks again.
        EXPECT_LE(interrupt.asked, allowed + 2) << "nothing is decoded after the stop";
        file.reader->setInterruptDelegate(nullptr);
        expectScene(*file.reader, coder, 0, 0, 0, 64, 64);
        expectScene(*file.reader, coder, 1, 5, 3, 20, 21);
    }
}
