// The classical metadata reader, on blocks made by the test-side writer from the
// byte layout, and on a few blocks typed out byte by byte.

#include "metadata/KVIMetadataClassicalReader.h"
#include "ClassicalMetadataWriter.h"
#include "HeapProbe.h"
#include "TestStreams.h"
#include "metadata/KVIMetadataDatabase.h"
#include "metadata/KVIMetadataRecord.h"
#include "metadata/KVIMetadataTag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using quarn_test::heapInUse;

using Korvel::KVIMetadataClassicalReader;
using Korvel::KVIMetadataDatabase;
using Korvel::KVIMetadataRecord;
using Korvel::KVStatus;
using quarn_test::ClassicalMetadataWriter;
using quarn_test::VectorStream;
namespace cm = quarn_test::cm;

constexpr KVStatus kInvalid = Korvel::KV_CLASSICAL_METADATA_SHORT;
static_assert(kInvalid == 50505);

KVStatus readBlock(const std::vector<std::uint8_t>& bytes, KVIMetadataDatabase& db) {
    VectorStream stream(bytes);
    KVIMetadataClassicalReader reader(db, &stream);
    return reader.read();
}

const KVIMetadataRecord* find(const KVIMetadataDatabase& db, const char* name) {
    const KVIMetadataRecord* record = nullptr;
    return db.get(name, record) == Korvel::KV_OK ? record : nullptr;
}

template <class T> std::vector<T> elementsOf(const KVIMetadataRecord* record) {
    std::uint32_t numDims = 0;
    const std::uint32_t* dims = nullptr;
    const void* data = record->getArrayData(numDims, dims);
    std::vector<T> values(record->getElementCount());
    if (!values.empty()) std::memcpy(values.data(), data, values.size() * sizeof(T));
    return values;
}

std::vector<std::string> textsOf(const KVIMetadataRecord* record) {
    std::uint32_t numDims = 0;
    const std::uint32_t* dims = nullptr;
    const auto* texts = static_cast<const char* const*>(record->getArrayData(numDims, dims));
    std::vector<std::string> values;
    for (std::uint64_t i = 0; i < record->getElementCount(); ++i)
        values.emplace_back(texts[i]);
    return values;
}

std::vector<std::uint32_t> dimsOf(const KVIMetadataRecord* record) {
    std::uint32_t numDims = 0;
    const std::uint32_t* dims = nullptr;
    record->getArrayData(numDims, dims);
    return std::vector<std::uint32_t>(dims, dims + numDims);
}

// A stream that samples the heap at every read: the reader's buffers for a record's data exist
// while that data is being read, so the peak seen here bounds them.
class HeapWatchingStream : public VectorStream {
public:
    explicit HeapWatchingStream(std::vector<std::uint8_t> bytes)
        : VectorStream(std::move(bytes)), baseline(heapInUse()) {}
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override {
        peak = std::max(peak, heapInUse());
        const std::uint32_t got = VectorStream::read(buffer, count);
        peak = std::max(peak, heapInUse());
        return got;
    }
    std::uint64_t growth() const { return peak > baseline ? peak - baseline : 0; }

    std::uint64_t baseline;
    std::uint64_t peak = 0;
};

// --- the header ----------------------------------------------------------------------------------

TEST(KVIMetadataClassicalReader, FirstHeaderWordAboveOneIsInvalid) {
    for (std::uint16_t word : {std::uint16_t{2}, std::uint16_t{0x7FFF}, std::uint16_t{0x0100}}) {
        KVIMetadataDatabase db;
        const auto block =
            ClassicalMetadataWriter(word).som().scalar("IMAGE::WIDTH", cm::U32, 640u).eom().bytes();
        EXPECT_EQ(readBlock(block, db), kInvalid) << word;
        EXPECT_EQ(db.getCount(), 0u) << word;
    }
}

TEST(KVIMetadataClassicalReader, FirstHeaderWordIsSigned) {
    // 0xFFFF is -1 and 0x8000 is -32768: both at most 1. The second word is never looked at.
    for (std::uint16_t word :
         {std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{0xFFFF}, std::uint16_t{0x8000}}) {
        KVIMetadataDatabase db;
        const auto block = ClassicalMetadataWriter(word, 0xBEEF)
                               .som()
                               .scalar("IMAGE::WIDTH", cm::U32, 640u)
                               .eom()
                               .bytes();
        EXPECT_EQ(readBlock(block, db), Korvel::KV_OK) << word;
        EXPECT_EQ(db.getCount(), 1u) << word;
    }
}

