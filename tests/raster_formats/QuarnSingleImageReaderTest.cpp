// The single-image readers of the three generations: band subsets, float ranges, crop windows,
// background and no-data pixels, geo placement, and the generation-2 header and metadata.

#include "ClassicalMetadataWriter.h"
#include "QG2FileWriter.h"
#include "QG2ImageReader.h"
#include "QG3SingleImageReader.h"
#include "QG4SingleImageReader.h"
#include "QuarnRasterStatus.h"
#include "RasterFileWriter.h"
#include "TestStreams.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "metadata/KVIMetadataTag.h"
#include "qg3/container/QG3FileSimpleContainer.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Korvel;
using namespace quarn_test;

namespace {

using Stage = KVIRef<KVIImageStage>;

// A container over a file, and readers of its image 1.
struct File {
    explicit File(Bytes bytes) : stream(std::move(bytes), false), container(&stream, false) {
        EXPECT_EQ(container.open(), KV_OK);
    }
    Stage qg4(std::vector<std::uint16_t> bands = {}, KVStatus expected = KV_OK) {
        QG4SingleImageReader* reader = QG4SingleImageReader::create();
        EXPECT_EQ(reader->initialize(&container, 1, bands.data(),
                                     static_cast<std::uint32_t>(bands.size()), nullptr, 1, 3),
                  expected);
        return Stage(reader);
    }
    Stage qg3() {
        QG3SingleImageReader* reader = QG3SingleImageReader::create();
        EXPECT_EQ(reader->initialize(&container, 1, nullptr, 1, 3), KV_OK);
        return Stage(reader);
    }
    VectorStream stream;
    QG3FileSimpleContainer container;
};

std::vector<double> values(const KVIPixel& pixel) {
    std::vector<double> out;
    for (std::uint16_t band = 0; band < pixel.getNumBands(); ++band)
        out.push_back(pixel.getSample(band).getAsDouble());
    return out;
}

HeaderBody rgb() {
    HeaderBody b;
    b.width = 16;
    b.height = 16;
    b.numLevels = 2;
    b.bands = 3;
    b.colorSpace = 10;
    b.dataType = 5;
    return b;
}

} // namespace

TEST(QuarnSingleImageReader, Generation4BandSubsets) {
    ExtrasRecord extras;
    extras.presence = 0xC;
    extras.noData.samples = {1, 2, 3};
    extras.background.samples = {4, 5, 6};
    File file(
        singleImageFile(kGen4Version, rgb(), {metadataPacket(3, 0, 1, extrasPayload(extras))}));

    const Stage all = file.qg4();
    EXPECT_EQ(all->getPixelProps().getColorSpace(), 0x0301u);
    EXPECT_EQ(values(*all->getBackgroundPixel()), (std::vector<double>{4, 5, 6}));

    const Stage two = file.qg4({2, 0});
    const KVIPixel pixel = two->getPixelProps();
    EXPECT_EQ(pixel.getColorSpace(), 0xFF01u);
    ASSERT_EQ(pixel.getNumBands(), 2);
    EXPECT_EQ(pixel.getSample(0).getBandColor(), KVI_BAND_RED); // image order, band 0 first
    EXPECT_EQ(pixel.getSample(1).getBandColor(), KVI_BAND_BLUE);
    EXPECT_EQ(values(*two->getNoDataPixel()), (std::vector<double>{1, 3}));
    EXPECT_EQ(two->getBackgroundPixel(), nullptr);
    EXPECT_EQ(values(two->getMaxDynamicRange()), (std::vector<double>{255, 255}));
    EXPECT_EQ(two->getDataSize(), 16u * 16u * 2u);

    EXPECT_EQ(file.qg4({1})->getPixelProps().getColorSpace(), 0x0101u);
    file.qg4({1, 1}, KV_QRN_BAND_LISTED_TWICE);
    file.qg4({3}, KV_BAD_ARGUMENT);
}

TEST(QuarnSingleImageReader, FloatRangesScaleInGeneration4Only) {
    HeaderBody b = rgb();
    b.bands = 2;
    b.colorSpace = 5;
    b.dataType = 13;
    b.sampleMin = -100;
    b.sampleMax = 100;
    b.flags |= 0x40000;
    b.bandScales = {{0.5f, 10.0f}, {2.0f, 0.0f}};
    File scaled(singleImageFile(kGen4Version, b));
    const Stage gen4 = scaled.qg4();
    EXPECT_EQ(values(gen4->getMinDynamicRange()), (std::vector<double>{-40, -40}));
    EXPECT_EQ(values(gen4->getMaxDynamicRange()), (std::vector<double>{60, 60}));
    EXPECT_EQ(values(scaled.qg3()->getMinDynamicRange()), (std::vector<double>{-100, -100}));

    b.flags &= ~std::uint64_t{0x40000};
    File unscaled(singleImageFile(kGen4Version, b));
    EXPECT_EQ(values(unscaled.qg4()->getMaxDynamicRange()), (std::vector<double>{100, 100}));
}

