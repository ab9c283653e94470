// The R-tree against a plain list of its boxes: the search finds exactly the boxes that meet the
// query, every node keeps 4 to 10 branches whose boxes cover their children, and a full leaf
// splits into groups of 4 to 7.

#include "filters/KVIRTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

using namespace Korvel;

namespace {

struct Collect : KVIRTree::SearchBBoxCallback {
    std::vector<std::uint32_t> indices;
    KVStatus stopWith = KV_OK;
    KVStatus found(std::uint32_t index, const KVIRTreeBox&, const KVIRTreeBox&) override {
        indices.push_back(index);
        return stopWith;
    }
};

KVIRTreeBox randomBox(std::mt19937& rng) {
    std::uniform_real_distribution<double> at(-100.0, 100.0), size(0.0, 15.0);
    const double x = at(rng), y = at(rng);
    return {x, y, x + size(rng), y + size(rng)};
}

bool meets(const KVIRTreeBox& a, const KVIRTreeBox& b) {
    return a.xmin <= b.xmax && b.xmin <= a.xmax && a.ymin <= b.ymax && b.ymin <= a.ymax;
}

bool same(const KVIRTreeBox& a, const KVIRTreeBox& b) {
    return a.xmin == b.xmin && a.ymin == b.ymin && a.xmax == b.xmax && a.ymax == b.ymax;
}

// Checks the node's shape below the root; returns the number of entries under it.
std::uint32_t checkNode(const KVIRTree::Node& node, bool root) {
    if (!root) {
        EXPECT_GE(node.count, KVIRTree::kMinBranches);
    }
    EXPECT_LE(node.count, KVIRTree::kMaxBranches);
    if (node.level == 0) return node.count;
    std::uint32_t entries = 0;
    for (std::uint32_t i = 0; i < node.count; ++i) {
        const KVIRTree::Node& child = *node.branch[i].child;
        EXPECT_EQ(child.level + 1, node.level);
        EXPECT_TRUE(same(node.branch[i].box, child.getCover()));
        entries += checkNode(child, false);
    }
    return entries;
}

TEST(KVIRTree, TheEleventhBoxSplitsTheLeafIntoGroupsOfFourToSeven) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        KVIRTree tree;
        for (std::uint32_t i = 0; i < 10; ++i)
            ASSERT_EQ(tree.insert(randomBox(rng), i), KV_OK);
        ASSERT_EQ(tree.getHeight(), 0u);
        ASSERT_EQ(tree.insert(randomBox(rng), 10), KV_OK);
        const KVIRTree::Node& root = tree.getRoot();
        ASSERT_EQ(root.level, 1u);
        ASSERT_EQ(root.count, 2u);
        const std::uint32_t a = root.branch[0].child->count, b = root.branch[1].child->count;
        EXPECT_EQ(a + b, 11u);
        EXPECT_TRUE(a >= 4 && a <= 7 && b >= 4 && b <= 7) << a << " + " << b;
    }
}

TEST(KVIRTree, SearchFindsExactlyTheBoxesThatMeetTheQuery) {
    std::mt19937 rng(3);
    KVIRTree tree;
    std::vector<KVIRTreeBox> boxes;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        boxes.push_back(randomBox(rng));
        ASSERT_EQ(tree.insert(boxes.back(), i), KV_OK);
        if (i % 500 == 499) {
            EXPECT_EQ(checkNode(tree.getRoot(), true), i + 1);
        }
    }
    EXPECT_EQ(tree.getCount(), 3000u);
    EXPECT_GE(tree.getHeight(), 3u);
    KVIRTreeBox all = boxes[0];
    for (const KVIRTreeBox& b : boxes)
        all = KVIRTree::cover(all, b);
    EXPECT_TRUE(same(tree.getBounds(), all));

    for (int q = 0; q < 200; ++q) {
        // Queries touching a box's edge exactly count (closed bounds).
        KVIRTreeBox query = randomBox(rng);
        if (q % 4 == 0) query.xmin = query.xmax = boxes[q].xmax;
        Collect collect;
        ASSERT_EQ(tree.search(query, collect), KV_OK);
        std::vector<std::uint32_t> want;
        for (std::uint32_t i = 0; i < boxes.size(); ++i)
            if (meets(boxes[i], query)) want.push_back(i);
        std::sort(collect.indices.begin(), collect.indices.end());
        ASSERT_EQ(collect.indices, want);
    }
    // A nonzero answer stops the search and is its result.
    Collect stop;
    stop.stopWith = 77;
    EXPECT_EQ(tree.search(all, stop), 77u);
    EXPECT_EQ(stop.indices.size(), 1u);
}

TEST(KVIRTree, EmptyTreesAndUnusableBoxes) {
    KVIRTree tree;
    EXPECT_TRUE(same(tree.getBounds(), KVIRTreeBox{}));
    Collect collect;
    EXPECT_EQ(tree.search({-1e300, -1e300, 1e300, 1e300}, collect), KV_OK);
    EXPECT_TRUE(collect.indices.empty());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(tree.insert({nan, 0, 1, 1}, 0), KV_BAD_ARGUMENT);
    EXPECT_EQ(tree.insert({0, 0, inf, 1}, 0), KV_BAD_ARGUMENT);
    EXPECT_EQ(tree.insert({2, 0, 1, 1}, 0), KV_BAD_ARGUMENT);
    // Boxes whose measure overflows still split and stay searchable.
    for (std::uint32_t i = 0; i < 40; ++i)
        ASSERT_EQ(tree.insert({-1e300 + i, -1e300, 1e300, 1e300 - i}, i), KV_OK);
    EXPECT_EQ(checkNode(tree.getRoot(), true), 40u);
    EXPECT_EQ(tree.search({0, 0, 0, 0}, collect), KV_OK);
    EXPECT_EQ(collect.indices.size(), 40u);
}

} // namespace
