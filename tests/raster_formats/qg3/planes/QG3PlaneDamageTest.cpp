// Damaged plane data ends in a status, never in a read outside the planeset, a hang, or an
// allocation sized by a field; cursors read only what they must.

#include "PlaneFile.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3FilePlaneStore.h"
#include "qg3/planes/QG3FilePlaneStoreClient.h"
#include "qg3/planes/QG3PlaneCursor.h"
#include "qg3/planes/QG3PlaneRecord.h"

#include <gtest/gtest.h>

using namespace Korvel;
using namespace quarn_test;

namespace {

// Scans hand-made plane data of a file whose other packets come from the writer.
KVStatus scan(const PlaneItemWriter& writer, const Bytes& planeData,
              std::uint32_t model = QG3_MEMORY_MODEL_FULL, std::uint64_t* memory = nullptr) {
    PlaneFile file(writer.file(HeaderBody{}, &planeData));
    EXPECT_EQ(file.status, KV_OK);
    QG3FilePlaneStore store(*file.info, model);
    const KVStatus status = store.initialize(*file.reader(true, true));
    EXPECT_TRUE(file.readInside());
    if (memory) *memory = store.getTableMemory();
    return status;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes absent(std::uint64_t n, bool wide = false) {
    return planePrefix(false, false, n, wide);
}

} // namespace

// Four subblocks of one band of two planes: eight descriptions.
TEST(QG3PlaneDamage, InterleavedItemsThatDoNotAddUp) {
    for (bool wide : {false, true}) {
        PlaneFormat format{5, 0, wide};
        PlaneItemWriter w({16, 16, 0, 8}, 1, 2, format);
        const Bytes item = join({planePrefix(true, false, 3, wide), {1, 2, 3}});
        EXPECT_EQ(scan(w, absent(8, wide)), KV_OK);
        EXPECT_EQ(scan(w, join({item, absent(7, wide)})), KV_OK);
        EXPECT_EQ(scan(w, absent(7, wide)), KV_QG3_READ_FAILED);
        EXPECT_EQ(scan(w, absent(9, wide)), KV_QG3_READ_FAILED);
        EXPECT_EQ(scan(w, join({item, absent(6, wide)})), KV_QG3_READ_FAILED);
        EXPECT_EQ(scan(w, join({planePrefix(true, false, 1000, wide), {1, 2, 3}})),
                  KV_QG3_READ_FAILED);
        EXPECT_EQ(scan(w, join({absent(7, wide), {0x25}})), KV_QG3_PREFIX_CUT);
        EXPECT_EQ(scan(w, Bytes{0x00}), KV_QG3_READ_FAILED);
    }
    PlaneFormat wide{5, 0, true};
    PlaneItemWriter w({16, 16, 0, 8}, 1, 2, wide);
    EXPECT_EQ(scan(w, join({planePrefix(true, false, std::uint64_t(1) << 32, true), {1}})),
              KV_QG3_READ_FAILED);
    EXPECT_EQ(scan(w, absent((std::uint64_t(1) << 54) - 1, true)), KV_QG3_READ_FAILED);
    EXPECT_EQ(scan(w, Bytes(8, 0xFF)), KV_QG3_PREFIX_TOO_LONG);
}

TEST(QG3PlaneDamage, SectionOffsetsOutsideTheirPlace) {
    for (bool wide : {false, true}) {
        PlaneFormat format{5, 2, wide};
        PlaneItemWriter w({16, 16, 0, 8}, 1, 2, format);
        const unsigned bytes = wide ? 8 : 4;
        const std::uint64_t skew = wide ? 0 : w.planesetHeaderSize();
        // Body: kind, layout, total (10), the section offset, one data byte, the prefixes.
        const Bytes prefixes = join({planePrefix(true, false, 1, wide), absent(7, wide)});
        auto data = [&](std::uint64_t section, std::uint8_t length = 1) {
            ByteBuilder out;
            out.be(section, bytes).u8(0xAB);
            Bytes p = prefixes;
            p[0] = static_cast<std::uint8_t>(0x80 | length);
            return join({out.take(), p});
        };
        const std::uint64_t good = 10 + bytes + 1;
        EXPECT_EQ(scan(w, data(good + skew)), KV_OK);
        EXPECT_EQ(scan(w, data(good + skew, 2)), KV_QG3_READ_FAILED); // data runs into prefixes
        EXPECT_EQ(scan(w, data(good + skew + 100)), KV_QG3_READ_FAILED);
        EXPECT_EQ(scan(w, data(10 + skew)), KV_QG3_READ_FAILED); // before the data
        EXPECT_EQ(scan(w, data(~std::uint64_t(0) >> (64 - 8 * bytes))), KV_QG3_READ_FAILED);
        if (!wide) {
            EXPECT_EQ(scan(w, data(skew - 1)), KV_QG3_READ_FAILED);
        }
    }
}

TEST(QG3PlaneDamage, RasterBlockCountsBeyondThePlaneset) {
    PlaneFormat format{1, 3, true};
    PlaneItemWriter w({16, 16, 1, 8}, 1, 2, format);
    const std::uint64_t total = 5 * 2; // five subblocks of 8 x 8
    ByteBuilder one;
    one.u64(1).u64(10 + 8 + 8).bytes(absent(total, true));
    EXPECT_EQ(scan(w, one.data()), KV_OK);
    Bytes twice = one.data();
    putBE(twice, 0, 2, 8);
    EXPECT_EQ(scan(w, twice), KV_QG3_READ_FAILED);
    putBE(twice, 0, std::uint64_t(1) << 63, 8);
    EXPECT_EQ(scan(w, twice), KV_QG3_READ_FAILED);
}

TEST(QG3PlaneDamage, PlaneCountsAbove32AreRefused) {
    PlaneItemWriter w({16, 16, 0, 8}, 1, 33, PlaneFormat{});
    EXPECT_EQ(scan(w, absent(4 * 33)), KV_QG3_BAD_FORMAT);
}

// 62,500 x 62,500 subblocks of 32 planes: absent runs are jumped in one step, the full table
// would need an array of 3.9e9 pointers and refuses, the partial table holds one row.
TEST(QG3PlaneDamage, HugeGeometriesCostNoMoreThanTheirData) {
    PlaneFormat format{1, 2, true};
    PlaneItemWriter w({4000000, 4000000, 0, 64}, 1, 32, format);
    const std::uint64_t total = 62500ull * 62500 * 32;
    const std::uint64_t body = 10 + 8; // where the data starts
    ByteBuilder all;
    all.u64(body).bytes(absent(total, true));
    std::uint64_t memory = 0;
    EXPECT_EQ(scan(w, all.data(), QG3_MEMORY_MODEL_FULL, &memory), KV_OK);
    EXPECT_EQ(memory, 0u);

    ByteBuilder last; // the last subblock's plane 0 carries one byte
    last.u64(body + 1).u8(0x5A).bytes(absent(total - 32, true));
    last.bytes(planePrefix(true, false, 1, true)).bytes(absent(31, true));
    EXPECT_EQ(scan(w, last.data(), QG3_MEMORY_MODEL_FULL), KV_QG3_OUT_OF_MEMORY);
    EXPECT_EQ(scan(w, last.data(), QG3_MEMORY_MODEL_PARTIAL, &memory), KV_OK);
    EXPECT_LT(memory, 1u << 20);

    PlaneFile file(w.file(HeaderBody{}, &last.data()));
    QG3FilePlaneStore store(*file.info, QG3_MEMORY_MODEL_PARTIAL);
    ASSERT_EQ(store.initialize(*file.reader(false)), KV_OK);
    QG3FilePlaneStoreClient client(store, file.reader(true));
    std::vector<QG3PlaneRecord> records(QG3PlaneRecord::kRecordsPerBand);
    ASSERT_EQ(client.readSubblock(0, 62500u * 62500 - 1, records.data()), KV_OK);
    ASSERT_TRUE(records[0].filled());
    EXPECT_EQ(records[0].data[0], 0x5A);
    EXPECT_FALSE(client.hasSubblocks(0, 0, 62499));
}

// Inside the window a cursor only moves; outside it refills; nothing past the end is read.
TEST(QG3PlaneCursor, ReadsThroughItsWindow) {
    VectorStream bytes(rampBytes(10000));
    QG3PlaneCursor::Stream stream{&bytes, 6000};
    QG3PlaneCursor cursor(stream, QG3PlaneCursor::kCapacity);
    std::uint8_t b[32];
    ASSERT_EQ(cursor.seek(100), KV_OK);
    ASSERT_EQ(cursor.read(b, 1), KV_OK);
    EXPECT_EQ(b[0], 100);
    ASSERT_EQ(bytes.readRequests.size(), 1u);
    ASSERT_EQ(cursor.seek(4000), KV_OK);
    ASSERT_EQ(cursor.read(b, 2), KV_OK);
    EXPECT_EQ(b[1], std::uint8_t(4001));
    EXPECT_EQ(bytes.readRequests.size(), 1u);
    ASSERT_EQ(cursor.seek(99), KV_OK);
    ASSERT_EQ(cursor.read(b, 1), KV_OK);
    EXPECT_EQ(bytes.readRequests.size(), 2u);
    // The window stops at the end; reads past it fail without touching the stream.
    ASSERT_EQ(cursor.seek(5990), KV_OK);
    EXPECT_EQ(cursor.read(b, 11), KV_QG3_READ_FAILED);
    ASSERT_EQ(cursor.read(b, 10), KV_OK);
    EXPECT_EQ(bytes.readRequests.back(), 10u);
    EXPECT_EQ(cursor.skip(1), KV_QG3_READ_FAILED);
    EXPECT_EQ(cursor.seek(6001), KV_QG3_READ_FAILED);
}