TEST(KVIMetadataClassicalReader, ShortHeaderIsInvalid) {
    for (std::size_t size = 0; size < 4; ++size) {
        KVIMetadataDatabase db;
        EXPECT_EQ(readBlock(std::vector<std::uint8_t>(size, 0), db), kInvalid) << size;
    }
    KVIMetadataDatabase db;
    KVIMetadataClassicalReader reader(db, nullptr);
    EXPECT_EQ(reader.read(), kInvalid);
}

// --- records -------------------------------------------------------------------------------------

// The documented example record, typed out byte by byte (this also pins the writer to the layout).
TEST(KVIMetadataClassicalReader, ReadsTheWidthExampleTypedOutByHand) {
    // clang-format off
    const std::vector<std::uint8_t> block = {
        0x00, 0x01, 0x00, 0x00,                                       // header words 1, 0
        0x00, 0x00, 0x00, 0x0A,                                       // tag 10
        'I', 'M', 'A', 'G', 'E', ':', ':', 'S', 'O', 'M', 0x00,
        0x00, 0x00, 0x00, 0x03,  0x00, 0x00, 0x00, 0x00,              // code 3, count 0
        0x00, 0x00, 0x00, 0x00,                                       // no dimensions
        0x00, 0x00, 0x00, 0x71,                                       // tag 113
        'I', 'M', 'A', 'G', 'E', ':', ':', 'W', 'I', 'D', 'T', 'H', 0x00,
        0x00, 0x00, 0x00, 0x03,  0x00, 0x00, 0x00, 0x01,              // code 3, count 1
        0x00, 0x00, 0x00, 0x00,                                       // no dimensions
        0x00, 0x00, 0x02, 0x80,                                       // 640
        0x00, 0x00, 0x00, 0x0B,                                       // tag 11
        'I', 'M', 'A', 'G', 'E', ':', ':', 'E', 'O', 'M', 0x00,
        0x00, 0x00, 0x00, 0x03,  0x00, 0x00, 0x00, 0x00,              // code 3, count 0
        0x00, 0x00, 0x00, 0x00,                                       // no dimensions
    };
    // clang-format on
    EXPECT_EQ(ClassicalMetadataWriter(1, 0)
                  .som()
                  .record("IMAGE::WIDTH", cm::U32, std::vector<std::uint32_t>{640}, {}, 113)
                  .eom()
                  .bytes(),
              block);

    KVIMetadataDatabase db;
    ASSERT_EQ(readBlock(block, db), Korvel::KV_OK);
    ASSERT_EQ(db.getCount(), 1u);
    const KVIMetadataRecord* width = find(db, "IMAGE::WIDTH");
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->getDataType(), Korvel::KVI_RECORD_UINT32);
    EXPECT_TRUE(width->isScalar());
    const void* value = width->getScalarData();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*static_cast<const std::uint32_t*>(value), 640u);
    // Addressed by tag number too, through the tag table.
    const KVIMetadataRecord* byTag = nullptr;
    EXPECT_EQ(db.get(Korvel::KVI_TAG_IMAGE_WIDTH, byTag), Korvel::KV_OK);
    EXPECT_EQ(byTag, width);
}