TEST(QuarnSingleImageReader, CropWindowsAndGeoPlacement) {
    HeaderBody b = rgb();
    b.flags |= 0x8000;
    b.crop = {2, 3, 11, 8};
    ExtrasRecord extras;
    extras.presence = 0x1;
    extras.geo = {100, 200, 0, 0, 2, 3};
    File window(singleImageFile(kGen3Version, b, {metadataPacket(3, 0, 1, extrasPayload(extras))}));
    const Stage reader = window.qg3();
    EXPECT_EQ(reader->getWidth(), 10u);
    EXPECT_EQ(reader->getHeight(), 6u);
    EXPECT_EQ(dynamic_cast<QuarnImageReaderInterface&>(*reader).getNumLevels(), 2);
    std::uint32_t w = 0, h = 0;
    EXPECT_EQ(reader->getDimsAtMag(0.5, w, h), KV_OK);
    EXPECT_EQ(w * 100 + h, 503u);
    const KVIGeoCoord geo = reader->getGeoCoord();
    EXPECT_EQ((std::vector<double>{geo.getX(), geo.getY(), geo.getXRes(), geo.getYRes()}),
              (std::vector<double>{100, 200, 2, -3}));
    EXPECT_FALSE(reader->isGeoCoordImplicit());

    // A window at level 1 of the stored pyramid takes that level away.
    b.crop = {1, 1, 4, 3};
    b.cropLevel = 1;
    File deep(singleImageFile(kGen3Version, b));
    const Stage deeper = deep.qg3();
    EXPECT_EQ(deeper->getWidth() * 100 + deeper->getHeight(), 403u);
    EXPECT_EQ(dynamic_cast<QuarnImageReaderInterface&>(*deeper).getNumLevels(), 1);
    EXPECT_EQ(deeper->getMinMagnification(), 0.5);
    EXPECT_TRUE(deeper->isGeoCoordImplicit());
}

TEST(QuarnSingleImageReader, Generation2HeaderAndMetadata) {
    QG2FileLayout layout;
    layout.width = 30;
    layout.height = 20;
    layout.levels = 1;
    layout.subbands.assign(4, std::nullopt);
    layout.region = std::array<std::uint32_t, 5>{4, 2, 23, 11, 0};
    layout.d0 = true;
    layout.metadata = {0xFF, 0xD1};
    const std::vector<std::uint8_t> block = ClassicalMetadataWriter()
                                                .scalar("IMAGE::NO_DITHER", cm::U8, std::uint8_t{1})
                                                .scalar("IMAGE::INPUT_FILE_SIZE", cm::F64, 123.0)
                                                .eom()
                                                .bytes();
    layout.metadata.insert(layout.metadata.end(), block.begin(), block.end());
    QG2WrittenFile written = writeQG2File(layout);

    struct Opened {
        Opened(const std::vector<std::uint8_t>& bytes, KVStatus expected) : stream(bytes, false) {
            EXPECT_EQ(qg2->initialize(&stream, nullptr, 1, 3), expected);
            EXPECT_FALSE(stream.isOpen());
        }
        VectorStream stream;
        Stage reader{QG2ImageReader::create()};
        QG2ImageReader* qg2 = static_cast<QG2ImageReader*>(reader.get());
    };
    const Opened opened(written.bytes, KV_OK);
    const Stage& reader = opened.reader;
    QG2ImageReader& qg2 = *opened.qg2;
    EXPECT_EQ(reader->getWidth() * 100 + reader->getHeight(), 2010u);
    EXPECT_FALSE(qg2.getDither());
    EXPECT_EQ(qg2.getNumLevels(), 1);
    EXPECT_EQ(reader->getMinMagnification(), 0.5);
    double size = 0;
    const KVIMetadataAccessor metadata(reader->getMetadata());
    EXPECT_EQ(metadata.getInputFileSize(size), KV_OK);
    EXPECT_EQ(size, 123.0); // the metadata's own value is kept
    const char* name = nullptr;
    EXPECT_EQ(metadata.getInputName(name), KV_OK);
    EXPECT_STREQ(name, "test:vector");

    Bytes farMetadata = written.bytes;
    qg2PutU32(farMetadata, written.d0At, 0xFFFFFF00);
    Opened(farMetadata, KV_QRN_METADATA_UNUSABLE);
    layout.bands = 2;
    layout.subbands.assign(4, std::nullopt);
    Opened(writeQG2File(layout).bytes, KV_QRN_COLOR_SPACE_UNSUPPORTED);
}
