#include "QG2FileWriter.h"
#include "TestStreams.h"
#include "qg2/QG2DecodeBlock.h"
#include "qg2/QG2Decoder.h"
#include "qg2/QG2FileDBInfo.h"
#include "qg2/QG2Status.h"
#include "support/KVUtilException.h"

#include <gtest/gtest.h>
#include <set>

namespace Korvel {
namespace {

using namespace quarn_test;

// Coefficient rasters for the blocks of a region, each of its clipped size, row by row.
std::vector<std::vector<std::int32_t>> rastersFor(const KVIRect& r, std::int32_t bw,
                                                  std::int32_t bh, std::int32_t seed) {
    std::vector<std::vector<std::int32_t>> blocks;
    for (std::int32_t y = r.y0; y <= r.y1; y += bh) {
        for (std::int32_t x = r.x0; x <= r.x1; x += bw) {
            std::vector<std::int32_t> raster((std::min(x + bw - 1, r.x1) - x + 1) *
                                             (std::min(y + bh - 1, r.y1) - y + 1));
            for (std::size_t i = 0; i < raster.size(); ++i)
                raster[i] = (i * 7 + seed) % 5 != 0 ? 0 : i % 2 ? 300 : -20;
            blocks.push_back(raster);
        }
    }
    return blocks;
}

QG2RegionLayout region(const KVIRect& r, std::vector<std::optional<QG2BandLayout>> bands) {
    return QG2RegionLayout{std::uint32_t(r.x0), std::uint32_t(r.y0), std::uint32_t(r.x1),
                           std::uint32_t(r.y1), std::move(bands)};
}

// Two bands, one level; subbands 0 and 2 have data, 1 and 3 none. Region 0 of subband 0 has only
// band 0, in 3 x 2 blocks of 4 x 4 clipped to 10 x 6.
struct Sample {
    QG2FileLayout layout;
    std::vector<std::vector<std::vector<std::int32_t>>> rasters; // per directory, in file order
};

Sample sample() {
    Sample s;
    const KVIRect r0{0, 0, 9, 5}, r1{10, 0, 14, 5}, r2{0, 0, 2, 2};
    s.rasters = {rastersFor(r0, 4, 4, 1), rastersFor(r1, 5, 6, 2), rastersFor(r1, 5, 6, 3),
                 rastersFor(r2, 3, 3, 4)};
    QG2FileLayout& l = s.layout;
    l.bands = 2;
    l.levels = 1;
    l.width = 20;
    l.height = 12;
    QG2SubbandLayout first{3, 5, {}};
    first.regions.push_back(region(r0, {qg2CodedBand(s.rasters[0], 4, 4, 0.5f), std::nullopt}));
    first.regions.push_back(
        region(r1, {qg2CodedBand(s.rasters[1], 5, 6), qg2CodedBand(s.rasters[2], 5, 6)}));
    QG2SubbandLayout third{0, 0, {region(r2, {qg2CodedBand(s.rasters[3], 3, 3), std::nullopt})}};
    l.subbands = {first, std::nullopt, third, std::nullopt};
    return s;
}

struct Opened {
    std::unique_ptr<VectorStream> stream;
    std::unique_ptr<QG2FileDBInfo> info;
    KVStatus status;
};

Opened open(std::vector<std::uint8_t> bytes, bool keepOpen = true) {
    Opened o{std::make_unique<VectorStream>(std::move(bytes), false), nullptr, KV_OK};
    o.info = std::make_unique<QG2FileDBInfo>(o.stream.get(), true, keepOpen, false);
    o.status = o.info->readHeader();
    return o;
}

// Opening, then making band 0 of region 0 of a subband and reading one of its blocks.
KVStatus bandStatus(const std::vector<std::uint8_t>& bytes, std::uint32_t block = 0,
                    std::uint32_t subband = 0) {
    Opened o = open(bytes);
    std::unique_ptr<QG2Band> band;
    std::vector<std::uint8_t> data;
    KVStatus status = o.status;
    if (status == KV_OK) status = o.info->getSubbandInfo(subband)->createBand(0, 0, band);
    if (status == KV_OK) status = band->readBlock(block, data);
    return status;
}

TEST(QG2File, VersionsAcceptedAndRefused) {
    // A first byte of 0, or 1 with a second byte of 0 or 1.
    for (const int v : {99, 100, 117, 120, 200}) {
        Sample s = sample();
        s.layout.version = {std::uint8_t(v / 100), std::uint8_t(v / 10 % 10), std::uint8_t(v % 10)};
        const Opened o = open(writeQG2File(s.layout).bytes);
        EXPECT_EQ(o.status, v < 120 ? KV_OK : KV_QG2_BAD_VERSION) << v;
        EXPECT_TRUE(o.status != KV_OK || o.info->getVersion() == s.layout.version);
    }
    std::vector<std::uint8_t> bytes = writeQG2File(sample().layout).bytes;
    bytes[3] = 'D';
    EXPECT_EQ(open(bytes).status, KV_QG2_BAD_MAGIC);
}

TEST(QG2File, HeaderAndEachOptionalSegment) {
    for (int mask = 0; mask < 8; ++mask) {
        Sample s = sample();
        s.layout.d0 = (mask & 1) != 0;
        s.layout.metadata = {0xFF, 0xD1, 0, 0};
        if (mask & 2) s.layout.region = std::array<std::uint32_t, 5>{2, 3, 15, 9, 1};
        s.layout.d3 = (mask & 4) != 0;
        const QG2WrittenFile file = writeQG2File(s.layout);
        const Opened o = open(file.bytes);
        ASSERT_EQ(o.status, KV_OK) << mask;
        const QG2FileDBInfo& info = *o.info;
        EXPECT_EQ(info.getNumBands() * 100 + info.getNumLevels(), 201u);
        EXPECT_EQ(info.getWidth() * 100 + info.getHeight(), 2012u);
        EXPECT_EQ(info.getNumSubbands(), 4u);
        EXPECT_EQ(info.getSubbandOffset(2), file.subbandAt[2]);
        EXPECT_TRUE(info.getSubbandInfo(1) == nullptr && info.getSubbandInfo(2) != nullptr);
        EXPECT_EQ(info.getMetadataOffset(), s.layout.d0 ? file.metadataAt : 0u);
        EXPECT_EQ(info.hasStoredRegion(), (mask & 2) != 0);
        EXPECT_EQ(info.getRegion(), ((mask & 2) ? KVIRect{2, 3, 15, 9} : KVIRect{0, 0, 19, 11}));
        EXPECT_EQ(info.getLevelOffset(), (mask & 2) ? 1u : 0u);
        EXPECT_EQ(info.getD3Position(), s.layout.d3 ? file.afterSegments : 0u);
    }
    // Segments are read only in their order: a 0xD3 where 0xD0 stood ends them there.
    Sample s = sample();
    s.layout.d0 = true;
    s.layout.region = std::array<std::uint32_t, 5>{2, 3, 15, 9, 1};
    QG2WrittenFile file = writeQG2File(s.layout);
    file.bytes[file.d0At - 1] = 0xD3;
    const Opened o = open(file.bytes);
    ASSERT_EQ(o.status, KV_OK);
    EXPECT_EQ(o.info->getD3Position(), file.d0At);
    EXPECT_FALSE(o.info->hasStoredRegion());
}

TEST(QG2File, SubbandRegionsAreFoundThroughTheirGrid) {
    QG2FileLayout l;
    l.width = l.height = 40;
    const QG2BandLayout band = qg2CodedBand({{0}}, 64, 64);
    // A: top left, B: right and tall, C: below A (no data), D far away.
    l.subbands = {
        QG2SubbandLayout{9,
                         200,
                         {region({0, 0, 9, 3}, {band}), region({10, 0, 19, 7}, {band}),
                          region({0, 4, 9, 7}, {std::nullopt}), region({30, 30, 31, 31}, {band})}}};
    const Opened o = open(writeQG2File(l).bytes);
    ASSERT_EQ(o.status, KV_OK);
    QG2SubbandInfo& info = *o.info->getSubbandInfo(0);
    EXPECT_EQ(info.getColumnDitherOffset() * 1000 + info.getRowDitherOffset(), 9200u);
    EXPECT_EQ(info.getRegion(1), (KVIRect{10, 0, 19, 7}));
    EXPECT_EQ(info.getBoundingBox(), (KVIRect{0, 0, 31, 31}));
    std::unique_ptr<QG2Band> none;
    EXPECT_EQ(info.createBand(2, 0, none), KV_BAD_ARGUMENT);

    // Row of cells by row of cells, each region once.
    std::vector<std::uint32_t> met;
    auto meeting = [&](const KVIRect& r) {
        EXPECT_EQ(info.regionsMeeting(r, met), KV_OK);
        return met;
    };
    EXPECT_EQ(meeting({0, 0, 39, 39}), (std::vector<std::uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(meeting({5, 5, 12, 6}), (std::vector<std::uint32_t>{2, 1}));
    EXPECT_EQ(meeting({15, 2, 31, 30}), (std::vector<std::uint32_t>{1, 3}));
    EXPECT_TRUE(meeting({20, 10, 29, 29}).empty());
    EXPECT_TRUE(meeting({}).empty());
}

TEST(QG2File, BandsReadTheirDirectoryAndBlocksDecode) {
    // Each block ends where the next block, the next directory, the next subband, the metadata or
    // the file's last two bytes begin: read back, it is exactly the block written.
    for (bool withMetadata : {true, false}) {
        Sample s = sample();
        s.layout.d0 = withMetadata;
        if (withMetadata) s.layout.metadata = {0xFF, 0xD1, 9, 9, 9};
        const QG2WrittenFile file = writeQG2File(s.layout);
        Opened o = open(file.bytes);
        ASSERT_EQ(o.status, KV_OK);
        for (std::size_t d = 0; d < file.directories.size(); ++d) {
            const QG2DirectoryPlace& place = file.directories[d];
            const QG2BandLayout& written =
                *s.layout.subbands[place.subband]->regions[place.region].bands[place.band];
            std::unique_ptr<QG2Band> band;
            ASSERT_EQ(
                o.info->getSubbandInfo(std::uint32_t(place.subband))
                    ->createBand(std::uint32_t(place.region), std::uint32_t(place.band), band),
                KV_OK);
            EXPECT_EQ(band->getBits(), written.table.bits);
            EXPECT_EQ(band->getHuffVal(), written.table.huffval);
            EXPECT_EQ(band->getStep(), written.step);
            EXPECT_EQ(band->getBlockHeight(), written.blockHeight);
            QG2HuffmanTree tree;
            ASSERT_EQ(band->buildTree(tree), KV_OK);
            ASSERT_EQ(band->getBlockCount(), written.blocks.size());
            for (std::uint32_t k = 0; k < band->getBlockCount(); ++k) {
                std::vector<std::uint8_t> bytes;
                ASSERT_EQ(band->readBlock(k, bytes), KV_OK);
                EXPECT_EQ(bytes, written.blocks[k]);
                const KVIRect rect = band->getBlockRect(k);
                std::vector<std::int32_t> out(rect.width() * rect.height());
                qg2DecodeBlock(tree, bytes.data(), bytes.size(), out.data(), rect, rect, nullptr);
                EXPECT_EQ(out, s.rasters[d][k]);
            }
        }
    }
    // Block rectangles are clipped to the region; there is no block beyond the grid.
    Opened o = open(writeQG2File(sample().layout).bytes);
    std::unique_ptr<QG2Band> band;
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(o.info->getSubbandInfo(0)->createBand(0, 0, band), KV_OK);
    EXPECT_EQ(band->getBlockRect(5), (KVIRect{8, 4, 9, 5}));
    EXPECT_EQ(band->readBlock(6, bytes), KV_BAD_ARGUMENT);
}

TEST(QG2File, StreamUseCloneAndLocks) {
    const std::vector<std::uint8_t> bytes = writeQG2File(sample().layout).bytes;
    Opened o = open(bytes, false);
    ASSERT_EQ(o.status, KV_OK);
    EXPECT_EQ(o.stream->openCalls * 10 + o.stream->isOpen(), 10); // opened and closed again
    EXPECT_TRUE(open(bytes, true).stream->isOpen());
    std::unique_ptr<QG2DBInfo> copy;
    ASSERT_EQ(o.info->clone(copy), KV_OK);
    EXPECT_EQ(copy->getSubbandOffset(2), o.info->getSubbandOffset(2));
    EXPECT_NE(copy->getStream(), o.stream.get());
    o.stream->duplicateFails = true;
    EXPECT_EQ(o.info->clone(copy), KV_QG2_SEEK_FAILED);

    VectorStream refusing(bytes, false);
    refusing.openFailStatus = KV_FAILURE;
    QG2FileDBInfo shared(&refusing, false, false, true);
    EXPECT_EQ(shared.readHeader(), KV_QG2_SEEK_FAILED);
    // Shared use takes the mutex; otherwise the lock calls do nothing.
    EXPECT_EQ(shared.lockIfShared() + shared.unlockIfShared(), KV_OK);
    EXPECT_EQ(shared.unlockIfShared(), KV_MUTEX_RELEASE_FAILED);
    EXPECT_EQ(o.info->unlockIfShared(), KV_OK);
}

TEST(QG2HostileFile, FieldsBeyondReasonEndInStatuses) {
    QG2WrittenFile file = writeQG2File(sample().layout);
    const QG2DirectoryPlace& dir = file.directory(0, 0, 0);
    const std::size_t record = file.subbandAt[0] + 8, blockSize = dir.tableAt - 8;
    auto patched = [&](std::size_t at, std::uint32_t value, std::uint32_t block = 0) {
        std::vector<std::uint8_t> bytes = file.bytes;
        qg2PutU32(bytes, at, value);
        return bandStatus(bytes, block);
    };
    ASSERT_EQ(bandStatus(file.bytes), KV_OK);
    EXPECT_EQ(patched(11, 32), KV_QG2_BAD_STRUCTURE); // levels
    EXPECT_EQ(patched(11, 31), KV_QG2_SHORT_READ);    // 94 offsets do not fit
    EXPECT_EQ(patched(15, 0), KV_QG2_BAD_STRUCTURE);  // width
    EXPECT_EQ(patched(19, 0x80000000u), KV_QG2_BAD_STRUCTURE);
    EXPECT_EQ(patched(file.offsetsAt, 0x7FFFFFFF), KV_QG2_SHORT_READ);
    EXPECT_EQ(patched(file.subbandAt[0], 0xFFAD0102), KV_QG2_BAD_STRUCTURE);
    EXPECT_EQ(patched(record - 4, 0x10000000), KV_QG2_SHORT_READ); // region count
    EXPECT_EQ(patched(record + 8, 10), KV_QG2_BAD_STRUCTURE);      // x0 beyond x1
    EXPECT_EQ(patched(record + 20, 0x7FFFFFFF), KV_QG2_BAD_STRUCTURE);
    EXPECT_EQ(patched(record + 20, 0x7FFFFFF0), KV_QG2_SHORT_READ);   // too many block offsets
    EXPECT_EQ(patched(record, 0x7FFFFFFF), KV_QG2_SHORT_READ);        // directory offset
    EXPECT_EQ(patched(dir.at, 0xFFAB0000), KV_QG2_BAD_STRUCTURE);     // directory marker
    EXPECT_EQ(patched(dir.at + 2, 0xFFFF0000), KV_QG2_BAD_STRUCTURE); // 510 codes
    EXPECT_EQ(patched(blockSize, 0), KV_QG2_BAD_STRUCTURE);
    EXPECT_EQ(patched(blockSize + 4, 0), KV_QG2_BAD_STRUCTURE);
    EXPECT_EQ(patched(dir.tableAt, 0x00FFFFFF), KV_QG2_BAD_STRUCTURE);  // ends before it begins
    EXPECT_EQ(patched(dir.tableAt + 4, 0x00FFFFFF), KV_QG2_SHORT_READ); // ends beyond the file
    // A subband's last block ends at the metadata offset, here beyond the file.
    Sample s = sample();
    s.layout.d0 = true;
    s.layout.metadata = {0xFF, 0xD1};
    file = writeQG2File(s.layout);
    EXPECT_EQ(bandStatus(file.bytes, 0, 2), KV_OK);
    qg2PutU32(file.bytes, file.d0At, 0x00FFFFFF);
    EXPECT_EQ(bandStatus(file.bytes, 0, 2), KV_QG2_SHORT_READ);
    // A stored region that is inverted, or a level offset beyond reason.
    s.layout.region = std::array<std::uint32_t, 5>{5, 9, 4, 12, 0};
    EXPECT_EQ(open(writeQG2File(s.layout).bytes).status, KV_QG2_BAD_STRUCTURE);
    s.layout.region = std::array<std::uint32_t, 5>{0, 0, 15, 11, 32};
    EXPECT_EQ(open(writeQG2File(s.layout).bytes).status, KV_QG2_BAD_STRUCTURE);
}

TEST(QG2HostileFile, RegionsThatOverlapOrMakeAHugeGrid) {
    QG2FileLayout l = sample().layout;
    l.subbands[2]->regions.push_back(region({2, 2, 3, 3}, {std::nullopt, std::nullopt}));
    EXPECT_EQ(open(writeQG2File(l).bytes).status, KV_QG2_BAD_STRUCTURE);
    // 2100 regions on a diagonal make 2100 x 2100 cells, over the cap: refused before allocating.
    l.subbands[2]->regions.clear();
    for (std::uint32_t k = 0; k < 2100; ++k)
        l.subbands[2]->regions.push_back(region({int(k), int(k), int(k), int(k)}, {}));
    EXPECT_EQ(open(writeQG2File(l).bytes).status, KV_QG2_BAD_STRUCTURE);
    l.subbands[2]->regions.resize(2000);
    EXPECT_EQ(open(writeQG2File(l).bytes).status, KV_OK);
}

TEST(QG2HostileFile, EveryCutEndsInAStatus) {
    Sample s = sample();
    s.layout.d0 = true;
    const std::vector<std::uint8_t> whole = writeQG2File(s.layout).bytes;
    const std::set<KVStatus> allowed{
        KV_OK,          KV_QG2_SHORT_READ, KV_QG2_BAD_MAGIC, KV_QG2_BAD_STRUCTURE, KV_QG2_BAD_BLOCK,
        KV_QG2_BAD_CODE};
    std::size_t decoded = 0;
    for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        Opened o = open({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)});
        ASSERT_TRUE(allowed.count(o.status)) << cut;
        for (std::uint32_t sb = 0; o.status == KV_OK && sb < 4; sb += 2) {
            std::unique_ptr<QG2Band> band;
            QG2HuffmanTree tree;
            KVStatus status = o.info->getSubbandInfo(sb)->createBand(0, 0, band);
            if (status == KV_OK) status = band->buildTree(tree);
            for (std::uint32_t k = 0; status == KV_OK && k < band->getBlockCount(); ++k) {
                std::vector<std::uint8_t> bytes;
                const KVIRect rect = band->getBlockRect(k);
                std::vector<std::int32_t> out(rect.width() * rect.height());
                try {
                    status = band->readBlock(k, bytes);
                    if (status == KV_OK && !bytes.empty() && ++decoded)
                        qg2DecodeBlock(tree, bytes.data(), bytes.size(), out.data(), rect, rect,
                                       nullptr);
                } catch (const KVUtilException& e) {
                    status = e.getStatus();
                }
            }
            ASSERT_TRUE(allowed.count(status)) << cut << ": " << status;
        }
    }
    EXPECT_GT(decoded, 0u);
}

} // namespace
} // namespace Korvel