TEST(KVIMetadataClassicalReader, EveryTypeCodeBecomesItsRecordType) {
    const auto block =
        ClassicalMetadataWriter()
            .som()
            .vector("U8", cm::U8, std::vector<std::uint8_t>{0x01, 0xFE})
            .vector("U16", cm::U16, std::vector<std::uint16_t>{0x0102, 0xFFFE})
            .vector("U32", cm::U32, std::vector<std::uint32_t>{0x01020304, 0xFFFFFFFE})
            .texts("TEXT", {"alpha", "", "gamma"}, {3})
            .vector("F32", cm::F32, std::vector<float>{1.5f, -2.25f})
            .vector("F64", cm::F64, std::vector<double>{1.0 / 3.0, -1e300})
            .vector("S8", cm::S8, std::vector<std::int8_t>{-1, 127, -128})
            .vector("S16", cm::S16, std::vector<std::int16_t>{-2, 0x1234, -32768})
            .vector("S32", cm::S32, std::vector<std::int32_t>{-3, 0x12345678, INT32_MIN})
            .eom()
            .bytes();
    KVIMetadataDatabase db;
    ASSERT_EQ(readBlock(block, db), Korvel::KV_OK);
    ASSERT_EQ(db.getCount(), 9u);

    struct Expect {
        const char* name;
        std::uint32_t type;
    };
    for (const Expect& e :
         {Expect{"U8", 1}, Expect{"U16", 3}, Expect{"U32", 5}, Expect{"TEXT", 11}, Expect{"F32", 9},
          Expect{"F64", 10}, Expect{"S8", 2}, Expect{"S16", 4}, Expect{"S32", 6}}) {
        const KVIMetadataRecord* record = find(db, e.name);
        ASSERT_NE(record, nullptr) << e.name;
        EXPECT_EQ(record->getDataType(), e.type) << e.name;
        EXPECT_TRUE(record->isVector()) << e.name;
    }
    EXPECT_EQ(elementsOf<std::uint8_t>(find(db, "U8")), (std::vector<std::uint8_t>{0x01, 0xFE}));
    EXPECT_EQ(elementsOf<std::uint16_t>(find(db, "U16")),
              (std::vector<std::uint16_t>{0x0102, 0xFFFE}));
    EXPECT_EQ(elementsOf<std::uint32_t>(find(db, "U32")),
              (std::vector<std::uint32_t>{0x01020304, 0xFFFFFFFE}));
    EXPECT_EQ(textsOf(find(db, "TEXT")), (std::vector<std::string>{"alpha", "", "gamma"}));
    EXPECT_EQ(elementsOf<float>(find(db, "F32")), (std::vector<float>{1.5f, -2.25f}));
    EXPECT_EQ(elementsOf<double>(find(db, "F64")), (std::vector<double>{1.0 / 3.0, -1e300}));
    EXPECT_EQ(elementsOf<std::int8_t>(find(db, "S8")), (std::vector<std::int8_t>{-1, 127, -128}));
    EXPECT_EQ(elementsOf<std::int16_t>(find(db, "S16")),
              (std::vector<std::int16_t>{-2, 0x1234, -32768}));
    EXPECT_EQ(elementsOf<std::int32_t>(find(db, "S32")),
              (std::vector<std::int32_t>{-3, 0x12345678, INT32_MIN}));
}

// Floating-point values from their IEEE 754 bit patterns, typed out rather than written.
TEST(KVIMetadataClassicalReader, FloatsAreBigEndianIeeeBitPatterns) {
    ClassicalMetadataWriter writer;
    writer.header("F32", cm::F32, 1, {}).raw({0x3F, 0xC0, 0x00, 0x00}); // 1.5
    writer.header("F64", cm::F64, 1, {})
        .raw({0xC0, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18}); // -pi
    writer.eom();
    KVIMetadataDatabase db;
    ASSERT_EQ(readBlock(writer.bytes(), db), Korvel::KV_OK);
    EXPECT_EQ(elementsOf<float>(find(db, "F32")), std::vector<float>{1.5f});
    EXPECT_EQ(elementsOf<double>(find(db, "F64")), std::vector<double>{-3.141592653589793});
}

TEST(KVIMetadataClassicalReader, TypeCodesOutsideTheTableAreInvalid) {
    for (std::uint32_t code : {0u, 4u, 11u, 12u, 0x80000001u, 0xFFFFFFFFu}) {
        KVIMetadataDatabase db;
        ClassicalMetadataWriter writer;
        writer.scalar("BEFORE", cm::U8, std::uint8_t{9});
        writer.header("BAD", code, 1, {}).u32(0);
        writer.eom();
        EXPECT_EQ(readBlock(writer.bytes(), db), kInvalid) << code;
        EXPECT_EQ(db.getCount(), 1u) << code;
        EXPECT_TRUE(db.has("BEFORE")) << code;
    }
}

