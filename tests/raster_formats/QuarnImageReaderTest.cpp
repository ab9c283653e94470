// The reader front and its stage manager over generation-2, -3 and -4 raster files: the files it
// refuses, the numbers it reports, memory usage, multi-image files and damaged files.

#include "QuarnImageReader.h"
#include "ClassicalMetadataWriter.h"
#include "QG2FileWriter.h"
#include "QuarnImageStageManager.h"
#include "QuarnRasterStatus.h"
#include "RasterFileWriter.h"
#include "TestStreams.h"
#include "buffers/KVIMergeMask.h"
#include "filters/KVIMosaicFilter.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "metadata/KVIMetadataTag.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

#include <set>

using namespace Korvel;
using namespace quarn_test;

namespace {

struct Front {
    explicit Front(Bytes bytes, std::uint32_t memoryUsage = 1)
        : stream(std::move(bytes), false), reader(QuarnImageReader::create()) {
        status = reader->initialize(&stream, nullptr, memoryUsage, 3);
    }
    std::array<std::uint8_t, 4> version() const {
        std::array<std::uint8_t, 4> v{9, 9, 9, 9};
        reader->getVersion(v[0], v[1], v[2], v[3]);
        return v;
    }
    std::uint32_t mods(double mag) const {
        return reader->getModifications(
            KVIScene(0, 0, reader->getWidth() * mag, reader->getHeight() * mag, mag));
    }
    VectorStream stream;
    KVIRef<QuarnImageReader> reader;
    KVStatus status = KV_OK;
};

HeaderBody image(std::uint32_t width, std::uint32_t height, std::uint8_t levels) {
    HeaderBody b;
    b.width = width;
    b.height = height;
    b.numLevels = levels;
    b.dataType = 5; // unsigned 8
    return b;
}

Bytes modificationsRecord(const char* text) {
    return ClassicalMetadataWriter().texts("IMAGE::MODIFICATIONS", {text}, {}).eom().bytes();
}

QG2WrittenFile qg2File() {
    QG2FileLayout layout;
    layout.bands = 3;
    layout.width = 40;
    layout.height = 30;
    layout.subbands = {std::nullopt};
    return writeQG2File(layout);
}

} // namespace

TEST(QuarnImageReader, RefusesWhatIsNotARasterFile) {
    EXPECT_EQ(Front(Bytes{'q', 'r', 'n', 'x', 3, 0, 0x1A, 'q'}).status, KV_QRN_NOT_QUARN_FILE);
    EXPECT_EQ(Front(Bytes{'q', 'r', 'n', 'd', 5, 0, 0, 0}).status, KV_QRN_UNKNOWN_VERSION);
    Front cloud(Bytes{'q', 'r', 'n', 'd', 4, 0, 0, 0, 1, 2, 3});
    EXPECT_EQ(cloud.status, KV_QRN_POINT_CLOUD_FILE);
    EXPECT_EQ(cloud.stream.readRequests.size(), 1u); // the header alone was read
    EXPECT_EQ(cloud.version(), (std::array<std::uint8_t, 4>{9, 9, 9, 9}));
    EXPECT_EQ(Front(Bytes{'q', 'r', 'n', 'd', 3}).status, KV_QRN_NOT_QUARN_FILE);

    // A stream that stops short before its end reports its own error; one that reports none
    // still fails.
    for (KVStatus lastError : {KVStatus{77}, KV_OK}) {
        VectorStream stream(rasterFile(kGen3Version, {}), false);
        stream.failReadsAfter(5);
        stream.lastError = lastError;
        const KVIRef<QuarnImageReader> reader(QuarnImageReader::create());
        EXPECT_EQ(reader->initialize(&stream, nullptr, 1, 3),
                  lastError != KV_OK ? lastError : KV_QRN_NOT_QUARN_FILE);
    }
    const KVIRef<QuarnImageReader> reader(QuarnImageReader::create());
    EXPECT_EQ(reader->initialize(nullptr, nullptr, 1, 3), KV_BAD_ARGUMENT);
    // A container without images has no stage 0.
    EXPECT_EQ(Front(rasterFile(kGen3Version, {})).status, KV_BAD_ARGUMENT);
}

TEST(QuarnImageReader, ReportsTheSingleImage) {
    HeaderBody b = image(200, 100, 3);
    b.bands = 4;
    b.colorSpace = 74; // RGB with alpha
    b.dataType = 7;    // unsigned 16
    Front f(singleImageFile(kGen4Version, b));
    ASSERT_EQ(f.status, KV_OK);
    EXPECT_EQ(f.reader->getWidth(), 200u);
    EXPECT_EQ(f.reader->getHeight(), 100u);
    EXPECT_EQ(f.reader->getDataSize(), 200u * 100u * 3u * 2u); // alpha not counted
    EXPECT_EQ(f.version(), (std::array<std::uint8_t, 4>{3, 4, 0, 'a'}));
    EXPECT_EQ(f.reader->getNumLevels(), 3);
    EXPECT_EQ(f.reader->getStripHeight(), 64u);
    EXPECT_EQ(f.reader->getSceneCost(KVIScene(0, 0, 100, 100, 1.0)), 78); // 8 bytes a pixel
    EXPECT_FALSE(f.stream.isOpen());
    // No modification record: unknown, and scaled within the range.
    EXPECT_EQ(f.mods(1.0), KVI_MOD_UNKNOWN);
    EXPECT_EQ(f.mods(0.5), KVI_MOD_UNKNOWN | KVI_MOD_SCALED);
}

