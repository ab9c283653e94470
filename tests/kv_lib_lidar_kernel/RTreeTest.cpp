// The spatial index in memory and on disk, both made from bodies of the test writer, checked
// against a brute-force scan of the same boxes.

#include "BufferedIOReader.h"
#include "DiskRTree.h"
#include "Error.h"
#include "LidarBodyWriter.h"
#include "LidarMemoryIO.h"
#include "MemoryRTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

using namespace Korvel;
using quarn_test::LidarBodyWriter;
using quarn_test::LidarBox;
using quarn_test::LidarDiskTree;
using quarn_test::LidarMemoryIO;
using Quantised = std::array<std::uint32_t, 6>;

namespace {

// Stored bounds q stand for q * 0.5 - 100 on every axis.
constexpr double Scale = 0.5;
constexpr double Offset = -100.0;
// Bytes before the body (and as many after), so that offsets are relative to where it lies.
constexpr std::size_t Before = 7;

LidarBox decode(const Quantised& q) {
    LidarBox box;
    for (int i = 0; i < 6; ++i)
        box[i] = q[i] * Scale + Offset;
    return box;
}

std::vector<Quantised> randomBoxes(std::mt19937& random, int count, std::uint32_t range) {
    std::uniform_int_distribution<std::uint32_t> start(0, range), extent(0, range / 10);
    std::vector<Quantised> boxes;
    for (int i = 0; i < count; ++i) {
        Quantised q;
        for (int axis = 0; axis < 3; ++axis) {
            q[2 * axis] = start(random);
            q[2 * axis + 1] = q[2 * axis] + extent(random);
        }
        boxes.push_back(q);
    }
    return boxes;
}

struct Loaded {
    quarn_test::ObjectRef<LidarMemoryIO> io;
    std::unique_ptr<RTree> tree;
    std::int64_t endPosition = 0;
};

// Runs load or init on the body placed between filler bytes.
template <class Tree> Loaded load(const LidarBodyWriter& body, std::int64_t bodyLength = -1) {
    std::vector<std::uint8_t> file(Before, 0xEE);
    file.insert(file.end(), body.bytes().begin(), body.bytes().end());
    file.resize(file.size() + Before, 0xEE);
    Loaded loaded{LidarMemoryIO::make(file), std::make_unique<Tree>(), 0};
    BufferedIOReader reader;
    reader.attach(loaded.io.get(), true, 64);
    reader.seek(Before, BufferedIOReader::FromStart);
    const std::int64_t length = bodyLength >= 0 ? bodyLength : std::int64_t(body.size());
    if constexpr (std::is_same_v<Tree, MemoryRTree>)
        static_cast<Tree&>(*loaded.tree).load(reader, length);
    else
        static_cast<Tree&>(*loaded.tree).init(reader, length);
    loaded.endPosition = reader.tell();
    return loaded;
}

template <class Tree> Error loadError(const LidarBodyWriter& body, std::int64_t bodyLength) {
    try {
        load<Tree>(body, bodyLength);
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "accepted " << bodyLength;
    return Error("", "", 0, 0);
}

Loaded loadDisk(const LidarDiskTree& tree) {
    LidarBodyWriter body;
    body.diskTree(tree);
    return load<DiskRTree>(body);
}

// The error of initialising a disk tree, or of walking it to the end.
Error diskError(const LidarDiskTree& stored) {
    try {
        Loaded loaded = loadDisk(stored);
        std::unique_ptr<RTree::Iterator> iterator(loaded.tree->createIterator());
        std::uint64_t block = 0;
        for (int calls = 0; calls < 1000000 && iterator->next(block); ++calls) {
        }
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no error";
    return Error("", "", 0, 0);
}

template <class Next> std::vector<std::uint64_t> collect(RTree::Iterator& iterator, Next next) {
    std::vector<std::uint64_t> blocks;
    std::uint64_t block = 0;
    iterator.reset();
    while (next(iterator, block))
        blocks.push_back(block);
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

// Random box and point queries on the boxes' grid, so that faces and corners often touch.
void expectAgreesWithScan(const RTree& tree, const std::vector<LidarBox>& boxes,
                          std::mt19937& random) {
    std::unique_ptr<RTree::Iterator> iterator(tree.createIterator());
    EXPECT_EQ(
        collect(*iterator, [](RTree::Iterator& it, std::uint64_t& b) { return it.next(b); }).size(),
        boxes.size());
    const std::vector<Quantised> queries = randomBoxes(random, 200, 1000);
    for (const Quantised& q : queries) {
        const LidarBox query = decode(q);
        std::vector<std::uint64_t> meeting, holding;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const LidarBox& b = boxes[i];
            bool meets = true, holds = true;
            for (int axis = 0; axis < 3; ++axis) {
                meets = meets && b[2 * axis] <= query[2 * axis + 1] &&
                        query[2 * axis] <= b[2 * axis + 1];
                holds =
                    holds && b[2 * axis] <= query[2 * axis] && query[2 * axis] <= b[2 * axis + 1];
            }
            if (meets) meeting.push_back(i);
            if (holds) holding.push_back(i);
        }
        EXPECT_EQ(collect(*iterator,
                          [&](RTree::Iterator& it, std::uint64_t& b) {
                              return it.nextIntersecting(query.data(), b);
                          }),
                  meeting);
        EXPECT_EQ(collect(*iterator,
                          [&](RTree::Iterator& it, std::uint64_t& b) {
                              return it.nextContaining(query[0], query[2], query[4], b);
                          }),
                  holding);
    }
}

LidarDiskTree leafTree(const std::vector<Quantised>& boxes) {
    LidarDiskTree tree = LidarDiskTree::pack(boxes, 11);
    tree.scale = {Scale, Scale, Scale};
    tree.offset = {Offset, Offset, Offset};
    return tree;
}

} // namespace

TEST(SpatialIndex, MemoryTreeAgreesWithBruteForce) {
    std::mt19937 random(20240611);
    std::vector<LidarBox> boxes;
    for (const Quantised& q : randomBoxes(random, 600, 1000))
        boxes.push_back(decode(q));
    LidarBodyWriter body;
    body.memoryTree(boxes).raw("spare");
    Loaded loaded = load<MemoryRTree>(body);
    EXPECT_EQ(loaded.endPosition, std::int64_t(Before + body.size()));
    const auto& tree = static_cast<const MemoryRTree&>(*loaded.tree);
    EXPECT_EQ(tree.getNumEntries(), 600u);
    EXPECT_GE(tree.getRootLevel(), 2u);
    expectAgreesWithScan(tree, boxes, random);

    // Every node but the root holds 4 to 10 entries; the root at least 2.
    bool root = true;
    tree.forEachNode([&](unsigned, unsigned count) {
        EXPECT_LE(count, 10u);
        EXPECT_GE(count, root ? 2u : 4u);
        root = false;
    });
}

TEST(SpatialIndex, ElevenInsertionsSplitSixAndFive) {
    MemoryRTree tree;
    for (int i = 0; i < 11; ++i) {
        const double box[6] = {double(i), i + 0.5, 0, 1, 0, 1};
        tree.insert(box, i);
    }
    EXPECT_EQ(tree.getRootLevel(), 1u);
    std::vector<std::pair<unsigned, unsigned>> nodes;
    tree.forEachNode([&](unsigned level, unsigned count) { nodes.emplace_back(level, count); });
    std::sort(nodes.begin(), nodes.end());
    EXPECT_EQ(nodes, (std::vector<std::pair<unsigned, unsigned>>{{0, 5}, {0, 6}, {1, 2}}));
}

TEST(SpatialIndex, MemoryTreeEdgesAndBadBodies) {
    LidarBodyWriter empty;
    empty.memoryTree({});
    Loaded none = load<MemoryRTree>(empty);
    std::unique_ptr<RTree::Iterator> iterator(none.tree->createIterator());
    std::uint64_t block = 0;
    EXPECT_FALSE(iterator->next(block));

    // A face and a corner that only touch are inside.
    MemoryRTree tree;
    const double box[6] = {0, 1, 0, 1, 0, 1};
    tree.insert(box, 7);
    iterator.reset(tree.createIterator());
    const double touching[6] = {1, 2, 1, 2, 1, 2};
    ASSERT_TRUE(iterator->nextIntersecting(touching, block));
    EXPECT_EQ(block, 7u);
    iterator->reset();
    EXPECT_TRUE(iterator->nextContaining(1, 1, 1, block));
    EXPECT_FALSE(iterator->nextContaining(1, 1, 1.0000001, block));

    LidarBodyWriter five;
    five.memoryTree(std::vector<LidarBox>(5, LidarBox{}));
    EXPECT_STREQ(loadError<MemoryRTree>(five, 3).what(), "bad read -- count");
    const Error error = loadError<MemoryRTree>(five, 4 + 48 * 5 - 1);
    EXPECT_STREQ(error.what(), "bad read -- index bounds");
    EXPECT_EQ(error.getCode(), 40014u);
    EXPECT_STREQ(error.getFunction(), "Korvel::MemoryRTree::load");
}

TEST(SpatialIndex, DiskTreeAgreesWithBruteForce) {
    std::mt19937 random(7);
    const std::vector<Quantised> stored = randomBoxes(random, 600, 1000);
    std::vector<LidarBox> boxes;
    for (const Quantised& q : stored)
        boxes.push_back(decode(q));
    for (unsigned fanout : {4u, 10u}) {
        LidarDiskTree tree = LidarDiskTree::pack(stored, fanout);
        tree.scale = {Scale, Scale, Scale};
        tree.offset = {Offset, Offset, Offset};
        LidarBodyWriter body;
        body.diskTree(tree);
        Loaded loaded = load<DiskRTree>(body);
        EXPECT_EQ(loaded.endPosition, std::int64_t(Before + body.size()));
        EXPECT_EQ(loaded.tree->getNumEntries(), 600u);
        expectAgreesWithScan(*loaded.tree, boxes, random);
    }
}

TEST(SpatialIndex, DiskRootLeafAnswersWithoutReading) {
    LidarDiskTree stored = leafTree({{0, 0xFFFFFFFF, 0, 1, 0, 1}, {5, 6, 5, 6, 5, 6}});
    stored.scale = {2.0, 1.0, 1.0};
    stored.offset = {1.0, 0.0, 0.0};
    Loaded loaded = loadDisk(stored);
    const int reads = loaded.io->preadCount;
    std::unique_ptr<RTree::Iterator> iterator(loaded.tree->createIterator());
    std::uint64_t block = 99;
    // 0xFFFFFFFF is unsigned: 4294967295 * 2 + 1.
    ASSERT_TRUE(iterator->nextContaining(8589934591.0, 1, 1, block));
    EXPECT_EQ(block, 0u);
    EXPECT_FALSE(iterator->nextContaining(8589934591.0, 1, 1, block));
    EXPECT_EQ(loaded.io->preadCount, reads);
}

TEST(SpatialIndex, DiskTreeRefusesBadStructure) {
    std::vector<Quantised> eleven(11, Quantised{1, 2, 1, 2, 1, 2});
    EXPECT_STREQ(diskError(leafTree(eleven)).what(), "bad node count");

    LidarDiskTree twoLevels = LidarDiskTree::pack(std::vector<Quantised>(30, Quantised{}), 10);
    ASSERT_EQ(twoLevels.rootLevel, 1);
    // Pointing at itself, back into its own entries, past the body, at the body's end.
    const std::uint32_t rootSize = 1 + 28 * 3;
    const std::uint32_t bodyAfterRoot = rootSize + 3 * (1 + 28 * 10);
    for (std::uint32_t payload : {0u, 1u, rootSize - 1, bodyAfterRoot, 0xFFFFFFF0u}) {
        LidarDiskTree bad = twoLevels;
        bad.branches[0].entries[2].payload = payload;
        const Error error = diskError(bad);
        EXPECT_STREQ(error.what(), "bad node offset") << payload;
        EXPECT_EQ(error.getCode(), 40014u);
        EXPECT_STREQ(error.getFile(), "RTree");
    }

    LidarDiskTree deep = leafTree({{1, 2, 1, 2, 1, 2}});
    deep.rootLevel = 200;
    EXPECT_STREQ(diskError(deep).what(), "bad root level");

    // Twenty levels whose ten entries all lead to the next branch: a walk of 10^19 leaves
    // unless shared branches are refused.
    LidarDiskTree shared;
    shared.rootLevel = 19;
    for (int level = 19; level >= 0; --level) {
        LidarDiskTree::Branch branch;
        for (int i = 0; i < 10; ++i)
            branch.entries.push_back(
                {{0, 9, 0, 9, 0, 9}, 0, level > 0 ? int(shared.branches.size()) + 1 : -1, {}});
        shared.branches.push_back(branch);
    }
    EXPECT_STREQ(diskError(shared).what(), "bad node offset");
}

TEST(SpatialIndex, DiskBodyCutShortIsRefused) {
    LidarBodyWriter body;
    body.diskTree(leafTree({{1, 2, 1, 2, 1, 2}}));
    const std::pair<std::int64_t, const char*> cuts[] = {
        {0, "bad read -- max nodes"},    {1, "bad read -- level"},
        {5, "bad read -- count"},        {13, "bad read -- scale"},
        {21, "bad read -- offset"},      {54, "bad read -- node count"},
        {60, "bad read -- node bounds"}, {80, "bad read -- node payload"}};
    for (const auto& [length, message] : cuts) {
        const Error error = loadError<DiskRTree>(body, length);
        EXPECT_STREQ(error.what(), message);
        EXPECT_EQ(error.getCode(), 40014u);
    }
}