TEST(KVIMetadataClassicalReader, SomAndEomAreNotStoredAndEomEndsTheBlock) {
    ClassicalMetadataWriter writer;
    writer.som();
    writer.scalar("A", cm::S16, std::int16_t{-7});
    // The markers may carry data of their own; it is read past, not kept.
    writer.record("IMAGE::SOM", cm::U8, std::vector<std::uint8_t>{1, 2, 3}, {});
    writer.texts("IMAGE::EOM", {"x", "yz"}, {});
    const std::size_t blockEnd = writer.size();
    writer.scalar("AFTER", cm::U8, std::uint8_t{1});
    writer.raw({0xDE, 0xAD});

    KVIMetadataDatabase db;
    VectorStream stream(writer.bytes());
    KVIMetadataClassicalReader reader(db, &stream);
    ASSERT_EQ(reader.read(), Korvel::KV_OK);
    EXPECT_EQ(db.getCount(), 1u);
    EXPECT_TRUE(db.has("A"));
    EXPECT_FALSE(db.has("IMAGE::SOM"));
    EXPECT_FALSE(db.has("IMAGE::EOM"));
    EXPECT_FALSE(db.has("AFTER"));
    EXPECT_EQ(stream.position, static_cast<std::int64_t>(blockEnd)); // nothing past the EOM read
}

TEST(KVIMetadataClassicalReader, MarkerNamesCompareExactly) {
    // Not the markers: stored like any record, and the block goes on.
    ClassicalMetadataWriter writer;
    writer.scalar("IMAGE::EOM ", cm::U8, std::uint8_t{1});
    writer.scalar("image::eom", cm::U8, std::uint8_t{2});
    writer.scalar("IMAGE::SOMX", cm::U8, std::uint8_t{3});
    writer.eom();
    KVIMetadataDatabase db;
    ASSERT_EQ(readBlock(writer.bytes(), db), Korvel::KV_OK);
    EXPECT_EQ(db.getCount(), 3u);
}

TEST(KVIMetadataClassicalReader, EmptyNameEndsTheBlockSuccessfully) {
    ClassicalMetadataWriter writer;
    writer.scalar("A", cm::U8, std::uint8_t{5});
    writer.emptyName(0x12345678);
    const std::size_t blockEnd = writer.size();
    writer.scalar("B", cm::U8, std::uint8_t{6});
    writer.eom();
    KVIMetadataDatabase db;
    VectorStream stream(writer.bytes());
    KVIMetadataClassicalReader reader(db, &stream);
    Korvel::KVIMetadataReader& base = reader; // used through the base, as the raster readers do
    ASSERT_EQ(base.read(), Korvel::KV_OK);
    EXPECT_EQ(db.getCount(), 1u);
    EXPECT_FALSE(db.has("B"));
    EXPECT_EQ(stream.position, static_cast<std::int64_t>(blockEnd));
}

TEST(KVIMetadataClassicalReader, DuplicateNameReplacesTheRecord) {
    KVIMetadataDatabase db;
    const std::uint16_t five = 5;
    ASSERT_EQ(
        db.add(KVIMetadataRecord("IMAGE::WIDTH", Korvel::KVI_RECORD_UINT16, &five, 0, nullptr)),
        Korvel::KV_OK);
    const std::uint8_t one = 1;
    ASSERT_EQ(db.add(KVIMetadataRecord("OTHER", Korvel::KVI_RECORD_UINT8, &one, 0, nullptr)),
              Korvel::KV_OK);

    ClassicalMetadataWriter writer;
    writer.scalar("IMAGE::WIDTH", cm::U32, 640u);
    writer.scalar("X", cm::U8, std::uint8_t{1});
    writer.vector("X", cm::S32, std::vector<std::int32_t>{-1, -2}); // replaces the first X
    writer.eom();
    ASSERT_EQ(readBlock(writer.bytes(), db), Korvel::KV_OK);

    ASSERT_EQ(db.getCount(), 3u);
    const KVIMetadataRecord* width = find(db, "IMAGE::WIDTH");
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width->getDataType(), Korvel::KVI_RECORD_UINT32);
    EXPECT_EQ(elementsOf<std::uint32_t>(width), std::vector<std::uint32_t>{640});
    const KVIMetadataRecord* x = find(db, "X");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->getDataType(), Korvel::KVI_RECORD_SINT32);
    EXPECT_EQ(elementsOf<std::int32_t>(x), (std::vector<std::int32_t>{-1, -2}));
    EXPECT_TRUE(db.has("OTHER"));
}

