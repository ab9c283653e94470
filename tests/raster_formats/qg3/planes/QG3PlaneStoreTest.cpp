// Files written with the plane-item writer in every kind, layout, prefix form, word and value
// width, read back through the plane store with both position tables; the store's own cases;
// damaged plane data; the bytes a raster-block scan reads.

#include "PlaneFile.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3FilePlaneStore.h"
#include "qg3/planes/QG3FilePlaneStoreClient.h"
#include "qg3/planes/QG3PartialFindCache.h"
#include "qg3/planes/QG3PlaneRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace Korvel;
using namespace quarn_test;

namespace {

constexpr std::uint32_t kPerBand = QG3PlaneRecord::kRecordsPerBand;

// Random items: some subblocks without any, one whose first item lies in band 1.
PlaneItemWriter randomItems(const PlaneGeometry& g, unsigned bands, unsigned planes,
                            const PlaneFormat& format, std::mt19937& rng) {
    PlaneItemWriter writer(g, bands, planes, format);
    const std::vector<SubblockRef>& order = writer.order();
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (rng() % 4 == 0) continue;
        for (unsigned b = (i == 1 ? 1 : 0); b < bands; ++b)
            for (unsigned p = 0; p < planes; ++p) {
                if (rng() % 3 != 0) continue;
                PlaneItem item;
                item.data.resize(rng() % 24);
                for (std::uint8_t& byte : item.data)
                    byte = static_cast<std::uint8_t>(rng());
                item.raw = rng() % 2;
                item.word = static_cast<std::uint16_t>(rng());
                item.value =
                    format.valueWidth == 4 ? rng() : rng() % (1u << (8 * format.valueWidth));
                writer.set(order[i].subband, order[i].subblock, b, p, item);
            }
    }
    return writer;
}

bool hasAny(const PlaneItemWriter& w, const SubblockRef& ref, unsigned bands, unsigned planes) {
    for (unsigned b = 0; b < bands; ++b)
        for (unsigned p = 0; p < planes; ++p)
            if (w.get(ref.subband, ref.subblock, b, p)) return true;
    return false;
}

// The records of one subblock hold exactly the written items of the selected bands.
void expectRecords(const PlaneItemWriter& w, const SubblockRef& ref, const QG3BandSet& selected,
                   const std::vector<QG3PlaneRecord>& records, unsigned planes) {
    unsigned ordinal = 0;
    for (unsigned b = 0; b < selected.getBitCount(); ++b) {
        if (!selected.isSet(static_cast<std::uint16_t>(b))) continue;
        for (unsigned p = 0; p < kPerBand; ++p) {
            const QG3PlaneRecord& r = records[ordinal * kPerBand + p];
            const PlaneItem* item = p < planes ? w.get(ref.subband, ref.subblock, b, p) : nullptr;
            ASSERT_EQ(r.filled(), item != nullptr) << ref.subband << "/" << ref.subblock;
            if (!item) continue;
            ASSERT_EQ(r.length, item->data.size());
            EXPECT_TRUE(std::equal(item->data.begin(), item->data.end(), r.data));
            EXPECT_EQ(r.raw(), item->raw);
            EXPECT_EQ(r.value, w.format().valueWidth ? item->value : 0u);
            EXPECT_EQ((r.flags & QG3PlaneRecord::kWordPresent) != 0, w.format().hasWord);
            EXPECT_EQ(r.word, w.format().hasWord ? item->word : 0u);
        }
        ++ordinal;
    }
}

} // namespace

