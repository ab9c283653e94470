#include "streams/KVIOSubStream.h"
#include "TestStreams.h"
#include "streams/KVIOStreamUtils.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace Korvel;
using quarn_test::rampBytes;
using quarn_test::VectorStream;

namespace {

class KVIOSubStreamTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(window.initialize(&inner, 100, 200, false), KV_OK); }
    VectorStream inner{rampBytes(1000), false};
    KVIOSubStream window;
    std::vector<std::uint8_t> out = std::vector<std::uint8_t>(300);
};

} // namespace

TEST_F(KVIOSubStreamTest, ReadsSeeksAndWritesStayInsideWindow) {
    ASSERT_EQ(window.open(), KV_OK);
    EXPECT_EQ(inner.position, 100);
    EXPECT_EQ(window.read(out.data(), 150), 100u);
    EXPECT_TRUE(window.isEOF());
    EXPECT_EQ(out[99], 199);
    EXPECT_EQ(window.tell(), 100);
    EXPECT_EQ(window.seek(101, KVIO_SEEK_SET), KV_STREAM_BAD_ARGUMENT);
    EXPECT_EQ(window.seek(100, KVIO_SEEK_SET), KV_OK);
    EXPECT_EQ(window.read(out.data(), 1), 0u);
    EXPECT_EQ(window.seek(-10, KVIO_SEEK_END), KV_OK);
    EXPECT_EQ(window.seek(-5, KVIO_SEEK_CUR), KV_OK);
    EXPECT_EQ(window.tell(), 85);

    window.seek(90, KVIO_SEEK_SET);
    std::vector<std::uint8_t> in(50, 0xEE);
    EXPECT_EQ(window.write(in.data(), 50), 10u);
    EXPECT_EQ(inner.data[199], 0xEE);
    EXPECT_EQ(inner.data[200], 200);
}

TEST_F(KVIOSubStreamTest, InnerStreamElsewhereOrFailing) {
    window.open();
    inner.position = 900; // moved by another user of the inner stream
    EXPECT_EQ(window.read(out.data(), 50), 0u);
    EXPECT_TRUE(window.isEOF());
    EXPECT_EQ(window.write(out.data(), 50), 0u);
    EXPECT_TRUE(inner.writeRequests.empty());

    inner.failTellAfter(0);
    EXPECT_EQ(window.read(out.data(), 10), 0u);
    EXPECT_FALSE(window.isEOF());
    inner.lastError = 77;
    EXPECT_EQ(window.seek(1, KVIO_SEEK_CUR), 77u);
    inner.lastError = KV_OK; // still reported as a failure
    EXPECT_EQ(window.seek(1, KVIO_SEEK_CUR), KV_FAILURE);
}

TEST(KVIOSubStream, InitializeRejectsBadWindowsAndKeepsOwnershipSound) {
    KVIOSubStream s;
    auto* mem = createMemStream();
    EXPECT_EQ(s.initialize(mem, 200, 100, true), KV_FAILURE);
    EXPECT_EQ(s.initialize(mem, -1, 100, true), KV_FAILURE);
    // Refused: the stream stays the caller's, and nothing here dereferences it.
    EXPECT_EQ(s.open(), KV_FAILURE);
    EXPECT_EQ(s.read(nullptr, 0), 0u);
    EXPECT_LT(s.tell(), 0);
    EXPECT_EQ(s.duplicate(), nullptr);
    // Owned: re-initialising over the same stream keeps it alive; over another deletes it.
    ASSERT_EQ(s.initialize(mem, 0, 10, true), KV_OK);
    ASSERT_EQ(s.initialize(mem, 0, 20, true), KV_OK);
    ASSERT_EQ(s.open(), KV_OK);
    EXPECT_EQ(s.write(reinterpret_cast<const std::uint8_t*>("abc"), 3), 3u);
    ASSERT_EQ(s.initialize(createMemStream(), 0, 5, true), KV_OK);
}

TEST(KVIOSubStream, DuplicateSharesInnerWithoutOwningIt) {
    auto* owned = new VectorStream(rampBytes(50));
    KVIOSubStream s;
    ASSERT_EQ(s.initialize(owned, 10, 30, true), KV_OK);
    std::unique_ptr<KVIOStreamInf> copy(s.duplicate());
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->open(), KV_OK);
    EXPECT_EQ(owned->position, 10);
    copy.reset(); // must not delete the inner stream
    ASSERT_EQ(s.seek(5, KVIO_SEEK_SET), KV_OK);
    std::uint8_t b = 0;
    EXPECT_EQ(s.read(&b, 1), 1u);
    EXPECT_EQ(b, 15);
}

TEST(KVIOSubStream, ReinitialisingDeletesOnlyWhatItOwns) {
    const int before = VectorStream::live;
    VectorStream borrowed(rampBytes(40));
    {
        KVIOSubStream s;
        auto* owned = new VectorStream(rampBytes(40));
        ASSERT_EQ(s.initialize(owned, 0, 40, true), KV_OK);
        ASSERT_EQ(s.initialize(owned, 0, 30, true), KV_OK); // the same stream again: kept alive
        EXPECT_EQ(VectorStream::live, before + 2);
        ASSERT_EQ(s.initialize(&borrowed, 0, 40, false), KV_OK); // the owned one goes
        EXPECT_EQ(VectorStream::live, before + 1);
        ASSERT_EQ(s.initialize(new VectorStream(rampBytes(8)), 0, 8, true), KV_OK);
        EXPECT_EQ(VectorStream::live, before + 2) << "the borrowed stream is never deleted";
    }
    EXPECT_EQ(VectorStream::live, before + 1) << "the owned stream goes with its owner";
}