TEST(QuarnImageReader, ModificationsComeFromTheImagesRecord) {
    const auto withRecord = [](const char* text) {
        return singleImageFile(kGen3Version, image(64, 64, 2),
                               {metadataPacket(1, 0, 1, modificationsRecord(text))});
    };
    Front lossless(withRecord("LOSSLESS"));
    ASSERT_EQ(lossless.status, KV_OK);
    EXPECT_EQ(lossless.mods(1.0), 0u);
    EXPECT_EQ(lossless.mods(0.25), KVI_MOD_SCALED);
    EXPECT_EQ(lossless.mods(0.125), 0u); // outside [0.25, 2^20]
    Front lossy(withRecord("COMPRESSED SCALED"));
    EXPECT_EQ(lossy.mods(1.0), KVI_MOD_COMPRESSED | KVI_MOD_SCALED);
    EXPECT_EQ(lossy.mods(0.5), KVI_MOD_COMPRESSED | KVI_MOD_SCALED);
}

TEST(QuarnImageReader, LargeEstimatesMakeMemoryUsagePartial) {
    // 95 x 1 band x 2339 x 151 subblocks x 8 = 268,423,640; with a planeset total of 1 (3.4) and
    // the fixed 11,814 the estimate is 0x10000001; without the total, 0x10000001 - 3.
    HeaderBody b = image(2339, 151, 0);
    b.subblockSize = 1;
    b.estimateFactor = 95;
    for (std::uint64_t total : {0, 1}) {
        Front f(singleImageFile(kGen3Version, b, {}, total));
        ASSERT_EQ(f.status, KV_OK);
        const std::uint32_t expected = total == 1 ? QRN_MEMORY_PARTIAL : QRN_MEMORY_AUTOMATIC;
        EXPECT_EQ(f.reader->getMemoryUsage(), expected);
        EXPECT_EQ(
            dynamic_cast<QuarnImageReaderInterface*>(f.reader->getSingleStage())->getMemoryUsage(),
            expected);
    }
    // Only automatic usage is estimated.
    EXPECT_EQ(
        Front(singleImageFile(kGen3Version, b, {}, 1), QRN_MEMORY_FULL).reader->getMemoryUsage(),
        QRN_MEMORY_FULL);
}

TEST(QuarnImageReader, FilesOfSeveralImages) {
    // Two images are read as one mosaic, which merges with tolerance and answers for the file.
    const RasterPacket second = headerPacket(2, image(8, 8, 3));
    Front two(singleImageFile(kGen3Version, image(16, 16, 1), {second, planesetPacket(2, 0)}));
    ASSERT_EQ(two.status, KV_OK);
    EXPECT_EQ(two.reader->getSingleStage(), nullptr);
    ASSERT_NE(two.reader->getMosaic(), nullptr);
    EXPECT_EQ(two.reader->getMosaic()->getMergeMode(), KVI_MERGE_TOLERANT);
    EXPECT_EQ(two.reader->getMosaic()->getStripHeight(), 64u);
    EXPECT_EQ(two.reader->getWidth(), 16u); // both images lie at the default origin
    EXPECT_EQ(two.reader->getNumLevels(), 3);
    EXPECT_EQ(two.mods(1.0), KVI_MOD_MOSAICKED | KVI_MOD_EMBEDDED | KVI_MOD_UNKNOWN);
    // Image statuses pass on: the second image has a data type without samples.
    HeaderBody noSamples = image(8, 8, 0);
    noSamples.dataType = 11;
    EXPECT_EQ(Front(singleImageFile(kGen3Version, image(16, 16, 1),
                                    {headerPacket(2, noSamples), planesetPacket(2, 0)}))
                  .status,
              KV_QRN_DATA_TYPE_UNSUPPORTED);

    // The image named by the contents packet is the extra stage, not counted among the images.
    const Bytes withExtra = singleImageFile(kGen4Version, image(16, 16, 1),
                                            {second, planesetPacket(2, 0), contentsPacket(2)});
    Front one(withExtra);
    ASSERT_EQ(one.status, KV_OK);
    EXPECT_EQ(one.reader->getWidth(), 16u);
    VectorStream stream(withExtra, false);
    const KVIRef<QuarnImageStageManager> manager(QuarnImageStageManager::create());
    ASSERT_EQ(manager->open(&stream, 1, 3), KV_OK);
    EXPECT_EQ(manager->getNumImages(), 1u);
    KVIImageStage* extra = nullptr;
    ASSERT_EQ(manager->getOverviewImageStage(extra), KV_OK);
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(extra->getWidth(), 8u);
    extra->release();
    EXPECT_EQ(manager->getImageStage(1), nullptr);
}