// Every (kind, layout, prefix form, word, value width): the scan finds the subblocks with data,
// and every subblock read with any band selection gives back the written items. The partial
// table (data-first files) answers as the full one, with reads in random order so that its
// forward walk resumes right of its cache and restarts left of it.
TEST(QG3PlaneStore, ReadsBackWhatTheWriterLaidOut) {
    std::mt19937 rng(5);
    const PlaneGeometry geometries[] = {{40, 100, 3, 8}, {37, 23, 2, 4}, {9, 30, 0, 4}};
    for (std::uint8_t kind : {1, 5})
        for (std::uint8_t layout : {0, 2, 3})
            for (bool wide : {false, true})
                for (bool word : {false, true})
                    for (unsigned valueWidth : {0u, 1u, 2u, 4u}) {
                        const PlaneGeometry& g = geometries[rng() % 3];
                        const unsigned bands = 2 + rng() % 2;
                        const unsigned planes = rng() % 2 ? kPerBand : 3 + rng() % 6;
                        PlaneFormat format{kind,
                                           layout,
                                           wide,
                                           word,
                                           valueWidth,
                                           1 + unsigned(rng() % 3),
                                           rng() % 2 ? 0u : 5u};
                        const PlaneItemWriter writer = randomItems(g, bands, planes, format, rng);
                        PlaneFile file(writer.file(HeaderBody{}));
                        ASSERT_EQ(file.status, KV_OK);
                        SCOPED_TRACE(testing::Message()
                                     << int(kind) << int(layout) << wide << word << valueWidth);
                        std::vector<std::uint32_t> models{QG3_MEMORY_MODEL_FULL};
                        if (layout == 2) models.push_back(QG3_MEMORY_MODEL_PARTIAL);
                        for (std::uint32_t model : models) {
                            QG3FilePlaneStore store(*file.info, model);
                            ASSERT_EQ(store.initialize(*file.reader(rng() % 2)), KV_OK);
                            QG3FilePlaneStoreClient client(store, file.reader(rng() % 2));
                            std::vector<SubblockRef> refs = writer.order();
                            std::shuffle(refs.begin(), refs.end(), rng);
                            std::vector<QG3PlaneRecord> records(bands * kPerBand);
                            for (int selection = 0; selection < 3; ++selection) {
                                QG3BandSet& set = file.info->bandSet;
                                set.setAll();
                                if (selection > 0) {
                                    set.clearAll();
                                    set.set(static_cast<std::uint16_t>(
                                        selection == 1 ? 0 : bands - 1 - rng() % 2));
                                }
                                for (const SubblockRef& ref : refs) {
                                    EXPECT_EQ(client.hasSubblocks(std::uint8_t(ref.subband),
                                                                  ref.subblock, ref.subblock),
                                              hasAny(writer, ref, bands, planes));
                                    ASSERT_EQ(client.readSubblock(std::uint8_t(ref.subband),
                                                                  ref.subblock, records.data()),
                                              KV_OK);
                                    expectRecords(writer, ref, set, records, planes);
                                }
                            }
                            file.info->bandSet.setAll();
                        }
                    }
}

TEST(QG3PlaneStore, FindsFirstItemsAndWalksRows) {
    PlaneFormat format;
    format.layout = 2;
    PlaneItemWriter writer({64, 16, 0, 8}, 2, 4, format); // one row of 8 subblocks
    writer.set(0, 1, 1, 2, PlaneItem{{1}});               // first item in band 1
    for (std::uint32_t k : {3u, 4u, 6u})
        writer.set(0, k, 0, 0, PlaneItem{{std::uint8_t(k)}});
    PlaneFile file(writer.file(HeaderBody{}));
    ASSERT_EQ(file.status, KV_OK);

    QG3FilePlaneStore full(*file.info, QG3_MEMORY_MODEL_FULL);
    auto reader = file.reader(true);
    ASSERT_EQ(full.initialize(*reader), KV_OK);
    bool found = false;
    QG3SubblockKey at;
    QG3SubblockPosition position;
    ASSERT_EQ(full.find({1, 0, 0, 0}, *reader, found, at, position), KV_OK);
    EXPECT_FALSE(found);
    ASSERT_EQ(full.find({1, 65535, 0, 255}, *reader, found, at, position), KV_OK);
    EXPECT_TRUE(found);
    EXPECT_EQ(at, (QG3SubblockKey{1, 1, 0, 2}));
    ASSERT_EQ(full.find({2, 65535, 0, 255}, *reader, found, at, position), KV_OK);
    EXPECT_FALSE(found);

    // The partial table knows subblock 1's position; the others come from walks, resumed from
    // the cache to the right and restarted from the row's first to the left.
    QG3FilePlaneStore partial(*file.info, QG3_MEMORY_MODEL_PARTIAL);
    ASSERT_EQ(partial.initialize(*reader), KV_OK);
    auto walker = file.reader(false);
    std::vector<QG3PlaneRecord> records(2 * kPerBand);
    for (std::uint32_t k : {4u, 6u, 3u, 1u}) {
        ASSERT_EQ(partial.readSubblock({k, 65535, 0, 255}, file.info->bandSet, *walker, found,
                                       records.data()),
                  KV_OK);
        EXPECT_TRUE(found);
        const QG3PartialFindCache* cache = walker->getFindCache();
        ASSERT_TRUE(cache);
        EXPECT_EQ(cache->column, k == 1 ? 3 : k) << k; // the row's first needs no walk
        EXPECT_EQ(records[0].filled(), k != 1);
        if (k != 1) {
            EXPECT_EQ(records[0].data[0], k);
        }
    }
    ASSERT_EQ(partial.find({5, 65535, 0, 255}, *walker, found, at, position), KV_OK);
    EXPECT_FALSE(found);

    QG3FilePlaneStoreClient client(full, file.reader(false));
    EXPECT_FALSE(client.hasSubblocks(0, 7, 7));
    EXPECT_FALSE(client.hasSubblocks(0, 5, 5));
    EXPECT_TRUE(client.hasSubblocks(0, 5, 7));
    EXPECT_TRUE(client.hasSubblocks(0, 0, 100));
    EXPECT_FALSE(client.hasSubblocks(0, 4, 3));
    EXPECT_FALSE(client.wantsStripCacheCleared());

    // Interleaved files have no forward walk: the partial table fails past a row's first.
    format.layout = 0;
    PlaneItemWriter interleaved({64, 16, 0, 8}, 1, 1, format);
    interleaved.set(0, 2, 0, 0, PlaneItem{{1}});
    interleaved.set(0, 3, 0, 0, PlaneItem{{2}});
    PlaneFile file0(interleaved.file(HeaderBody{}));
    QG3FilePlaneStore store0(*file0.info, QG3_MEMORY_MODEL_PARTIAL);
    ASSERT_EQ(store0.initialize(*file0.reader(false)), KV_OK);
    QG3FilePlaneStoreClient client0(store0, file0.reader(false));
    EXPECT_EQ(client0.readSubblock(0, 2, records.data()), KV_OK);
    EXPECT_EQ(client0.readSubblock(0, 3, records.data()), KV_QG3_NOT_AVAILABLE);
    QG3FilePlaneStore store4(*file0.info, 4);
    EXPECT_EQ(store4.initialize(*file0.reader(false)), KV_QG3_NOT_AVAILABLE);
}

