// File header validation and classification, and the format's data-type and colour-space codes.

#include "qg3/container/QG3FileHeader.h"
#include "RasterFileWriter.h"
#include "TestStreams.h"
#include "qg3/container/QG3ColorSpace.h"
#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3ImageDesc.h"
#include "qg3/container/QG3Status.h"

#include <gtest/gtest.h>

using namespace Korvel;
using quarn_test::VectorStream;

TEST(QG3FileHeader, AcceptsExactlyTheKnownVersions) {
    for (int letter = 'a'; letter <= 'z'; ++letter) {
        const bool known = letter == 'o' || (letter >= 'q' && letter <= 'u');
        EXPECT_EQ(validateFileVersion({3, 0, 0x1A, std::uint8_t(letter)}), known) << char(letter);
    }
    EXPECT_TRUE(validateFileVersion({3, 4, 0, 'a'}));
    EXPECT_FALSE(validateFileVersion({3, 4, 0, 'b'}));
    EXPECT_FALSE(validateFileVersion({3, 0, 0x1B, 'q'}));
    EXPECT_FALSE(validateFileVersion({2, 0, 0x1A, 'q'}));

    EXPECT_EQ(compareFileVersion({3, 0, 0x1A, 'o'}), QG3_READER_GEN3);
    EXPECT_EQ(compareFileVersion({3, 3, 0xFF, 0xFF}), QG3_READER_GEN3);
    EXPECT_EQ(compareFileVersion({3, 4, 0, 'a'}), QG3_READER_GEN4);
    EXPECT_EQ(compareFileVersion({3, 4, 0, 'b'}), QG3_READER_UNKNOWN);
}

TEST(QG3FileHeader, ClassifiesByVersionByte) {
    struct Case {
        std::uint8_t b4, b5;
        KVStatus status;
        std::uint32_t generation;
        bool raster;
    };
    const Case cases[] = {{1, 0, KV_OK, 2, true},
                          {2, 9, KV_OK, 2, true},
                          {3, 0, KV_OK, 3, true},
                          {3, 3, KV_OK, 3, true},
                          {3, 4, KV_OK, 4, true},
                          {3, 200, KV_OK, 4, true},
                          {4, 0, KV_OK, 4, false},
                          {0, 0, KV_QRN_UNKNOWN_VERSION, 0, 0},
                          {5, 0, KV_QRN_UNKNOWN_VERSION, 0, 0}};
    for (const Case& c : cases) {
        const std::uint8_t header[8] = {'q', 'r', 'n', 'd', c.b4, c.b5, 0, 0};
        std::uint32_t generation = 0;
        bool raster = false;
        ASSERT_EQ(classifyFileHeader(header, generation, raster), c.status) << int(c.b4);
        if (c.status != KV_OK) continue;
        EXPECT_EQ(generation, c.generation);
        EXPECT_EQ(raster, c.raster);
    }
    // The magic is checked before the version.
    const std::uint8_t wrong[8] = {'q', 'r', 'n', 'D', 0, 0, 0, 0};
    std::uint32_t generation = 0;
    bool raster = false;
    EXPECT_EQ(classifyFileHeader(wrong, generation, raster), KV_QRN_NOT_QUARN_FILE);
}

TEST(QG3FileHeader, ReadsAndWritesTheEightBytes) {
    QG3FileVersion version{};
    VectorStream good(quarn_test::fileHeader({3, 0, 0x1A, 'u'}));
    ASSERT_EQ(readFileHeader(&good, version), KV_OK);
    EXPECT_EQ(version, (QG3FileVersion{3, 0, 0x1A, 'u'}));

    VectorStream shortStream(quarn_test::Bytes{'q', 'r', 'n', 'd', 3, 4, 0});
    EXPECT_EQ(readFileHeader(&shortStream, version), KV_QG3_READ_FAILED);
    VectorStream magic(quarn_test::Bytes{'Q', 'r', 'n', 'd', 3, 4, 0, 'a'});
    EXPECT_EQ(readFileHeader(&magic, version), KV_QG3_BAD_FORMAT);
    VectorStream unknown(quarn_test::fileHeader({3, 0, 0x1A, 'p'}));
    EXPECT_EQ(readFileHeader(&unknown, version), KV_QG3_BAD_FORMAT);

    VectorStream out;
    ASSERT_EQ(writeFileHeader(QG3_VERSION_GEN4_RASTER, &out), KV_OK);
    EXPECT_EQ(out.data, quarn_test::fileHeader(quarn_test::kGen4Version));
    VectorStream full;
    full.writeBudget = 7;
    EXPECT_EQ(writeFileHeader(QG3_VERSION_GEN4_RASTER, &full), KV_QG3_WRITE_FAILED);
}

TEST(QG3DataType, CodesAndTheirOldFormBitCounts) {
    // code -> bits, bytes, old-form bits, signed, sample type
    const std::uint32_t table[][6] = {
        {1, 8, 1, 0, 0, 0},    {3, 24, 3, 0, 0, 0},   {5, 8, 1, 8, 0, 1},    {6, 8, 1, 7, 1, 2},
        {7, 16, 2, 16, 0, 3},  {8, 16, 2, 15, 1, 4},  {9, 32, 4, 32, 0, 5},  {10, 32, 4, 31, 1, 6},
        {11, 64, 8, 64, 0, 0}, {12, 64, 8, 63, 1, 0}, {13, 32, 4, 24, 1, 7}, {14, 64, 8, 48, 1, 0},
        {0, 0, 0, 0, 0, 0},    {15, 0, 0, 0, 0, 0}};
    for (const auto& row : table) {
        const std::uint32_t code = row[0];
        EXPECT_EQ(getDataTypeBits(code), row[1]) << code;
        EXPECT_EQ(getDataTypeBytes(code), row[2]) << code;
        EXPECT_EQ(getOldFormBitCount(code), row[3]) << code;
        EXPECT_EQ(isSignedDataType(code), row[4] != 0) << code;
        EXPECT_EQ(getSampleDataType(code), row[5]) << code;
        if (row[3] != 0) {
            EXPECT_EQ(dataTypeFromOldFormBitCount(row[3]), code);
        }
    }
    for (std::uint32_t bits : {0u, 1u, 9u, 23u, 33u, 255u})
        EXPECT_EQ(dataTypeFromOldFormBitCount(bits), 0u) << bits;
}

TEST(QG3ColorSpace, MapsCodesWithTheirAlphaBits) {
    const std::uint32_t table[][2] = {
        {1, 0x0101},    {65, 0x10101}, {129, 0x30101}, {4, 0x10303}, {72, 0x10303}, {5, 0xFF01},
        {133, 0x3FF01}, {8, 0x0303},   {9, 0x0403},    {10, 0x0301}, {74, 0x10301}, {11, 0x0402},
        {139, 0x30402}, {12, 0x0401},  {140, 0x30401}, {0, 0},       {2, 0},        {68, 0},
        {132, 0},       {193, 0},      {13, 0},        {0x101, 0}};
    for (const auto& [code, value] : table)
        EXPECT_EQ(colorSpaceToPixelColorSpace(code), value) << code;
}
