// Raw bits, least significant bit of each byte first, and the end of the range.

#include "KernelBitReader.h"

#include <gtest/gtest.h>

TEST(KernelBitReader, ReadsLeastSignificantBitFirstAndMarksTheEnd) {
    const std::uint8_t bytes[] = {0x01, 0xA0};
    Korvel::KernelBitReader reader;
    reader.init(bytes, 2);
    const unsigned expected[] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1};
    for (unsigned bit : expected)
        EXPECT_EQ(reader.readBit(), bit);
    EXPECT_FALSE(reader.exhausted());
    EXPECT_EQ(reader.readBit(), 0u);
    EXPECT_TRUE(reader.exhausted());
    EXPECT_EQ(reader.bytesRead(), 2u);
}
