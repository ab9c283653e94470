#include "streams/KVIOBodyReader.h"

#include "TestStreams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using Korvel::KVIOBodyReader;
using Korvel::KVStatus;
using quarn_test::VectorStream;

namespace {

constexpr KVStatus kShort = 9001;
constexpr KVStatus kSeek = 9002;

} // namespace

// Every field read over a body of each length up to the bytes it holds: reads inside the body
// give the big-endian values, the first read past its end gives the short-read status without
// touching the stream or the value.
TEST(KVIOBodyReader, ReadsStopAtTheBodysEnd) {
    const std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    for (std::int64_t length = 0; length <= 9; ++length) {
        VectorStream stream(bytes);
        stream.position = 1;
        KVIOBodyReader in(&stream, KVIOBodyReader::kHere, length, kShort, kSeek);
        std::uint32_t word = 77;
        const KVStatus first = in.read(word);
        if (length >= 4) {
            EXPECT_EQ(first, Korvel::KV_OK);
            EXPECT_EQ(word, 0x02030405u);
        } else {
            EXPECT_EQ(first, kShort);
            EXPECT_EQ(word, 77u);
            EXPECT_EQ(stream.position, 1);
        }
        // The next field follows the word when it was read, else starts the body.
        std::uint16_t half = 5;
        const std::int64_t end = length >= 4 ? 6 : 2;
        EXPECT_EQ(in.read(half), length >= end ? Korvel::KV_OK : kShort) << length;
        EXPECT_EQ(half, length < end ? 5 : end == 6 ? 0x0607 : 0x0203) << length;
        EXPECT_EQ(in.remaining(), static_cast<std::uint64_t>(length) - in.position());
    }
}

TEST(KVIOBodyReader, ToTheEndIsBoundedByTheStream) {
    VectorStream stream({0x3F, 0x80, 0x00, 0x00, 0x01});
    KVIOBodyReader in(&stream, KVIOBodyReader::kHere, KVIOBodyReader::kToEnd, kShort, kSeek);
    float value = 0.0f;
    EXPECT_EQ(in.readFloat(value), Korvel::KV_OK);
    EXPECT_EQ(value, 1.0f);
    std::uint16_t tail = 0;
    EXPECT_EQ(in.read(tail), kShort);
    // A body from where the stream stands has no start to seek from.
    EXPECT_EQ(in.seek(0), kSeek);
}

TEST(KVIOBodyReader, SeeksWithinTheBodyFromItsStart) {
    VectorStream stream({0, 0, 0xAA, 0xBB, 0xCC});
    KVIOBodyReader in(&stream, 2, 3, kShort, kSeek);
    EXPECT_EQ(in.seek(4), kShort);
    EXPECT_EQ(in.seek(1), Korvel::KV_OK);
    std::uint8_t byte = 0;
    EXPECT_EQ(in.read(byte), Korvel::KV_OK);
    EXPECT_EQ(byte, 0xBB);
    EXPECT_EQ(in.position(), 2u);
    stream.failSeeksAfter(0);
    EXPECT_EQ(in.seek(0), kSeek);
}

// A body in memory reads as the same body of a stream: each length, each run of fields and
// seeks gives the same statuses, values and positions.
TEST(KVIOBodyReader, BytesInMemoryReadAsTheStreamsBody) {
    const std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    for (std::uint32_t length = 0; length <= 9; ++length) {
        VectorStream stream(bytes);
        KVIOBodyReader fromStream(&stream, 0, length, kShort, kSeek);
        KVIOBodyReader fromMemory(length == 0 ? nullptr : bytes.data(), length, kShort, kSeek);
        for (KVIOBodyReader* in : {&fromStream, &fromMemory}) {
            std::uint32_t word = 77;
            std::uint16_t half = 5;
            std::uint8_t byte = 3;
            std::vector<KVStatus> statuses = {in->read(word), in->read(half), in->seek(length / 2),
                                              in->read(byte), in->seek(length + 1)};
            EXPECT_EQ(statuses,
                      (std::vector<KVStatus>{
                          length >= 4 ? Korvel::KV_OK : kShort,
                          length >= (length >= 4 ? 6u : 2u) ? Korvel::KV_OK : kShort, Korvel::KV_OK,
                          length > length / 2 ? Korvel::KV_OK : kShort, kShort}))
                << length;
            EXPECT_EQ(byte, length > length / 2 ? bytes[length / 2] : 3) << length;
            EXPECT_EQ(in->position(), length > length / 2 ? length / 2 + 1 : length / 2);
        }
    }
}
