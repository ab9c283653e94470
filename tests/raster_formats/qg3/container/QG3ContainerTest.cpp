// Containers over files of one and two images, their metadata and contents identifier, the image
// sources of their images, the memory estimate, and damaged files.

#include "RasterFileWriter.h"
#include "TestStreams.h"
#include "model/KVIDataType.h"
#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3FileSimpleImageSource.h"
#include "qg3/container/QG3HeaderPacket.h"
#include "qg3/container/QG3ImageExtras.h"
#include "qg3/container/QG3MetadataSupport.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3EstimateMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <random>

using namespace Korvel;
using quarn_test::Bytes;
using quarn_test::HeaderBody;
using quarn_test::RasterPacket;
using quarn_test::VectorStream;

namespace {

struct OpenFile {
    explicit OpenFile(Bytes bytes, bool keepOpen = false)
        : stream(std::move(bytes), false), container(&stream, keepOpen) {
        status = container.open();
    }
    std::vector<QG3ImageDesc> images() const { return *container.getImageDescriptors(); }
    VectorStream stream;
    QG3FileSimpleContainer container;
    KVStatus status;
};

HeaderBody image(std::uint32_t width, std::uint32_t height, std::uint8_t levels) {
    HeaderBody b;
    b.width = width;
    b.height = height;
    b.numLevels = levels;
    b.subblockSize = 32;
    return b;
}

// The first failing step of opening a file, its first image and the image's estimate.
KVStatus openEverything(const Bytes& bytes) {
    VectorStream stream(bytes, false);
    QG3FileSimpleContainer container(&stream, false);
    KVStatus status = container.open();
    if (status != KV_OK) return status;
    QG3FileSimpleImageSource source(&container, 1);
    if ((status = source.open()) != KV_OK) return status;
    std::uint64_t bytesNeeded = 0;
    stream.open();
    return estimateMemory(&container, 1, bytesNeeded);
}

} // namespace

TEST(QG3Container, DescribesASingleGeneration3Image) {
    HeaderBody b = image(200, 100, 2);
    b.bands = 3;
    b.colorSpace = 10;
    b.dataType = 16; // old form: unsigned 16
    OpenFile f(quarn_test::rasterFile(
        quarn_test::kGen3Version,
        {quarn_test::headerPacket(1, b, 0), quarn_test::planesetPacket(1, 1000, {1, 2, 3})}));
    ASSERT_EQ(f.status, KV_OK);
    ASSERT_EQ(f.images().size(), 1u);
    EXPECT_EQ(f.images()[0].imageNumber, 1u);
    EXPECT_EQ(f.images()[0].readerKind, QG3_READER_GEN3);
    EXPECT_EQ(f.container.getContentsId(), QG3_NO_CONTENTS);
    EXPECT_EQ(f.container.getFileVersion(), (QG3FileVersion{3, 0, 0x1A, 'q'}));
    EXPECT_FALSE(f.stream.isOpen()); // closed again after the open
    QG3ImageDesc desc;
    EXPECT_EQ(f.container.findImageDescriptor(2, desc), KV_QG3_NOT_FOUND);
    EXPECT_EQ(f.container.open(), KV_QG3_NO_OBJECT);

    QG3FileSimpleImageSource source(&f.container, 1);
    ASSERT_EQ(source.open(), KV_OK);
    EXPECT_EQ(source.open(), KV_QG3_NO_OBJECT);
    EXPECT_FALSE(f.stream.isOpen());
    EXPECT_EQ(source.getWidth(), 200u);
    EXPECT_EQ(source.getHeight(), 100u);
    EXPECT_EQ(source.getNumLevels(), 2);
    EXPECT_EQ(source.getNumSelectedBands(), 3);
    EXPECT_EQ(source.getBytesPerSample(), 2u);
    EXPECT_EQ(source.getImageInfo()->dataType, 7u);
    EXPECT_NE(source.getImageInfo(), source.getHeaderPacket()->getImageInfo());
    EXPECT_FALSE(source.hasGeoref());
    EXPECT_EQ(source.getNoDataPixel(), nullptr);
    EXPECT_EQ(source.getBackgroundPixel(), nullptr);
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    source.getDimensionsAtLevel(1, w, h);
    EXPECT_EQ(w, 100u);
    EXPECT_EQ(h, 50u);

    // Subbands 50 x 25 (levels 1, low band) and 100 x 50 (level 2) in subblocks of 32: 5 x 2 +
    // 4 x 8 = 42. The estimate is 8 planes x 3 bands x 42 x 8 + 1000 x 3.4 / 3 + 11814.
    EXPECT_EQ(source.getImageInfo()->totalSubblocks, 42u);
    std::uint64_t bytes = 0;
    f.stream.open();
    ASSERT_EQ(estimateMemory(&f.container, 1, bytes), KV_OK);
    EXPECT_EQ(bytes, 21011u);
    EXPECT_EQ(estimateMemory(&f.container, 2, bytes), KV_QG3_NO_OBJECT);
}

