// The library's byte stream over a shell stream: its state rules and end-of-file flag.

#include "KVIO_IStreamStream.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Korvel;

namespace {

class AdapterTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<BYTE> bytes(100);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<BYTE>(i);
        stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
        ASSERT_NE(nullptr, stream);
    }
    void TearDown() override {
        EXPECT_EQ(0u, stream->Release()) << "the adapter keeps no reference";
    }
    IStream* stream = nullptr;
};

TEST_F(AdapterTest, OpenAndCloseStates) {
    KVIO_IStreamStream adapter(stream);
    EXPECT_FALSE(adapter.isOpen());
    EXPECT_EQ(KV_WRONG_STREAM_STATE, adapter.close());
    ASSERT_EQ(KV_OK, adapter.seek(40, KVIO_SEEK_SET));
    ASSERT_EQ(KV_OK, adapter.open());
    EXPECT_EQ(0, adapter.tell()) << "open goes back to the start";
    EXPECT_EQ(KV_WRONG_STREAM_STATE, adapter.open());
    ASSERT_EQ(KV_OK, adapter.seek(10, KVIO_SEEK_SET));
    EXPECT_EQ(KV_OK, adapter.close());
    EXPECT_EQ(0, adapter.tell());
    EXPECT_EQ(KV_FAILURE, adapter.getLastError());
    EXPECT_STREQ("IStream StreamWrapper", adapter.getID());
    EXPECT_EQ(nullptr, adapter.duplicate());
}

TEST_F(AdapterTest, ReadsSeeksAndEndOfFile) {
    KVIO_IStreamStream adapter(stream);
    std::uint8_t buffer[64] = {};
    // Reads work whether or not the adapter is open.
    EXPECT_EQ(10u, adapter.read(buffer, 10));
    EXPECT_EQ(10, adapter.tell());
    EXPECT_EQ(KV_OK, adapter.seek(-20, KVIO_SEEK_END));
    EXPECT_EQ(80, adapter.tell());
    EXPECT_EQ(20u, adapter.read(buffer, 64));
    EXPECT_EQ(80, buffer[0]);
    EXPECT_TRUE(adapter.isEOF()) << "a short read sets end-of-file";
    EXPECT_EQ(KV_OK, adapter.seek(-50, KVIO_SEEK_CUR));
    EXPECT_TRUE(adapter.isEOF()) << "seeking leaves the flag alone";
    EXPECT_EQ(50u, adapter.read(buffer, 50));
    EXPECT_FALSE(adapter.isEOF()) << "a full read clears it";
    EXPECT_EQ(KV_BAD_ARGUMENT, adapter.seek(0, 1));
    EXPECT_EQ(KV_BAD_ARGUMENT, adapter.seek(0, 5));
    EXPECT_EQ(100, adapter.tell());
    // A seek the stream refuses leaves the position as it was.
    EXPECT_EQ(KV_OK, adapter.seek(-1, KVIO_SEEK_SET));
    EXPECT_EQ(100, adapter.tell());
}

} // namespace
