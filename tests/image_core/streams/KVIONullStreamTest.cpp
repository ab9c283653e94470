#include "streams/KVIONullStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace Korvel;

TEST(KVIONullStream, CountsWithoutStoring) {
    KVIONullStream s;
    s.close();
    std::uint8_t buffer[1000] = {7};
    EXPECT_EQ(s.write(buffer, 1000), 0u);
    EXPECT_EQ(s.seek(0, KVIO_SEEK_SET), KV_FAILURE);
    ASSERT_EQ(s.open(), KV_OK);
    EXPECT_EQ(s.write(buffer, 1000), 1000u);
    EXPECT_EQ(s.seek(500, KVIO_SEEK_CUR), KV_OK);
    EXPECT_EQ(s.tell(), 1500);
    EXPECT_EQ(s.seek(0, KVIO_SEEK_END), KV_FAILURE);
    EXPECT_EQ(s.read(buffer, 10), 10u);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(s.seek(-1511, KVIO_SEEK_CUR), KV_FAILURE);
    EXPECT_EQ(s.seek(std::numeric_limits<std::int64_t>::max(), KVIO_SEEK_CUR), KV_FAILURE);
    EXPECT_EQ(s.tell(), 1510);
    s.seek(0, KVIO_SEEK_SET);
}
