// Metadata bodies made by the test writer, read through a reader on the body's window.

#include "Metadata.h"
#include "BufferedIOReader.h"
#include "Error.h"
#include "LidarBodyWriter.h"
#include "LidarMemoryIO.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace Korvel;
using quarn_test::LidarBodyWriter;
using quarn_test::LidarMemoryIO;

namespace {

// Reads the first bodyLength bytes of the file as one metadata body; the bytes after it stand
// for the next chunk.
void readBody(Metadata& metadata, const std::vector<std::uint8_t>& file, std::int64_t bodyLength) {
    auto io = LidarMemoryIO::make(file);
    BufferedIOReader reader;
    reader.attach(IO::Location(io.get(), 0, bodyLength), 4096);
    metadata.read(reader);
}

// The error of reading the body cut to its first `length` bytes.
Error readError(const std::vector<std::uint8_t>& body, std::size_t length) {
    std::vector<std::uint8_t> file(body.begin(), body.begin() + length);
    file.resize(file.size() + 64, 0xFF); // a following chunk must not be read as part of it
    Metadata metadata;
    try {
        readBody(metadata, file, static_cast<std::int64_t>(length));
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no error for length " << length;
    return Error("", "", 0, 0);
}

std::vector<std::uint8_t> sampleBody() {
    LidarBodyWriter body;
    body.metadataHeader(7)
        .metadataRecord("PreCompressionPointCount", "points before compression", 3,
                        LidarBodyWriter::doubles({1000000.0, -2.5}))
        .metadataRecord("Twenty", "", 3, LidarBodyWriter::doubles({7.0, 8.0}) + "abcd")
        .metadataRecord("Short", "", 3, "1234")
        .metadataRecord("Text", "a text", 1, std::string("hello", 6))
        .metadataRecord("Bytes", "raw", 9, std::string("\x00\xFF\x10", 3))
        .metadataRecord("Text", "second", 1, "other")
        .metadataRecord("Empty", "", 2, "");
    return body.bytes();
}

} // namespace

TEST(KernelMetadata, RecordsOfEveryDatatypeReadBack) {
    const std::vector<std::uint8_t> body = sampleBody();
    Metadata metadata;
    readBody(metadata, body, static_cast<std::int64_t>(body.size()));

    const char* description = nullptr;
    std::uint16_t datatype = 0;
    const void* value = nullptr;
    std::uint64_t count = 0;
    ASSERT_TRUE(metadata.get("PreCompressionPointCount", &description, &datatype, &value, &count));
    EXPECT_STREQ(description, "points before compression");
    EXPECT_EQ(datatype, 3);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(static_cast<const double*>(value)[0], 1000000.0);
    EXPECT_EQ(static_cast<const double*>(value)[1], -2.5);

    // 20 bytes of doubles: two values, the last 4 bytes ignored.
    ASSERT_TRUE(metadata.get("Twenty", nullptr, nullptr, &value, &count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(static_cast<const double*>(value)[1], 8.0);
    // Too short for one double: the record counts as missing.
    EXPECT_FALSE(metadata.has("Short"));

    ASSERT_TRUE(metadata.get("Text", &description, &datatype, &value, &count));
    EXPECT_STREQ(description, "a text"); // the first of two records with the key
    EXPECT_EQ(datatype, 1);
    EXPECT_EQ(count, 6u);
    EXPECT_STREQ(static_cast<const char*>(value), "hello");

    ASSERT_TRUE(metadata.get("Bytes", nullptr, &datatype, &value, &count));
    EXPECT_EQ(datatype, 9);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(std::memcmp(value, "\x00\xFF\x10", 3), 0);

    ASSERT_TRUE(metadata.get("Empty", nullptr, nullptr, &value, &count));
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(metadata.has("text"));
}

TEST(KernelMetadata, KeyWithoutZeroByteIsEndedOnReading) {
    LidarBodyWriter body;
    body.metadataHeader(1).lengthPrefixed("abc").lengthPrefixed("").u16(1).lengthPrefixed("v");
    Metadata metadata;
    readBody(metadata, body.bytes(), static_cast<std::int64_t>(body.size()));
    const char* description = "unset";
    EXPECT_TRUE(metadata.get("abc", &description, nullptr, nullptr, nullptr));
    EXPECT_EQ(description, nullptr); // length 0 gives null
    EXPECT_FALSE(metadata.has("ab"));
}

TEST(KernelMetadata, EveryCutBodyFailsWithTheReadError) {
    const std::vector<std::uint8_t> body = sampleBody();
    for (std::size_t length = 0; length < body.size(); ++length) {
        const Error error = readError(body, length);
        EXPECT_EQ(error.getCode(), 40008u) << length;
        EXPECT_STREQ(error.getFile(), "Metadata");
        EXPECT_EQ(std::strncmp(error.what(), "bad read -- ", 12), 0) << error.what();
    }
    // Hand-picked cuts: a 73-byte record, then each field of a second one comes up short.
    LidarBodyWriter two;
    two.metadataHeader(2)
        .metadataRecord("PreCompressionPointCount", "points before compression", 3,
                        LidarBodyWriter::doubles({1e6}))
        .metadataRecord("K", "", 1, "v");
    const std::pair<std::size_t, const char*> cuts[] = {
        {3, "bad read -- version"},     {6, "bad read -- numRecords"},
        {20, "bad read -- numRecords"}, {83, "bad read -- key length"},
        {86, "bad read -- key data"},   {89, "bad read -- description length"},
        {93, "bad read -- datatype"},   {96, "bad read -- value length"},
        {98, "bad read -- value data"},
    };
    for (const auto& [length, message] : cuts)
        EXPECT_STREQ(readError(two.bytes(), length).what(), message) << length;
    EXPECT_STREQ(readError(two.bytes(), 6).getFunction(), "Korvel::Metadata::read");
    EXPECT_STREQ(readError(two.bytes(), 83).getFunction(), "loadChunk");
}

TEST(KernelMetadata, CountsAndLengthsBeyondTheBodyAreRefused) {
    LidarBodyWriter version;
    version.metadataHeader(0, 1);
    EXPECT_STREQ(readError(version.bytes(), version.size()).what(), "unsupported version");

    // 2 records need at least 28 bytes; 27 remain.
    LidarBodyWriter count;
    count.metadataHeader(2).raw(std::string(27, '\0'));
    EXPECT_STREQ(readError(count.bytes(), count.size()).what(), "bad read -- numRecords");
    LidarBodyWriter huge;
    huge.metadataHeader(0xFFFFFFFF).raw(std::string(100, '\0'));
    EXPECT_STREQ(readError(huge.bytes(), huge.size()).what(), "bad read -- numRecords");

    // A value length one byte beyond the body, and one of 4 GiB; the first record stays.
    for (std::uint32_t length : {6u, 0xFFFFFFFFu}) {
        LidarBodyWriter body;
        body.metadataHeader(2).metadataRecord("First", "", 1, "x");
        body.lengthPrefixed(std::string("K", 2)).lengthPrefixed("").u16(1).u32(length).raw("12345");
        std::vector<std::uint8_t> bytes = body.bytes();
        bytes.resize(bytes.size() + 64, 0);

        Metadata metadata;
        try {
            readBody(metadata, bytes, static_cast<std::int64_t>(bytes.size() - 64));
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), "bad read -- value data");
        }
        EXPECT_TRUE(metadata.has("First"));
        EXPECT_FALSE(metadata.has("K"));
    }
}