TEST(KVIMetadataClassicalReader, RecordsStandInTheOrderOfTheirLastOccurrence) {
    KVIMetadataDatabase db;
    const std::uint8_t one = 1;
    ASSERT_EQ(db.add(KVIMetadataRecord("B", Korvel::KVI_RECORD_UINT8, &one, 0, nullptr)),
              Korvel::KV_OK);
    ASSERT_EQ(db.add(KVIMetadataRecord("KEPT", Korvel::KVI_RECORD_UINT8, &one, 0, nullptr)),
              Korvel::KV_OK);

    // Each record replaces any earlier one of its name and goes to the end, as a removal and an
    // addition would leave it; the stream then ends inside a record.
    ClassicalMetadataWriter writer;
    writer.scalar("A", cm::U8, std::uint8_t{1}).scalar("B", cm::U8, std::uint8_t{2});
    writer.scalar("C", cm::U8, std::uint8_t{3}).scalar("A", cm::U8, std::uint8_t{4});
    writer.scalar("B", cm::U8, std::uint8_t{5}).scalar("A", cm::U8, std::uint8_t{6});
    writer.header("CUT", cm::U8, 4, {}).raw({1, 2});
    ASSERT_EQ(readBlock(writer.bytes(), db), kInvalid);

    std::vector<std::string> names;
    const KVIMetadataRecord* record = nullptr;
    for (std::uint32_t i = 0; db.getByIndex(i, record) == Korvel::KV_OK; ++i)
        names.emplace_back(record->getName());
    EXPECT_EQ(names, (std::vector<std::string>{"KEPT", "C", "B", "A"}));
    EXPECT_EQ(elementsOf<std::uint8_t>(find(db, "A")), std::vector<std::uint8_t>{6});
    EXPECT_EQ(elementsOf<std::uint8_t>(find(db, "B")), std::vector<std::uint8_t>{5});
}

