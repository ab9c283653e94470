// Subband trees: their leaves, scale factors and dequantisation steps, the statuses of the tree
// operations that carry rows from strip to strip (their results are shown by the decoder's strip
// tests), and the plane sets they are made of.

#include "qg2/QG2Subband.h"
#include "qg2/QG2Status.h"
#include "qg2/QG2TreeOperations.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace Korvel {
namespace {

// The status a body throws (KV_OK when it throws none).
KVStatus thrown(const std::function<void()>& body) {
    return kvGuard(body);
}

std::vector<QG2Subband*> leaves(QG2Subband& tree) {
    std::vector<QG2Subband*> out;
    tree.forEachLeaf([&](QG2Subband& leaf) { out.push_back(&leaf); });
    return out;
}

TEST(QG2Subband, LeavesAreTheFileSubbandsInOrder) {
    // 3 levels, level 0: the coarsest low band, then horizontally high, vertically high and both
    // high of each level, coarsest first; their full sizes are the halvings of 100 x 37.
    auto tree = QG2Subband::buildTree(KVIRect{0, 0, 99, 36}, 0, 3, 100, 37, 3);
    const std::vector<QG2Subband*> all = leaves(*tree);
    ASSERT_EQ(all.size(), 10u);
    const std::uint32_t widths[] = {13, 12, 13, 12, 25, 25, 25, 50, 50, 50};
    const std::uint32_t heights[] = {5, 5, 5, 5, 10, 9, 9, 19, 18, 18};
    for (std::uint32_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i]->getLeafNumber(), i);
        EXPECT_EQ(all[i]->getFullWidth(), widths[i]) << i;
        EXPECT_EQ(all[i]->getFullHeight(), heights[i]) << i;
        EXPECT_EQ(all[i]->getPlaneCount(), 3u);
        // The whole image needs every sample of every subband.
        EXPECT_EQ(all[i]->getRect(),
                  (KVIRect{0, 0, std::int32_t(widths[i]) - 1, std::int32_t(heights[i]) - 1}));
    }
    // Magnifying by one level adds the root's three high subbands, numbered after the file's.
    auto magnified = QG2Subband::buildTree(KVIRect{0, 0, 199, 73}, -1, 3, 100, 37, 1);
    const std::vector<QG2Subband*> more = leaves(*magnified);
    ASSERT_EQ(more.size(), 13u);
    EXPECT_EQ(more[12]->getLeafNumber(), 12u);
    EXPECT_EQ(more[12]->getFullWidth() * 1000 + more[12]->getFullHeight(), 100037u);
    // Level 2 of 3 keeps the four coarsest.
    EXPECT_EQ(leaves(*QG2Subband::buildTree(KVIRect{0, 0, 24, 9}, 2, 3, 100, 37, 1)).size(), 4u);
    // An image of one column has no horizontally high samples.
    auto thin = QG2Subband::buildTree(KVIRect{0, 0, 0, 9}, 0, 1, 1, 10, 1);
    EXPECT_TRUE(thin->child(1, 0)->getRect().isEmpty());
    EXPECT_FALSE(thin->child(0, 1)->getRect().isEmpty());
}

TEST(QG2Subband, ScaleFactorsAndStepsFollowTheLevel) {
    const float root = std::bit_cast<float>(0x3FA929E0u);
    EXPECT_EQ(root, 1.3215904f);
    EXPECT_EQ(QG2Subband::rootScale(0), 1.0f);
    EXPECT_EQ(QG2Subband::rootScale(1), root);
    EXPECT_EQ(QG2Subband::rootScale(2), root * root);
    EXPECT_EQ(QG2Subband::rootScale(-1), 1.0f / root);
    EXPECT_EQ(QG2Subband::rootScale(-3), 1.0f / ((root * root) * root));

    // At level 1, a step is divided by 1.5133281569763917 and by the leaf's scale, which starts
    // from the root's 1.3215904 and gains 1.1496044397354126 per low-pass direction and
    // 0.8698644206960049 per high-pass one.
    auto tree = QG2Subband::buildTree(KVIRect{0, 0, 49, 49}, 1, 2, 100, 100, 1);
    EXPECT_EQ(tree->getScale(), root);
    const QG2Subband& high = *tree->child(1, 0);
    const auto expectedScale =
        static_cast<float>(double{root} * 0.8698644206960049 * 1.1496044397354126);
    EXPECT_EQ(high.getScale(), expectedScale);
    const float d = 3.0f * ((1.0f / static_cast<float>(1.5133281569763917)) / expectedScale);
    EXPECT_EQ(high.dequantisationStep(3.0f, 1), d);
    const QG2Subband& lowest = *tree->child(0, 0);
    EXPECT_EQ(lowest.getScale(),
              static_cast<float>(double{root} * 1.1496044397354126 * 1.1496044397354126));
    // Level 0: no gain; level -1: the gain's inverse.
    auto flat = QG2Subband::buildTree(KVIRect{0, 0, 9, 9}, 0, 0, 10, 10, 1);
    EXPECT_EQ(flat->dequantisationStep(2.0f, 0), 2.0f);
    EXPECT_EQ(flat->dequantisationStep(2.0f, -1),
              2.0f * ((1.0f / static_cast<float>(1.0 / 1.5133281569763917)) / 1.0f));
}