TEST(QG3Container, DescribesTwoGeneration4ImagesWithMetadata) {
    quarn_test::ExtrasRecord extras;
    extras.presence = 0xF;
    extras.geo = {100.5, 200.25, 9, 9, 0.5, -0.25};
    extras.word = 77;
    extras.noData = {7, {300, 65535}};
    extras.background = {5, {1, 2}};
    HeaderBody second = image(64, 48, 1);
    second.bands = 2;
    second.colorSpace = 5;
    second.flags |= 0x8000;
    second.crop = {2, 4, 21, 13};
    second.cropLevel = 1;
    OpenFile f(quarn_test::rasterFile(
        quarn_test::kGen4Version,
        {quarn_test::headerPacket(1, image(64, 64, 1)), quarn_test::contentsPacket(7),
         quarn_test::planesetPacket(1, 10), quarn_test::headerPacket(2, second),
         quarn_test::planesetPacket(2, 20),
         quarn_test::metadataPacket(3, 0, 2, quarn_test::extrasPayload(extras)),
         quarn_test::metadataPacket(1, 0, 2, {'M', 'D'})}));
    ASSERT_EQ(f.status, KV_OK);
    ASSERT_EQ(f.images().size(), 2u);
    EXPECT_EQ(f.images()[1].imageNumber, 2u);
    EXPECT_EQ(f.images()[1].readerKind, QG3_READER_GEN4);
    EXPECT_EQ(f.container.getContentsId(), 7u);

    QG3MetadataSupport& metadata = *f.container.getMetadataSupport();
    EXPECT_TRUE(metadata.hasMetadata({1, 0, 2}));
    EXPECT_FALSE(metadata.hasMetadata({1, 0, 1}));
    VectorStream payload;
    f.stream.open();
    ASSERT_EQ(metadata.readMetadata({1, 0, 2}, &payload), KV_OK);
    EXPECT_EQ(payload.data, (Bytes{'M', 'D'}));
    EXPECT_EQ(metadata.readMetadata({1, 0, 1}, &payload), KV_QG3_NOT_FOUND);
    payload.writeBudget = 1;
    EXPECT_EQ(metadata.readMetadata({1, 0, 2}, &payload), KV_QG3_WRITE_FAILED);
    f.stream.close();

    QG3FileSimpleImageSource source(&f.container, 2);
    ASSERT_EQ(source.open(), KV_OK);
    EXPECT_EQ(source.getWidth(), 20u);
    EXPECT_EQ(source.getHeight(), 10u);
    EXPECT_EQ(source.getNumLevels(), 0);
    ASSERT_TRUE(source.hasGeoref());
    EXPECT_EQ(source.getXOrigin(), 100.5);
    EXPECT_EQ(source.getYOrigin(), 200.25);
    EXPECT_EQ(source.getXResolution(), 0.5);
    EXPECT_EQ(source.getYResolution(), -0.25);
    const KVIPixel* noData = source.getNoDataPixel();
    ASSERT_NE(noData, nullptr);
    EXPECT_EQ(noData->getNumBands(), 2);
    EXPECT_EQ(noData->getColorSpace(), 0xFF01u);
    EXPECT_EQ(noData->getDataType(), KVI_DATATYPE_UINT16);
    EXPECT_EQ(noData->getSample(0).getAsDouble(), 300.0);
    EXPECT_EQ(noData->getSample(1).getAsDouble(), 65535.0);
    ASSERT_NE(source.getBackgroundPixel(), nullptr);
    EXPECT_EQ(source.getBackgroundPixel()->getSample(1).getAsDouble(), 2.0);
    // The window's level 1 within the stored image's level 2, relative to the window.
    const KVIRect r = source.getLevelRect({2, 2, 5, 5}, 1);
    EXPECT_EQ(r, (KVIRect{1, 1, 2, 2}));
}