TEST(QuarnImageReader, Generation2FilesAloneAndInAContainer) {
    const QG2WrittenFile qg2 = qg2File();
    Front alone(qg2.bytes);
    ASSERT_EQ(alone.status, KV_OK);
    EXPECT_EQ(alone.version(), (std::array<std::uint8_t, 4>{1, 1, 0, 0}));
    EXPECT_EQ(alone.reader->getDataSize(), 40u * 30u * 3u);
    double size = 0;
    EXPECT_EQ(KVIMetadataAccessor(alone.reader->getMetadata()).getInputFileSize(size), KV_OK);
    EXPECT_EQ(size, double(qg2.bytes.size()));
    EXPECT_EQ(alone.mods(1.0), KVI_MOD_UNKNOWN);

    // Stored in a container, the image is read through a stream of its own that its reader owns.
    const int live = VectorStream::live;
    {
        Front inside(rasterFile(kGen3Version, {qg2Packet(4, qg2.bytes)}));
        ASSERT_EQ(inside.status, KV_OK);
        EXPECT_EQ(inside.reader->getWidth(), 40u);
        EXPECT_EQ(inside.version(), (std::array<std::uint8_t, 4>{3, 0, 0x1A, 'q'}));
        EXPECT_EQ(VectorStream::live, live + 2);
    }
    EXPECT_EQ(VectorStream::live, live);
}

TEST(QuarnDamagedFiles, EveryCutFails) {
    ExtrasRecord extras;
    extras.presence = 0xD; // georeferencing, no-data and background pixels
    extras.noData.samples = {1, 2, 3};
    extras.background.samples = {4, 5, 6};
    HeaderBody b = image(64, 32, 2);
    b.bands = 3;
    b.colorSpace = 10;
    b.flags |= 0x8000;
    b.crop = {1, 1, 30, 20};
    const std::vector<RasterPacket> packets{
        headerPacket(1, b), planesetPacket(1, 0), metadataPacket(3, 0, 1, extrasPayload(extras)),
        metadataPacket(1, 0, 1, modificationsRecord("LOSSLESS"))};
    // A cut between two packets leaves a sound file of fewer packets.
    std::set<std::size_t> sound;
    for (std::size_t n = 2; n < packets.size(); ++n)
        sound.insert(rasterFile(kGen4Version, {packets.begin(), packets.begin() + n}).size());
    const Bytes qg2 = qg2File().bytes;
    const std::set<std::size_t> qg2Sound{27, 28}; // after the offset table: no segments
    const std::pair<Bytes, std::set<std::size_t>> files[] = {
        {rasterFile(kGen4Version, packets), sound},
        {rasterFile(kGen3Version, {qg2Packet(1, qg2)}), {}},
        {qg2, qg2Sound}};
    for (const auto& [whole, tolerated] : files) {
        ASSERT_EQ(Front(whole).status, KV_OK);
        for (std::size_t cut = 0; cut < whole.size(); ++cut) {
            if (tolerated.contains(cut)) continue;
            EXPECT_NE(Front(Bytes(whole.begin(), whole.begin() + cut)).status, KV_OK) << cut;
        }
    }
}

TEST(QuarnDamagedFiles, FieldsOutOfRangeFail) {
    const auto patched = [](std::size_t at, std::uint64_t value, unsigned width) {
        Bytes bytes = singleImageFile(kGen3Version, image(16, 16, 1),
                                      {metadataPacket(1, 0, 1, modificationsRecord("LOSSLESS"))});
        putBE(bytes, at, value, width);
        return Front(bytes).status;
    };
    // File header 8, header packet header 6 (type, keys byte, image number, flags, u64 length),
    // so the header body starts at 8 + 2 + 4 + 2 + 8 = 24.
    constexpr std::size_t body = 24;
    EXPECT_NE(patched(16, 0xFFFFFFFF, 4), KV_OK); // header packet length
    EXPECT_NE(patched(body + 16, 70, 1), KV_OK);  // numLevels
    EXPECT_NE(patched(body + 20, 0, 2), KV_OK);   // subblock size
    EXPECT_NE(patched(body + 8, 0, 4), KV_OK);    // width
    EXPECT_EQ(patched(body + 22, 11, 1), KV_QRN_DATA_TYPE_UNSUPPORTED);
    EXPECT_EQ(patched(body + 31, 2, 1), KV_QRN_COLOR_SPACE_UNSUPPORTED);
    const std::size_t metadata = singleImageFile(kGen3Version, image(16, 16, 1)).size();
    EXPECT_NE(
        Front(singleImageFile(kGen3Version, image(16, 16, 1), {metadataPacket(3, 0, 1, Bytes{16})}))
            .status,
        KV_OK); // image extras presence byte
    // Its metadata packet: a header of 15 bytes, then the payload's count and the payload.
    EXPECT_NE(patched(metadata + 15, 0xFFFFFFF, 4), KV_OK); // payload count
    EXPECT_NE(patched(metadata + 19, 0x7FFF, 2), KV_OK);    // classical block's first word
}