TEST(QG2Subband, BadRectanglesAndLevelsThrowTheirStatuses) {
    const auto build = [](KVIRect r, std::int32_t level) {
        return thrown([&] { QG2Subband::buildTree(r, level, 2, 10, 10, 1); });
    };
    EXPECT_EQ(build({0, 0, 9, 9}, 0), KV_OK);
    EXPECT_EQ(build({-1, 0, 3, 3}, 0), KV_QG2_BAD_SUBBAND_RECT);
    EXPECT_EQ(build({0, 0, 10, 3}, 0), KV_QG2_BAD_SUBBAND_RECT);
    EXPECT_EQ(build({4, 0, 3, 3}, 0), KV_QG2_BAD_SUBBAND_RECT);
    EXPECT_EQ(build({0, 0, 4, 4}, 1), KV_OK);
    EXPECT_EQ(build({0, 0, 5, 4}, 1), KV_QG2_BAD_SUBBAND_RECT);
    EXPECT_EQ(build({0, 0, 0, 0}, 3), KV_QG2_LEVEL_TOO_HIGH);
    EXPECT_EQ(build({0, 0, 0, 0}, -30), KV_QG2_BAD_SUBBAND_RECT);
}

// Gives every leaf of a tree its planes, as decoding does.
void fill(QG2Subband& tree) {
    tree.forEachLeaf([](QG2Subband& leaf) { leaf.allocatePlanes(); });
}

TEST(QG2Subband, MismatchedTreesThrowTheirStatuses) {
    auto a = QG2Subband::buildTree(KVIRect{0, 0, 19, 9}, 0, 2, 20, 40, 1);
    auto twoPlanes = QG2Subband::buildTree(KVIRect{0, 5, 19, 14}, 0, 2, 20, 40, 2);
    auto shallow = QG2Subband::buildTree(KVIRect{0, 2, 9, 7}, 1, 2, 20, 40, 1);
    auto far = QG2Subband::buildTree(KVIRect{0, 30, 19, 39}, 0, 2, 20, 40, 1);
    auto b = QG2Subband::buildTree(KVIRect{0, 5, 19, 14}, 0, 2, 20, 40, 1);
    fill(*a);
    EXPECT_EQ(thrown([&] { qg2OverlapTree(*a, twoPlanes.get()); }), KV_QG2_OVERLAP_PLANES);
    EXPECT_EQ(thrown([&] { qg2OverlapTree(*a, shallow.get()); }), KV_QG2_OVERLAP_SHAPE);
    EXPECT_EQ(thrown([&] { qg2OverlapTree(*a, far.get()); }), KV_QG2_OVERLAP_RECT);
    auto overlap = qg2OverlapTree(*a, b.get());
    ASSERT_TRUE(overlap);
    EXPECT_EQ(thrown([&] { qg2RemainderTree(*twoPlanes, *overlap); }), KV_QG2_REMAINDER_PLANES);
    EXPECT_EQ(thrown([&] { qg2RemainderTree(*shallow, *overlap); }), KV_QG2_REMAINDER_SHAPE);
    // The overlap of a and b is not the top of a tree that starts lower.
    EXPECT_EQ(thrown([&] { qg2RemainderTree(*far, *overlap); }), KV_QG2_OVERLAP_RECT);
    EXPECT_EQ(thrown([&] { qg2JoinTree(*overlap, *shallow); }), KV_QG2_JOIN_SHAPE);
    EXPECT_EQ(thrown([&] { qg2JoinTree(*overlap, *far); }), KV_QG2_JOIN_RECT);
}

TEST(QG2Subband, PlanesMoveBetweenSetsOfOneSize) {
    Array2D<float> a(2, 3, 4), b(2, 3, 4), other(1, 4, 3);
    a.allocate();
    a.row(1, 2)[1] = 5.0f;
    b.movePlane(0, a, 1);
    EXPECT_EQ(b.row(0, 2)[1], 5.0f);
    EXPECT_FALSE(a.hasPlane(1));
    EXPECT_EQ(thrown([&] { a.plane(1); }), KV_QG2_NO_PLANE);
    EXPECT_EQ(thrown([&] { a.plane(2); }), KV_QG2_NO_PLANE);
    EXPECT_EQ(thrown([&] { b.movePlane(2, a, 0); }), KV_QG2_BAD_PLANE_MOVE);
    EXPECT_EQ(thrown([&] { other.movePlane(0, a, 0); }), KV_QG2_BAD_PLANE_MOVE);

    // Planes from a pool go back to it and come out again, cleared when asked.
    PlanePool<float> pool;
    Array2D<float> first(1, 8, 8, &pool);
    first.allocate();
    float* memory = first.plane(0);
    memory[63] = 9.0f;
    first.freePlanes();
    Array2D<float> smaller(1, 4, 4, &pool), larger(1, 9, 9, &pool);
    smaller.allocate();
    EXPECT_EQ(smaller.plane(0), memory);
    EXPECT_EQ(std::count(memory, memory + 16, 0.0f), 16);
    larger.allocate(false);
    EXPECT_NE(larger.plane(0), memory);
}

} // namespace
} // namespace Korvel
