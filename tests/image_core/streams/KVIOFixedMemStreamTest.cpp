#include "streams/KVIOFixedMemStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

using namespace Korvel;

// Random seeks (in range, out of range, at the limits of 64 bits) and reads against a plain model
// of bytes placed at an origin: positions, reads, end-of-file and refusals agree.
TEST(KVIOFixedMemStream, AgreesWithAPlainModelAtAnyOrigin) {
    std::mt19937_64 random(11);
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (const std::int64_t origin : {std::int64_t(0), std::int64_t(8), kMax - 64}) {
        for (const std::uint32_t count : {0u, 1u, 3u, 40u}) {
            std::vector<std::uint8_t> bytes(count);
            for (std::uint32_t i = 0; i < count; ++i)
                bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
            KVIOFixedMemStream stream(bytes.data(), count, origin);
            std::int64_t at = 0; // the model's place, relative to the origin
            for (int step = 0; step < 400; ++step) {
                const std::uint32_t direction = KVIO_SEEK_SET + std::uint32_t(random() % 4);
                const std::int64_t offsets[] = {std::int64_t(random() % 50) - 5, origin + 2, kMax,
                                                std::numeric_limits<std::int64_t>::min()};
                const std::int64_t offset = offsets[random() % 4];
                const std::int64_t base = direction == KVIO_SEEK_SET   ? origin
                                          : direction == KVIO_SEEK_CUR ? -at
                                                                       : -std::int64_t(count);
                // The target relative to the origin, in 128 bits so that the model cannot wrap.
                const __int128 to = __int128(offset) - base;
                const bool valid = direction <= KVIO_SEEK_END && to >= 0 && to <= count;
                EXPECT_EQ(stream.seek(offset, direction), valid ? KV_OK : KV_FAILURE);
                if (valid) at = std::int64_t(to);

                std::uint8_t out[64] = {};
                const std::uint32_t ask = std::uint32_t(random() % 12);
                const std::uint32_t got = std::min<std::uint32_t>(ask, count - std::uint32_t(at));
                ASSERT_EQ(stream.read(out, ask), got);
                EXPECT_TRUE(std::equal(out, out + got, bytes.begin() + at));
                EXPECT_EQ(stream.isEOF(), got < ask);
                at += got;
                EXPECT_EQ(stream.tell(), origin + at);
            }
        }
    }
}
