#include "streams/KVIOStreamUtils.h"
#include "TestStreams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace Korvel;
using quarn_test::rampBytes;
using quarn_test::VectorStream;

namespace {

// Takes at most `chunk` bytes per write, reporting `status` as its last error.
struct ChunkyStream : VectorStream {
    ChunkyStream(std::uint32_t c, KVStatus status) : chunk(c) { lastError = status; }
    std::uint32_t write(const std::uint8_t* b, std::uint32_t n) override {
        return VectorStream::write(b, std::min(n, chunk));
    }
    std::uint32_t chunk;
};

} // namespace

TEST(KVIOStreamUtils, CopyReadsInPiecesAndStopsAtSourceEnd) {
    VectorStream source(rampBytes(200000)), destination;
    EXPECT_EQ(copyStream(&destination, &source, 200000), KV_OK);
    EXPECT_EQ(source.readRequests, (std::vector<std::uint32_t>{65536, 65536, 65536, 3392}));
    EXPECT_EQ(destination.data, source.data);
    VectorStream shortSource(rampBytes(50)), shortCopy;
    EXPECT_EQ(copyStream(&shortCopy, &shortSource, 100), KV_OK);
    EXPECT_EQ(shortCopy.data.size(), 50u);
    EXPECT_EQ(copyStream(&shortCopy, &shortSource, -1), KV_BAD_ARGUMENT);
}

TEST(KVIOStreamUtils, CopyReportsFailuresAndRetriesToleratedShortWrites) {
    VectorStream source(rampBytes(100000)), destination;
    source.failReadsAfter(70000);
    source.lastError = 77;
    EXPECT_EQ(copyStream(&destination, &source, 100000), 77u);
    source.lastError = KV_OK; // short of the end without an error is still a failure
    EXPECT_EQ(copyStream(&destination, &source, 10), KV_FAILURE);

    for (KVStatus status :
         {KV_STREAM_TOLERATED, KV_WRONG_STREAM_STATE, KV_MEMSTREAM_NO_MEMORY, KV_OK}) {
        VectorStream from(rampBytes(5000));
        ChunkyStream to(1000, status);
        const bool tolerated = status == KV_STREAM_TOLERATED || status == KV_WRONG_STREAM_STATE;
        EXPECT_EQ(copyStream(&to, &from, 5000), status == KV_OK ? KV_FAILURE : status);
        EXPECT_EQ(to.data.size(), tolerated ? 5000u : 1000u);
    }
    VectorStream from(rampBytes(10)); // asks for retries forever but takes nothing
    ChunkyStream stuck(0, KV_STREAM_TOLERATED);
    EXPECT_EQ(copyStream(&stuck, &from, 10), KV_FAILURE);
}

TEST(KVIOStreamUtils, StreamSizeRestoresPosition) {
    VectorStream s(rampBytes(300));
    s.position = 17;
    EXPECT_EQ(getStreamSize(&s), 300);
    EXPECT_EQ(s.position, 17);
    s.failTellAfter(1); // the end cannot be told: put back all the same
    EXPECT_EQ(getStreamSize(&s), -1);
    EXPECT_EQ(s.position, 17);
    s.failTellAfter(5);
    s.failSeeksAfter(1);
    EXPECT_EQ(getStreamSize(&s), -1);
}

TEST(KVIOStreamUtils, DuplicateAtPositionAndCloseAndDelete) {
    KVIOStreamInf* mem = createMemStream();
    ASSERT_NE(mem, nullptr);
    auto bytes = rampBytes(20);
    mem->write(bytes.data(), 20);
    mem->seek(7, KVIO_SEEK_SET);
    KVIOStreamInf* copy = duplicateAtPosition(mem);
    ASSERT_NE(copy, nullptr);
    std::uint8_t b = 0;
    EXPECT_EQ(copy->read(&b, 1), 1u);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(closeAndDelete(copy), KV_OK);
    EXPECT_EQ(copy, nullptr);
    mem->close();
    std::unique_ptr<KVIOStreamInf> closedCopy(duplicateAtPosition(mem));
    ASSERT_NE(closedCopy, nullptr);
    EXPECT_FALSE(closedCopy->isOpen());
    closeAndDelete(mem);

    VectorStream v(rampBytes(10));
    v.duplicateFails = true;
    EXPECT_EQ(duplicateAtPosition(&v), nullptr);
}
