// The buffered reader over a memory IO of 1000 bytes whose byte i is i mod 251.

#include "BufferedIOReader.h"
#include "Error.h"
#include "LidarMemoryIO.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Korvel;
using quarn_test::LidarMemoryIO;
using quarn_test::ObjectRef;

namespace {

ObjectRef<LidarMemoryIO> patternIO() {
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i % 251);
    return LidarMemoryIO::make(bytes);
}

// Reads n bytes and checks that they are the file's bytes from position `from`.
void expectBytes(BufferedIOReader& reader, std::int64_t from, std::int64_t n) {
    std::vector<std::uint8_t> got(static_cast<std::size_t>(n));
    ASSERT_EQ(reader.read(got.data(), n), n);
    for (std::int64_t i = 0; i < n; ++i)
        ASSERT_EQ(got[i], (from + i) % 251) << "byte " << from + i;
    EXPECT_EQ(reader.tell(), from + n);
}

} // namespace

TEST(BufferedIOReader, ReadsAcrossTheBufferEdge) {
    auto io = patternIO();
    BufferedIOReader reader;
    reader.attach(io.get(), true, 16);
    EXPECT_EQ(io->openHooks, 1);
    expectBytes(reader, 0, 10);
    expectBytes(reader, 10, 10); // 6 buffered, 4 after a refill
    EXPECT_EQ(io->preadCount, 2);
    // Exactly what is buffered (12 bytes) still refills.
    expectBytes(reader, 20, 12);
    EXPECT_EQ(io->preadCount, 3);
    reader.close();
    EXPECT_EQ(io->closeHooks, 1);
}

TEST(BufferedIOReader, DirectReadLeavesNoStaleBuffer) {
    auto io = patternIO();
    BufferedIOReader reader;
    reader.attach(io.get(), true, 16);
    expectBytes(reader, 0, 4);
    const int before = io->preadCount;
    expectBytes(reader, 4, 40); // 12 buffered + 28 straight from the IO
    EXPECT_EQ(io->preadCount, before + 1);
    reader.seek(30, BufferedIOReader::FromStart);
    expectBytes(reader, 30, 4);
    reader.seek(2, BufferedIOReader::FromStart);
    expectBytes(reader, 2, 30);
}

TEST(BufferedIOReader, SeekBackInsideBufferDoesNotRead) {
    auto io = patternIO();
    BufferedIOReader reader;
    reader.attach(io.get(), true, 16);
    reader.seek(100, BufferedIOReader::FromStart);
    expectBytes(reader, 100, 5);
    const int before = io->preadCount;
    reader.seek(-4, BufferedIOReader::FromCurrent);
    expectBytes(reader, 101, 10);
    EXPECT_EQ(io->preadCount, before);
    // Just past the buffered bytes is outside: a new read.
    reader.seek(116, BufferedIOReader::FromStart);
    expectBytes(reader, 116, 1);
    EXPECT_EQ(io->preadCount, before + 1);
}

TEST(BufferedIOReader, ShortReadsAtTheEndAndBadSeeks) {
    auto io = patternIO();
    BufferedIOReader reader;
    reader.attach(io.get(), true, 16);
    reader.seek(-5, BufferedIOReader::FromEnd);
    EXPECT_EQ(reader.remaining(), 5);
    std::uint8_t buffer[64];
    EXPECT_EQ(reader.read(buffer, 10), 5);
    EXPECT_EQ(reader.read(buffer, 64), 0);
    EXPECT_EQ(reader.remaining(), 0);
    EXPECT_THROW(reader.seek(-1, BufferedIOReader::FromStart), Error);
    EXPECT_THROW(reader.seek(INT64_MAX, BufferedIOReader::FromEnd), Error);
}

TEST(BufferedIOReader, LocationSizesBufferAndBoundsWindow) {
    auto io = patternIO();
    BufferedIOReader small;
    small.attach(IO::Location(io.get(), 100, 100), 4096);
    EXPECT_EQ(small.getBufferSize(), 100);
    EXPECT_EQ(small.tell(), 100);
    EXPECT_EQ(small.remaining(), 100);
    expectBytes(small, 100, 30);
    EXPECT_EQ(small.remaining(), 70);

    BufferedIOReader empty;
    empty.attach(IO::Location(io.get(), 10, 0), 4096);
    EXPECT_EQ(empty.getBufferSize(), 4096);
    EXPECT_EQ(empty.remaining(), 0);

    // A window past the IO's end is bounded by the IO.
    BufferedIOReader beyond;
    beyond.attach(IO::Location(io.get(), 990, 100), 4096);
    EXPECT_EQ(beyond.remaining(), 10);
    EXPECT_EQ(io->getReferenceCount(), 4u);
}

TEST(BufferedIOReader, FailedOpenFreesTheBuffer) {
    auto io = patternIO();
    io->failOpen = true;
    BufferedIOReader reader;
    EXPECT_THROW(reader.attach(io.get(), true, 16), Error);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(io->getOpenCount(), 0);
}
