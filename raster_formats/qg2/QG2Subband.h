#pragma once
// One subband of all bands of a generation-2 image, as a node of the subband tree of a
// rectangle. The root is the rectangle at the decoded level; a node above the image's last level
// has four children (low-low, horizontally high, vertically high, both high), of which only the
// low-low one has children of its own. Each node holds the part of its subband that the synthesis
// of its parent's part needs: the parent's range widened by the filters' reach (3 low and 5 high
// samples before, 3 after, at least 5 samples) and held within the subband.
//
// The leaves are numbered in tree order (children low-low, horizontally high, vertically high,
// both high, each with its descendants first), which is the file's subband order: leaf 0 is the
// coarsest low band, then the three high subbands of each level, coarsest first. Leaves numbered
// beyond the file's subbands (a magnifying decode) have no data.
//
// Scale factors: the root's is 1.3215904^level in single precision; a child's is its parent's
// times 1.1496044397354126 for each direction in which it is low-pass and 0.8698644206960049 for
// each in which it is high-pass, formed in double precision.

#include "Array2D.h"
#include "model/KVIRect.h"

#include <bit>
#include <cstdint>
#include <memory>
#include <utility>

namespace Korvel {

class QG2Subband : public Array2D<float> {
public:
    // 1.3215904 (0x3FA929E0), the scale of one level: 2 / K^2 of the 9/7 filters.
    static constexpr float kLevelScale = std::bit_cast<float>(0x3FA929E0u);
    static constexpr double kLowFactor = 1.1496044397354126;
    static constexpr double kHighFactor = 0.8698644206960049;
    // K^2 of the 9/7 filters: the gain of one level of the unscaled lifting.
    static constexpr double kLevelGain = 1.5133281569763917;

    // The tree of a rectangle at a level (negative: magnifying) of an image of the given levels
    // and size, each node with planes absent planes. Throws KVUtilException:
    // KV_QG2_BAD_SUBBAND_RECT for a rectangle outside the image at that level, inverted, or an
    // image size at that level beyond 31 bits; KV_QG2_LEVEL_TOO_HIGH for a level above levels.
    // The nodes draw their planes from pool (may be null).
    static std::unique_ptr<QG2Subband> buildTree(const KVIRect& rect, std::int32_t level,
                                                 std::uint32_t levels, std::uint32_t width,
                                                 std::uint32_t height, std::uint32_t planes,
                                                 PlanePool<float>* pool = nullptr);
    // The size of one direction of an image at a level: ((size - 1) >> level) + 1, or
    // size << -level when magnifying; KV_QG2_BAD_SUBBAND_RECT (thrown) beyond 31 bits.
    static std::int64_t fullSize(std::uint32_t size, std::int32_t level);
    // 1.3215904^level: a product of level factors from 1, or 1 over the power by squaring.
    static float rootScale(std::int32_t level);

    // The dequantisation step of a band with this stored step in this leaf, for a decode at the
    // given level: step x ((1 / K^2r) / s) in single precision, K^2r formed in double precision by
    // repeated squaring (1 / K^-2r below level 0), then rounded to single precision.
    float dequantisationStep(float step, std::int32_t decodedLevel) const;

    // A node without planes or children.
    QG2Subband(std::uint32_t leafNumber, std::uint32_t fullWidth, std::uint32_t fullHeight,
               float scale, std::int32_t level, const KVIRect& rect, std::uint32_t planes);

    std::uint32_t getLeafNumber() const { return leafNumber_; }
    std::uint32_t getFullWidth() const { return fullWidth_; }
    std::uint32_t getFullHeight() const { return fullHeight_; }
    float getScale() const { return scale_; }
    std::int32_t getLevel() const { return level_; }
    // The rectangle in the coordinates of the full size. Empty in a direction in which the
    // subband has no samples (start above end there); the other direction keeps its range.
    const KVIRect& getRect() const { return rect_; }
    std::uint32_t getPlaneCount() const { return planeCount_; }

    bool isLeaf() const { return !children_[0][0]; }
    // Child by (horizontally high, vertically high); null on a leaf.
    QG2Subband* child(int horizontallyHigh, int verticallyHigh) const {
        return children_[horizontallyHigh][verticallyHigh].get();
    }
    void setChild(int horizontallyHigh, int verticallyHigh, std::unique_ptr<QG2Subband> child);
    void destroyChildren();

    // Gives the node planes of its rectangle's size (none for an empty one), cleared to zero
    // unless the caller writes every sample itself.
    void allocatePlanes(bool cleared = true);

    // Calls fn(leaf) for each leaf in leaf order.
    template <class Fn> void forEachLeaf(Fn&& fn) {
        if (isLeaf()) {
            fn(*this);
            return;
        }
        for (const auto& [h, v] : kChildOrder)
            children_[h][v]->forEachLeaf(fn);
    }

    // Children in tree order: low-low, horizontally high, vertically high, both high.
    static constexpr std::pair<int, int> kChildOrder[4] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};

private:
    std::uint32_t leafNumber_;
    std::uint32_t fullWidth_;
    std::uint32_t fullHeight_;
    float scale_;
    std::int32_t level_;
    KVIRect rect_;
    std::uint32_t planeCount_;
    std::unique_ptr<QG2Subband> children_[2][2];
};

} // namespace Korvel
