#include "streams/KVIODynamicMemStream.h"
#include "streams/KVIOStreamUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

using namespace Korvel;

namespace {

// Memory functions that record what they are asked for and can be made to fail.
struct MemoryLog {
    std::vector<std::size_t> sizes;
    int frees = 0;
    bool fail = false;
} gLog;

void* logAllocate(std::size_t n) {
    gLog.sizes.push_back(n);
    return gLog.fail ? nullptr : std::malloc(n);
}
void logFree(void* block) {
    ++gLog.frees;
    std::free(block);
}
void* logReallocate(void* block, std::size_t n) {
    gLog.sizes.push_back(n);
    return gLog.fail ? nullptr : std::realloc(block, n);
}

class KVIODynamicMemStreamTest : public ::testing::Test {
protected:
    void SetUp() override { gLog = MemoryLog{}; }
    std::unique_ptr<KVIOStreamInf> stream{createMemStream()};
    std::vector<std::uint8_t> in = std::vector<std::uint8_t>(5000, 0xAB);
    std::vector<std::uint8_t> out = std::vector<std::uint8_t>(5000, 0x55);
};

} // namespace

TEST_F(KVIODynamicMemStreamTest, GapsReadBackAsZeroAndShortReadsSetEndOfFile) {
    ASSERT_EQ(stream->write(in.data(), 10), 10u);
    ASSERT_EQ(stream->seek(100, KVIO_SEEK_SET), KV_OK);
    ASSERT_EQ(stream->write(in.data(), 1), 1u);
    EXPECT_EQ(getStreamSize(stream.get()), 101);
    stream->close(); // keeps the data; re-opening starts at 0
    EXPECT_EQ(stream->read(out.data(), 1), 0u);
    stream->open();
    ASSERT_EQ(stream->read(out.data(), 101), 101u);
    for (int i = 0; i < 101; ++i)
        EXPECT_EQ(out[i], i < 10 || i == 100 ? 0xAB : 0) << i;

    stream->seek(90, KVIO_SEEK_SET);
    EXPECT_EQ(stream->read(out.data(), 50), 11u);
    EXPECT_TRUE(stream->isEOF());
    EXPECT_EQ(stream->read(out.data(), 50), 0u);
}

TEST_F(KVIODynamicMemStreamTest, SeekRefusesWhatWouldWrapAround) {
    stream->write(in.data(), 10);
    EXPECT_EQ(stream->seek(std::int64_t{1} << 31, KVIO_SEEK_SET), KV_STREAM_BAD_ARGUMENT);
    EXPECT_EQ(stream->seek(-20, KVIO_SEEK_CUR), KV_FAILURE); // before the start
    EXPECT_EQ(stream->tell(), 10);
    // Up to 0xFFFFFFFE is a position; a write there must fail, not wrap to offset 0.
    ASSERT_EQ(stream->seek(0x7FFFFFFF, KVIO_SEEK_SET), KV_OK);
    ASSERT_EQ(stream->seek(0x7FFFFFFF, KVIO_SEEK_CUR), KV_OK);
    EXPECT_EQ(stream->seek(1, KVIO_SEEK_CUR), KV_FAILURE);
    EXPECT_EQ(stream->write(in.data(), 2), 0u);
    EXPECT_EQ(stream->getLastError(), KV_MEMSTREAM_NO_MEMORY);
}

TEST_F(KVIODynamicMemStreamTest, GrowthByFactorWithAndWithoutReallocate) {
    KVIODynamicMemStream s;
    ASSERT_EQ(s.initialize(4096, logAllocate, logFree, logReallocate, 1.6f), KV_OK);
    s.open();
    ASSERT_EQ(s.write(in.data(), 4097), 4097u);
    EXPECT_EQ(gLog.sizes, (std::vector<std::size_t>{4096, 6553})); // 4096 x 1.6, truncated
    gLog.fail = true;
    EXPECT_EQ(s.write(in.data(), 3000), 0u);
    EXPECT_EQ(s.getLastError(), KV_MEMSTREAM_NO_MEMORY);
    EXPECT_EQ(s.duplicate(), nullptr);
    gLog.fail = false;
    EXPECT_EQ(getStreamSize(&s), 4097);

    KVIODynamicMemStream t; // allocate, copy, free the old block
    ASSERT_EQ(t.initialize(16, logAllocate, logFree, nullptr, 2.0f), KV_OK);
    t.open();
    ASSERT_EQ(t.write(in.data(), 20), 20u);
    EXPECT_EQ(gLog.sizes.back(), 32u);
    EXPECT_EQ(gLog.frees, 1);
    t.seek(0, KVIO_SEEK_SET);
    ASSERT_EQ(t.read(out.data(), 20), 20u);
    EXPECT_EQ(out[19], 0xAB);
}

TEST_F(KVIODynamicMemStreamTest, InitializeChecksBeforeChangingAnything) {
    EXPECT_EQ(static_cast<KVIODynamicMemStream*>(stream.get())->initialize(64, 1.5f),
              KV_MEMSTREAM_OPEN);
    KVIODynamicMemStream s;
    ASSERT_EQ(s.initialize(64, logAllocate, logFree, nullptr, 2.0f), KV_OK);
    EXPECT_EQ(s.initialize(64, 1.0f), KV_STREAM_BAD_ARGUMENT);
    EXPECT_EQ(s.initialize(64, 2.01f), KV_STREAM_BAD_ARGUMENT);
    // Refused: the block from logAllocate must still go back through logFree.
    EXPECT_EQ(s.initialize(64, logAllocate, nullptr, nullptr, 1.5f), KV_STREAM_BAD_ARGUMENT);
    ASSERT_EQ(s.initialize(128, 1.5f), KV_OK);
    EXPECT_EQ(gLog.frees, 1);
}

TEST_F(KVIODynamicMemStreamTest, DuplicateIsClosedCopyGrowingToExactNeed) {
    KVIODynamicMemStream s;
    ASSERT_EQ(s.initialize(8, logAllocate, logFree, logReallocate, 2.0f), KV_OK);
    s.open();
    s.write(in.data(), 8);
    std::unique_ptr<KVIOStreamInf> copy(s.duplicate());
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(copy->isOpen());
    copy->open();
    copy->seek(0, KVIO_SEEK_END);
    ASSERT_EQ(copy->write(in.data(), 1), 1u);
    EXPECT_EQ(gLog.sizes.back(), 9u);
    EXPECT_EQ(getStreamSize(&s), 8);
}
