// The pixel holder: memory that only grows, to exact sizes, and sizes formed in 64 bits.

#include "buffers/PixelHolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace Korvel;

namespace {

TEST(PixelHolder, GrowsToExactSizesAndKeepsMemoryWhenSmaller) {
    PixelHolder holder(KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT16));
    ASSERT_TRUE(holder.resize(100));
    EXPECT_TRUE(holder.isGrown());
    std::uint8_t* before[3];
    for (std::uint16_t b = 0; b < 3; ++b) {
        EXPECT_EQ(holder.getBand(b).getCapacity(), 200u);
        EXPECT_EQ(holder.getBand(b).getSize(), 200u);
        EXPECT_TRUE(holder.getBand(b).isGrown());
        before[b] = holder.getBandData()[b];
        ASSERT_NE(before[b], nullptr);
        EXPECT_EQ(before[b], holder.getBand(b).getData());
        std::memset(before[b], 0xAB, 200);
    }

    ASSERT_TRUE(holder.resize(50));
    EXPECT_FALSE(holder.isGrown());
    holder.fill(0);
    for (std::uint16_t b = 0; b < 3; ++b) {
        EXPECT_EQ(holder.getBand(b).getCapacity(), 200u);
        EXPECT_EQ(holder.getBand(b).getSize(), 100u);
        EXPECT_FALSE(holder.getBand(b).isGrown());
        EXPECT_EQ(holder.getBandData()[b], before[b]);
        // Only the bytes in use are cleared.
        const std::uint8_t* data = before[b];
        EXPECT_TRUE(std::all_of(data, data + 100, [](std::uint8_t v) { return v == 0; }));
        EXPECT_TRUE(std::all_of(data + 100, data + 200, [](std::uint8_t v) { return v == 0xAB; }));
    }

    // Growing again keeps the old contents.
    ASSERT_TRUE(holder.resize(150));
    EXPECT_TRUE(holder.isGrown());
    EXPECT_EQ(holder.getBand(1).getCapacity(), 300u);
    EXPECT_EQ(holder.getBandData()[1][150], 0xAB);
}

TEST(PixelHolder, NothingToHoldIsNotSuccessUnlessThereAreNoBands) {
    PixelHolder holder(KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8));
    EXPECT_FALSE(holder.resize(0));
    EXPECT_EQ(holder.getBandData()[0], nullptr);
    EXPECT_EQ(holder.getBand(0).getCapacity(), 0u);
    holder.fill(7); // skips the band without data

    PixelHolder none(KVIPixel(KVI_COLORSPACE_MULTIBAND, 0, KVI_DATATYPE_UINT8));
    EXPECT_TRUE(none.resize(0));
    EXPECT_TRUE(none.resize(0xFFFFFFFFu));
}

TEST(PixelHolder, SizesBeyond32BitsFailInsteadOfWrapping) {
    // 8-byte samples: 0x20000000 pixels make exactly 2^32 bytes, which a 32-bit product would
    // turn into 0.
    PixelHolder holder(KVIPixel(KVI_COLORSPACE_MULTIBAND, 2, KVI_DATATYPE_FLOAT64));
    ASSERT_TRUE(holder.resize(16));
    EXPECT_FALSE(holder.resize(0x20000000u));
    EXPECT_TRUE(holder.isGrown());
    for (std::uint16_t b = 0; b < 2; ++b) {
        EXPECT_EQ(holder.getBandData()[b], nullptr);
        EXPECT_EQ(holder.getBand(b).getCapacity(), 0u);
    }
    holder.fill(0);
    // The holder recovers with the next size it can hold.
    EXPECT_TRUE(holder.resize(4));
    EXPECT_EQ(holder.getBand(0).getCapacity(), 32u);

    PixelHolder::BandBuffer buffer;
    EXPECT_FALSE(buffer.resize(std::uint64_t{1} << 32));
    EXPECT_EQ(buffer.getData(), nullptr);
    EXPECT_TRUE(buffer.resize(0xFF));
    EXPECT_EQ(buffer.getCapacity(), 0xFFu);
}

} // namespace