TEST(QG3PlaneStore, RasterBlocksOfNoBlockHoldNothing) {
    PlaneFormat format;
    format.layout = 3;
    format.blocks = 0;
    PlaneItemWriter writer({20, 20, 1, 8}, 1, 2, format);
    writer.set(1, 0, 0, 0, PlaneItem{{1}});
    PlaneFile file(writer.file(HeaderBody{}));
    QG3FilePlaneStore store(*file.info, QG3_MEMORY_MODEL_FULL);
    ASSERT_EQ(store.initialize(*file.reader(false)), KV_OK);
    QG3FilePlaneStoreClient client(store, file.reader(false));
    EXPECT_FALSE(client.hasSubblocks(1, 0, 10));
}

// A raster-block scan reads its blocks one after another: however many there are, the bytes it
// asks of the stream stay within a small multiple of the plane data.
TEST(QG3PlaneStore, RasterBlockScanReadsThePlaneDataAboutOnce) {
    for (bool wide : {false, true})
        for (unsigned blocks : {1u, 64u, 4096u}) {
            PlaneFormat format;
            format.layout = 3;
            format.wide = wide;
            format.blocks = blocks;
            PlaneItemWriter writer({20, 20, 1, 8}, 1, 2, format);
            writer.set(1, 0, 0, 0, PlaneItem{{1}});
            writer.set(3, 0, 0, 1, PlaneItem{{2, 3}});
            PlaneFile file(writer.file(HeaderBody{}));
            ASSERT_EQ(file.status, KV_OK);
            SCOPED_TRACE(testing::Message() << wide << " " << blocks);
            QG3FilePlaneStore store(*file.info, QG3_MEMORY_MODEL_FULL);
            ASSERT_EQ(store.initialize(*file.reader(false, true)), KV_OK);
            std::uint64_t asked = 0;
            for (std::uint32_t count : file.watched.readRequests)
                asked += count;
            const auto planeData =
                std::uint64_t(file.planeset->planeDataEnd - file.planeset->planeDataStart);
            EXPECT_LE(asked, 2 * planeData + 64);
            EXPECT_TRUE(file.readInside());

            QG3FilePlaneStoreClient client(store, file.reader(false));
            std::vector<QG3PlaneRecord> records(kPerBand);
            ASSERT_EQ(client.readSubblock(3, 0, records.data()), KV_OK);
            ASSERT_TRUE(records[1].filled());
            EXPECT_EQ(records[1].length, 2u);
            EXPECT_EQ(records[1].data[1], 3);
            EXPECT_TRUE(client.hasSubblocks(1, 0, 0));
            EXPECT_FALSE(client.hasSubblocks(2, 0, 10));
        }
}