TEST(QG3Container, Generation2ImagesAndFirstPacketWins) {
    RasterPacket qg2;
    qg2.header.type = 7;
    qg2.header.imageNumber = 4;
    qg2.body = {'Q', 'G', '2', '!'};
    RasterPacket shadow = qg2;
    shadow.header.imageNumber = 3;
    OpenFile f(quarn_test::rasterFile(quarn_test::kGen3Version,
                                      {quarn_test::headerPacket(3, image(8, 8, 0)), qg2, shadow,
                                       quarn_test::contentsPacket(9, false)}));
    ASSERT_EQ(f.status, KV_OK);
    ASSERT_EQ(f.images().size(), 2u);
    EXPECT_EQ(f.images()[0].imageNumber, 3u);
    EXPECT_EQ(f.images()[0].readerKind, QG3_READER_GEN3);
    EXPECT_EQ(f.images()[1].imageNumber, 4u);
    EXPECT_EQ(f.images()[1].readerKind, QG3_READER_QG2);
    EXPECT_EQ(f.container.getContentsId(), 9u); // a contents packet without a table

    KVIOStreamInf* stream = nullptr;
    ASSERT_EQ(f.container.getQG2ImageStream(4, stream), KV_OK);
    std::unique_ptr<KVIOStreamInf> owned(stream);
    ASSERT_EQ(stream->open(), KV_OK);
    std::uint8_t bytes[8] = {};
    EXPECT_EQ(stream->read(bytes, 8), 4u);
    EXPECT_EQ(Bytes(bytes, bytes + 4), qg2.body);
    EXPECT_EQ(f.container.getQG2ImageStream(5, stream), KV_QG3_NO_OBJECT);
    f.stream.duplicateFails = true;
    EXPECT_EQ(f.container.getQG2ImageStream(4, stream), KV_FAILURE);
}

TEST(QG3Container, ImagesInFileOrderOncePerNumber) {
    // Image numbers out of order and repeated, against a plain first-seen list.
    std::mt19937 random(23);
    for (int round = 0; round < 20; ++round) {
        std::vector<RasterPacket> packets;
        std::vector<QG3ImageDesc> expected;
        const int count = 1 + int(random() % 30);
        for (int p = 0; p < count; ++p) {
            const std::uint32_t number = 1 + random() % 12;
            const bool qg2 = random() % 3 == 0;
            RasterPacket packet = quarn_test::headerPacket(number, image(8, 8, 0));
            if (qg2) {
                packet = RasterPacket{};
                packet.header.type = 7;
                packet.header.imageNumber = number;
                packet.body = {1};
            }
            packets.push_back(packet);
            if (std::none_of(expected.begin(), expected.end(),
                             [&](const QG3ImageDesc& d) { return d.imageNumber == number; }))
                expected.push_back({number, qg2 ? QG3_READER_QG2 : QG3_READER_GEN3});
        }
        OpenFile f(quarn_test::rasterFile(quarn_test::kGen3Version, packets));
        ASSERT_EQ(f.status, KV_OK);
        const std::vector<QG3ImageDesc> images = f.images();
        ASSERT_EQ(images.size(), expected.size()) << round;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(images[i].imageNumber, expected[i].imageNumber) << round;
            EXPECT_EQ(images[i].readerKind, expected[i].readerKind) << round;
            QG3ImageDesc desc;
            ASSERT_EQ(f.container.findImageDescriptor(expected[i].imageNumber, desc), KV_OK);
            EXPECT_EQ(desc.readerKind, expected[i].readerKind);
        }
        QG3ImageDesc desc;
        EXPECT_EQ(f.container.findImageDescriptor(13, desc), KV_QG3_NOT_FOUND);
        EXPECT_EQ(f.container.findImageDescriptor(0, desc), KV_QG3_NOT_FOUND);
    }
}

