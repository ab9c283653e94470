#include "metadata/KVIMetadataDatabase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Korvel;

namespace {

KVIMetadataRecord u32(const char* name, std::uint32_t value) {
    return KVIMetadataRecord(name, KVI_RECORD_UINT32, &value, 0, nullptr);
}

std::uint32_t valueOf(const KVIMetadataDatabase& db, const char* name) {
    const KVIMetadataRecord* record = nullptr;
    EXPECT_EQ(db.get(name, record), KV_OK);
    return record ? *static_cast<const std::uint32_t*>(record->getScalarData()) : 0;
}

std::vector<std::string> namesOf(const KVIMetadataDatabase& db) {
    std::vector<std::string> names;
    const KVIMetadataRecord* record = nullptr;
    for (std::uint32_t i = 0; db.getByIndex(i, record) == KV_OK; ++i)
        names.emplace_back(record->getName());
    return names;
}

} // namespace

TEST(KVIMetadataDatabase, AddGetAndDuplicateNames) {
    KVIMetadataDatabase db;
    ASSERT_EQ(db.add(u32("IMAGE::WIDTH", 640)), KV_OK);
    EXPECT_EQ(db.add(u32("IMAGE::WIDTH", 800)), KV_METADATA_EXISTS);
    EXPECT_EQ(db.getCount(), 1u);
    EXPECT_EQ(valueOf(db, "IMAGE::WIDTH"), 640u);
    EXPECT_TRUE(db.has(KVI_TAG_IMAGE_WIDTH));
    EXPECT_FALSE(db.has("image::width"));
    EXPECT_FALSE(db.has(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(db.has(136u));
    const KVIMetadataRecord* record = nullptr;
    EXPECT_EQ(db.get(KVI_TAG_IMAGE_HEIGHT, record), KV_METADATA_NOT_FOUND);
    EXPECT_EQ(db.getByIndex(1, record), KV_METADATA_NOT_FOUND);
}

TEST(KVIMetadataDatabase, RemoveKeepsTheOrderOfTheRest) {
    KVIMetadataDatabase db;
    for (const char* name : {"a", "b", "c", "d"})
        ASSERT_EQ(db.add(u32(name, 1)), KV_OK);
    EXPECT_EQ(db.remove("b"), KV_OK);
    EXPECT_EQ(db.remove("b"), KV_METADATA_NOT_FOUND);
    EXPECT_EQ(db.remove(KVI_TAG_IMAGE_WIDTH), KV_METADATA_NOT_FOUND);
    EXPECT_EQ(namesOf(db), (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_EQ(db.removeAll(), KV_OK);
    EXPECT_EQ(db.getCount(), 0u);
}

TEST(KVIMetadataDatabase, MergeAddsAllOrNothing) {
    KVIMetadataDatabase target;
    ASSERT_EQ(target.add(u32("x", 1)), KV_OK);
    KVIMetadataDatabase clashing;
    ASSERT_EQ(clashing.add(u32("y", 2)), KV_OK);
    ASSERT_EQ(clashing.add(u32("x", 3)), KV_OK);
    EXPECT_EQ(target.merge(clashing), KV_METADATA_EXISTS);
    EXPECT_EQ(namesOf(target), (std::vector<std::string>{"x"}));
    EXPECT_EQ(valueOf(target, "x"), 1u);

    KVIMetadataDatabase fresh;
    ASSERT_EQ(fresh.add(u32("z", 4)), KV_OK);
    ASSERT_EQ(fresh.add(u32("w", 5)), KV_OK);
    EXPECT_EQ(target.merge(fresh), KV_OK);
    EXPECT_EQ(namesOf(target), (std::vector<std::string>{"x", "z", "w"}));
    EXPECT_EQ(target.merge(target), KV_METADATA_EXISTS);

    // A copy is independent of its source.
    KVIMetadataDatabase copy(target);
    target.removeAll();
    EXPECT_EQ(namesOf(copy), (std::vector<std::string>{"x", "z", "w"}));
    EXPECT_EQ(valueOf(copy, "w"), 5u);
}

TEST(KVIMetadataDatabase, LookupsFollowRemovalsAndReadditions) {
    KVIMetadataDatabase db;
    // std::string("r") + ...: GCC 12 at -O3 reports a false -Wrestrict in libstdc++ for "r" + ...
    for (std::uint32_t i = 0; i < 100; ++i)
        ASSERT_EQ(db.add(u32((std::string("r") + std::to_string(i)).c_str(), i)), KV_OK);
    // Taken out and added again: found again, at the end, with the new value.
    for (std::uint32_t i = 0; i < 100; i += 2) {
        const std::string name = std::string("r") + std::to_string(i);
        ASSERT_EQ(db.remove(name.c_str()), KV_OK);
        EXPECT_FALSE(db.has(name.c_str()));
        ASSERT_EQ(db.add(u32(name.c_str(), 1000 + i)), KV_OK);
    }
    EXPECT_EQ(db.getCount(), 100u);
    EXPECT_EQ(valueOf(db, "r0"), 1000u);
    EXPECT_EQ(valueOf(db, "r1"), 1u);
    EXPECT_EQ(namesOf(db)[49], "r99");
    EXPECT_EQ(namesOf(db)[50], "r0");
    // A merged or copied database finds its records too; one emptied finds none.
    KVIMetadataDatabase copy(db);
    EXPECT_EQ(valueOf(copy, "r98"), 1098u);
    EXPECT_EQ(copy.add(u32("r5", 0)), KV_METADATA_EXISTS);
    db.removeAll();
    EXPECT_FALSE(db.has("r1"));
    EXPECT_EQ(db.add(u32("r1", 7)), KV_OK);
    EXPECT_EQ(valueOf(db, "r1"), 7u);
}