TEST(KVIMetadataClassicalReader, TextRecordHoldsCountStrings) {
    ClassicalMetadataWriter writer;
    writer.texts("NAMES", {"first", "second"}, {2});
    writer.texts("ONE", {"only"}, {});
    writer.eom();
    KVIMetadataDatabase db;
    ASSERT_EQ(readBlock(writer.bytes(), db), Korvel::KV_OK);
    EXPECT_EQ(textsOf(find(db, "NAMES")), (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(find(db, "ONE")->isScalar());
    EXPECT_EQ(textsOf(find(db, "ONE")), std::vector<std::string>{"only"});
}

TEST(KVIMetadataClassicalReader, DimensionsShapeTheRecord) {
    ClassicalMetadataWriter writer;
    writer.record("GRID", cm::U16, std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6}, {2, 3});
    writer.record("TEN", cm::U8, std::vector<std::uint8_t>{42},
                  {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}); // ten dimensions: the most allowed
    writer.record("NONE", cm::U8, std::vector<std::uint8_t>{}, {0}); // no elements
    writer.eom();
    KVIMetadataDatabase db;
    ASSERT_EQ(readBlock(writer.bytes(), db), Korvel::KV_OK);
    EXPECT_EQ(dimsOf(find(db, "GRID")), (std::vector<std::uint32_t>{2, 3}));
    EXPECT_EQ(elementsOf<std::uint16_t>(find(db, "GRID")),
              (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(dimsOf(find(db, "TEN")).size(), 10u);
    EXPECT_EQ(elementsOf<std::uint8_t>(find(db, "TEN")), std::vector<std::uint8_t>{42});
    EXPECT_EQ(find(db, "NONE")->getElementCount(), 0u);
}

TEST(KVIMetadataClassicalReader, ElevenDimensionsAreInvalidAndEarlierRecordsStay) {
    ClassicalMetadataWriter writer;
    writer.scalar("KEPT", cm::U8, std::uint8_t{1});
    writer.record("ELEVEN", cm::U8, std::vector<std::uint8_t>{1},
                  std::vector<std::uint32_t>(11, 1));
    writer.eom();
    KVIMetadataDatabase db;
    EXPECT_EQ(readBlock(writer.bytes(), db), kInvalid);
    EXPECT_EQ(db.getCount(), 1u);
    EXPECT_TRUE(db.has("KEPT"));
}

TEST(KVIMetadataClassicalReader, CountBeyondTheDimensionsIsReadPastAndTheRecordTakesTheProduct) {
    ClassicalMetadataWriter writer;
    writer.record("MORE", cm::S16, std::vector<std::int16_t>{10, -20, 30, -40, 50}, {2});
    writer.texts("WORDS", {"a", "bb", "ccc"}, {1});
    writer.scalar("NEXT", cm::U8, std::uint8_t{7}); // read from the right place afterwards
    writer.eom();
    KVIMetadataDatabase db;
    ASSERT_EQ(readBlock(writer.bytes(), db), Korvel::KV_OK);
    EXPECT_EQ(elementsOf<std::int16_t>(find(db, "MORE")), (std::vector<std::int16_t>{10, -20}));
    EXPECT_EQ(textsOf(find(db, "WORDS")), std::vector<std::string>{"a"});
    EXPECT_EQ(elementsOf<std::uint8_t>(find(db, "NEXT")), std::vector<std::uint8_t>{7});
}

TEST(KVIMetadataClassicalReader, ProductOfDimensionsBeyondTheCountIsInvalid) {
    struct Case {
        std::uint32_t count;
        std::vector<std::uint32_t> dims;
    };
    for (const Case& c : {Case{2, {3}}, Case{5, {2, 3}}, Case{0, {}}, // no dims: one element
                          Case{0xFFFFFFFF, {0x10000, 0x10001}},
                          Case{0xFFFFFFFF, std::vector<std::uint32_t>(10, 0xFFFFFFFF)}}) {
        ClassicalMetadataWriter writer;
        writer.scalar("KEPT", cm::U8, std::uint8_t{1});
        writer.header("BAD", cm::U8, c.count, c.dims).raw(std::vector<std::uint8_t>(8, 0));
        writer.eom();
        KVIMetadataDatabase db;
        EXPECT_EQ(readBlock(writer.bytes(), db), kInvalid) << c.count;
        EXPECT_EQ(db.getCount(), 1u);
    }
}

TEST(KVIMetadataClassicalReader, NamesOfAnyLengthAreHeld) {
    for (std::size_t length : {511u, 512u, 513u, 1023u, 1024u, 5000u, 70000u}) {
        std::string name(length, 'n');
        for (std::size_t i = 0; i < length; ++i)
            name[i] = static_cast<char>('a' + i % 26);
        ClassicalMetadataWriter writer;
        writer.scalar(name, cm::U8, std::uint8_t{3});
        writer.texts("LONG", {name}, {});
        writer.eom();
        KVIMetadataDatabase db;
        ASSERT_EQ(readBlock(writer.bytes(), db), Korvel::KV_OK) << length;
        EXPECT_TRUE(db.has(name.c_str())) << length;
        EXPECT_EQ(textsOf(find(db, "LONG")), std::vector<std::string>{name}) << length;
    }
}

// --- cut and lying blocks ------------------------------------------------------------------------

std::vector<std::uint8_t> everyKindOfRecord() {
    return ClassicalMetadataWriter(0xFFFF, 3)
        .som()
        .scalar("IMAGE::WIDTH", cm::U32, 640u)
        .vector("U8", cm::U8, std::vector<std::uint8_t>{1, 2, 3})
        .record("U16", cm::U16, std::vector<std::uint16_t>{1, 2, 3, 4}, {2, 2})
        .texts("TEXT", {"alpha", "", "gamma"}, {3})
        .vector("F32", cm::F32, std::vector<float>{1.5f})
        .vector("F64", cm::F64, std::vector<double>{2.5, 3.5})
        .vector("S8", cm::S8, std::vector<std::int8_t>{-1})
        .scalar("S16", cm::S16, std::int16_t{-2})
        .record("S32", cm::S32, std::vector<std::int32_t>{-3, -4, -5},
                {1, 1, 1, 1, 1, 1, 1, 1, 1, 1})
        .record("IMAGE::EOM", cm::U8, std::vector<std::uint8_t>{9, 9}, {})
        .bytes();
}

TEST(KVIMetadataClassicalReader, BlockCutAtEveryByteOffsetIsInvalid) {
    const std::vector<std::uint8_t> full = everyKindOfRecord();
    {
        KVIMetadataDatabase db;
        ASSERT_EQ(readBlock(full, db), Korvel::KV_OK);
        ASSERT_EQ(db.getCount(), 9u);
    }
    std::uint32_t storedBefore = 0;
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
        // The stream ends there...
        KVIMetadataDatabase ended;
        EXPECT_EQ(readBlock(std::vector<std::uint8_t>(full.begin(), full.begin() + cut), ended),
                  kInvalid)
            << "cut at " << cut;
        // ...or stops delivering there without reporting its end, as a failing device would.
        KVIMetadataDatabase failed;
        VectorStream stream(full);
        stream.failReadsAfter(cut);
        KVIMetadataClassicalReader reader(failed, &stream);
        EXPECT_EQ(reader.read(), kInvalid) << "reads fail after " << cut;
        EXPECT_EQ(failed.getCount(), ended.getCount()) << cut;
        // The records wholly before the cut stay: never fewer for a later cut.
        EXPECT_GE(ended.getCount(), storedBefore) << cut;
        storedBefore = ended.getCount();
    }
    EXPECT_EQ(storedBefore, 9u); // a cut inside the end marker keeps every record
}

TEST(KVIMetadataClassicalReader, StreamDeliveringOneByteAtATimeIsReadWhole) {
    // Partial transfers are not short reads.
    class Trickle : public VectorStream {
    public:
        using VectorStream::VectorStream;
        std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override {
            return VectorStream::read(buffer, count > 0 ? 1 : 0);
        }
    };
    Trickle stream(everyKindOfRecord());
    KVIMetadataDatabase db;
    KVIMetadataClassicalReader reader(db, &stream);
    ASSERT_EQ(reader.read(), Korvel::KV_OK);
    EXPECT_EQ(db.getCount(), 9u);
    EXPECT_EQ(elementsOf<double>(find(db, "F64")), (std::vector<double>{2.5, 3.5}));
}

// Counts and dimensions that claim far more than the block holds: 50505, and the reader's
// buffers never grow past the bytes that actually arrive.
TEST(KVIMetadataClassicalReader, CountFarBeyondTheBytesLeftIsInvalidWithoutAllocatingIt) {
    struct Case {
        const char* what;
        const char* name;
        std::uint32_t code;
        std::uint32_t count;
        std::vector<std::uint32_t> dims;
    };
    const std::vector<Case> cases = {
        {"scalar f64, 4G elements", "HUGE", cm::F64, 0xFFFFFFFF, {}},
        {"u8 array of 2^31 - 1", "HUGE", cm::U8, 0xFFFFFFFF, {0x7FFFFFFF}},
        {"u16 array of 2^30 - 1", "HUGE", cm::U16, 0xFFFFFFFF, {0x3FFFFFFF}},
        {"s32 array of 2^29 - 1", "HUGE", cm::S32, 0xFFFFFFFF, {0x1FFFFFFF}},
        {"f64 array of 2^28 - 1", "HUGE", cm::F64, 0xFFFFFFFF, {0x0FFFFFFF}},
        {"texts, 2^28 - 1", "HUGE", cm::TEXT, 0xFFFFFFFF, {0x0FFFFFFF}},
        {"u32 array past the record cap", "HUGE", cm::U32, 0xFFFFFFFF, {0x20000000}},
        {"f64 array of 0x10000 x 0x10000", "HUGE", cm::F64, 0xFFFFFFFF, {0x10000, 0x10000}},
        {"start marker with 4G f64", "IMAGE::SOM", cm::F64, 0xFFFFFFFF, {}},
        {"end marker with 4G texts", "IMAGE::EOM", cm::TEXT, 0xFFFFFFFF, {}},
    };
    for (const Case& c : cases) {
        ClassicalMetadataWriter writer;
        writer.scalar("KEPT", cm::U8, std::uint8_t{1});
        writer.header(c.name, c.code, c.count, c.dims);
        // A little real data, then the block ends.
        for (int i = 0; i < 100; ++i)
            writer.raw({'a', 'b', 'c', 0});
        HeapWatchingStream stream(writer.bytes());
        KVIMetadataDatabase db;
        KVIMetadataClassicalReader reader(db, &stream);
        EXPECT_EQ(reader.read(), kInvalid) << c.what;
        EXPECT_EQ(db.getCount(), 1u) << c.what;
        EXPECT_LT(stream.growth(), 64u * 1024) << c.what;
    }
}

} // namespace