TEST(QG3Container, AFileOfMoreImagesThanAReaderHoldsIsRefused) {
    // Header packets alone: every distinct number is an image, a repeated number is not.
    const auto headers = [](std::size_t images, std::size_t repeats) {
        std::vector<RasterPacket> packets;
        packets.reserve(images + repeats);
        const RasterPacket first = quarn_test::headerPacket(1, image(8, 8, 0));
        for (std::size_t i = 0; i < images; ++i) {
            packets.push_back(first);
            packets.back().header.imageNumber = static_cast<std::uint32_t>(i + 1);
        }
        for (std::size_t i = 0; i < repeats; ++i)
            packets.push_back(first);
        return quarn_test::rasterFile(quarn_test::kGen3Version, packets);
    };
    {
        OpenFile f(headers(QG3_MAX_IMAGES, 1000));
        ASSERT_EQ(f.status, KV_OK);
        EXPECT_EQ(f.images().size(), QG3_MAX_IMAGES);
    }
    EXPECT_EQ(OpenFile(headers(QG3_MAX_IMAGES + 1, 0)).status, KV_QG3_OUT_OF_MEMORY);
}

TEST(QG3Container, MemoryEstimateIsHeldAtTheLargestValue) {
    HeaderBody b = image(0x7FFFFFFF, 0x7FFFFFFF, 0);
    b.subblockSize = 0xFFFF;
    b.estimateFactor = 255;
    OpenFile f(quarn_test::rasterFile(
        quarn_test::kGen4Version,
        {quarn_test::headerPacket(1, b), quarn_test::planesetPacket(1, ~std::uint64_t(0))}));
    ASSERT_EQ(f.status, KV_OK);
    std::uint64_t bytes = 0;
    f.stream.open();
    ASSERT_EQ(estimateMemory(&f.container, 1, bytes), KV_OK);
    EXPECT_EQ(bytes, std::numeric_limits<std::uint64_t>::max());
}

TEST(QG3Container, HostileMetadataAndExtras) {
    // A metadata count of 4 GiB in a small file, for the image's extras.
    Bytes huge{0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3};
    RasterPacket bad = quarn_test::metadataPacket(3, 0, 1, {});
    bad.body = huge;
    OpenFile f(quarn_test::rasterFile(quarn_test::kGen3Version,
                                      {quarn_test::headerPacket(1, image(8, 8, 0)), bad}));
    ASSERT_EQ(f.status, KV_OK);
    QG3FileSimpleImageSource source(&f.container, 1);
    EXPECT_EQ(source.open(), KV_QG3_READ_FAILED);

    quarn_test::ExtrasRecord extras;
    extras.presence = 16;
    OpenFile g(quarn_test::rasterFile(
        quarn_test::kGen3Version,
        {quarn_test::headerPacket(1, image(8, 8, 0)),
         quarn_test::metadataPacket(3, 0, 1, quarn_test::extrasPayload(extras))}));
    QG3FileSimpleImageSource presence(&g.container, 1);
    EXPECT_EQ(presence.open(), KV_QG3_BAD_EXTRAS);

    // A pixel whose samples run past the record.
    extras.presence = 4;
    extras.noData = {5, {1, 2, 3}};
    Bytes cut = quarn_test::extrasPayload(extras);
    cut.pop_back();
    OpenFile h(quarn_test::rasterFile(
        quarn_test::kGen3Version,
        {quarn_test::headerPacket(1, image(8, 8, 0)), quarn_test::metadataPacket(3, 0, 1, cut)}));
    QG3FileSimpleImageSource shortPixel(&h.container, 1);
    EXPECT_EQ(shortPixel.open(), KV_QG3_READ_FAILED);
}

TEST(QG3Container, EveryCutOfAMinimalFileEndsInAStatus) {
    const Bytes file = quarn_test::rasterFile(
        quarn_test::kGen3Version,
        {quarn_test::headerPacket(1, image(8, 8, 0)), quarn_test::planesetPacket(1, 4, {1, 2})});
    ASSERT_EQ(openEverything(file), KV_OK);
    for (std::size_t cut = 0; cut < file.size(); ++cut) {
        const KVStatus status =
            openEverything(Bytes(file.begin(), file.begin() + std::ptrdiff_t(cut)));
        EXPECT_TRUE(status == KV_QG3_READ_FAILED || status == KV_QG3_NO_OBJECT)
            << cut << " " << status;
    }
    // Damaged bytes anywhere end in a status or a sound open, never a crash.
    for (std::size_t at = 0; at < file.size(); ++at)
        for (std::uint8_t value : {0x00, 0x7F, 0xFF}) {
            Bytes damaged = file;
            damaged[at] = value;
            openEverything(damaged);
        }
}
