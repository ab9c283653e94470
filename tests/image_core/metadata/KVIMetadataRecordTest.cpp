#include "metadata/KVIMetadataRecord.h"
#include "metadata/KVIMetadataTag.h"
#include "support/KVUtilException.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

using namespace Korvel;

namespace {

KVStatus constructionStatus(std::uint32_t type, std::uint32_t numDims, const std::uint32_t* dims) {
    try {
        KVIMetadataRecord record("X", type, nullptr, numDims, dims);
        return KV_OK;
    } catch (const KVUtilException& e) {
        return e.getStatus();
    }
}

} // namespace

TEST(KVIMetadataRecord, ScalarsVectorsAndArrays) {
    const std::uint32_t width = 640;
    const KVIMetadataRecord scalar(KVI_TAG_IMAGE_WIDTH, KVI_RECORD_UINT32, &width);
    EXPECT_STREQ(scalar.getName(), "IMAGE::WIDTH");
    EXPECT_TRUE(scalar.isScalar());
    EXPECT_TRUE(scalar.isVector());
    EXPECT_EQ(*static_cast<const std::uint32_t*>(scalar.getScalarData()), 640u);

    const std::int16_t values[6] = {1, -2, 3, -4, 5, -6};
    const std::uint32_t dims[] = {2, 3};
    const KVIMetadataRecord array("A", KVI_RECORD_SINT16, values, 2, dims);
    EXPECT_FALSE(array.isScalar());
    EXPECT_FALSE(array.isVector());
    std::uint32_t length = 99;
    EXPECT_EQ(array.getVectorData(length), nullptr);
    EXPECT_EQ(array.getScalarData(), nullptr);
    EXPECT_EQ(array.getDataSize(), 12u);
    std::uint32_t numDims = 0;
    const std::uint32_t* gotDims = nullptr;
    const auto* data = static_cast<const std::int16_t*>(array.getArrayData(numDims, gotDims));
    ASSERT_EQ(numDims, 2u);
    EXPECT_EQ(gotDims[1], 3u);
    EXPECT_EQ(data[5], -6);

    const std::uint32_t five = 5;
    const KVIMetadataRecord vector("V", KVI_RECORD_FLOAT64, nullptr, 1, &five);
    EXPECT_NE(vector.getVectorData(length), nullptr);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(vector.getDataSize(), 40u);
}

TEST(KVIMetadataRecord, TextsAreDeepCopies) {
    char first[] = "alpha";
    const char* texts[] = {first, nullptr, "gamma"};
    const std::uint32_t three = 3;
    KVIMetadataRecord record("T", KVI_RECORD_TEXT, texts, 1, &three);
    const KVIMetadataRecord copy(record);
    first[0] = 'X';
    std::uint32_t length = 0;
    const auto* got = static_cast<const char* const*>(copy.getVectorData(length));
    ASSERT_EQ(length, 3u);
    EXPECT_STREQ(got[0], "alpha");
    EXPECT_EQ(got[1], nullptr);
    EXPECT_STREQ(got[2], "gamma");
    EXPECT_NE(got[2], texts[2]);
}

TEST(KVIMetadataRecord, DimensionsNeverDriveAnUncheckedAllocation) {
    const std::uint32_t overflow[] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_EQ(constructionStatus(KVI_RECORD_UINT8, 3, overflow), KV_OUT_OF_MEMORY);
    const std::uint32_t fourGiB[] = {0x10000, 0x10000};
    EXPECT_EQ(constructionStatus(KVI_RECORD_UINT8, 2, fourGiB), KV_OUT_OF_MEMORY);
    // Element count fits, bytes do not.
    const std::uint32_t manyDoubles[] = {0x40000000};
    EXPECT_EQ(constructionStatus(KVI_RECORD_FLOAT64, 1, manyDoubles), KV_OUT_OF_MEMORY);
    const std::uint32_t empty[] = {0};
    EXPECT_EQ(constructionStatus(KVI_RECORD_UINT8, 1, empty), KV_OK);
    // No dimensions make a scalar.
    const std::uint8_t one = 1;
    const KVIMetadataRecord scalar("S", KVI_RECORD_UINT8, &one, 0, nullptr);
    EXPECT_TRUE(scalar.isScalar());
    // Records are made only for tags of the table.
    try {
        KVIMetadataRecord unknown(5u, KVI_RECORD_UINT8, &one);
        FAIL() << "a record was made for an unknown tag";
    } catch (const KVUtilException& e) {
        EXPECT_EQ(e.getStatus(), KV_BAD_ARGUMENT);
    }
}

TEST(KVIMetadataTag, TableHas92UniqueRows) {
    ASSERT_EQ(getTagCount(), 92u);
    std::set<std::uint32_t> numbers;
    for (std::size_t i = 0; i < getTagCount(); ++i)
        numbers.insert(getTagByIndex(i));
    EXPECT_EQ(numbers.size(), 92u);
    EXPECT_STREQ(getTagName(0), "(invalid)");
    EXPECT_STREQ(getTagName(1), "");
    EXPECT_STREQ(getTagName(10000), "");
    EXPECT_STREQ(getTagName(300), "USGS::QUADCOMMENT:");
    EXPECT_STREQ(getTagName(501), "PShop::ImageResources");
    EXPECT_STREQ(getTagName(903), "IMAGE::STATISTICS:STANDARD_DEVIATION");
    EXPECT_STREQ(getTagDescription(135), getTagDescription(129));
    EXPECT_EQ(getTagName(136), nullptr);
    EXPECT_EQ(getTagDescription(9999), nullptr);
}
