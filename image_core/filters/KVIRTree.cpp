#include "filters/KVIRTree.h"

#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Korvel {

namespace {

using Node = KVIRTree::Node;
using Branch = Node::Branch;

// The most entries a group of a split may take.
constexpr std::uint32_t kMaxGroup = KVIRTree::kMaxBranches + 1 - KVIRTree::kMinBranches;

bool overlaps(const KVIRTreeBox& a, const KVIRTreeBox& b) {
    return !(a.xmin > b.xmax) && !(b.xmin > a.xmax) && !(a.ymin > b.ymax) && !(b.ymin > a.ymax);
}

// The branch whose box grows least to take the box; on a tie the smaller box, then the lower
// index.
std::uint32_t chooseBranch(const Node& node, const KVIRTreeBox& box) {
    if (node.count < 2) return 0;
    std::uint32_t best = 0;
    double bestVolume = KVIRTree::volume(node.branch[0].box);
    double bestGrowth = KVIRTree::volume(KVIRTree::cover(node.branch[0].box, box)) - bestVolume;
    for (std::uint32_t i = 1; i < node.count; ++i) {
        const double volume = KVIRTree::volume(node.branch[i].box);
        const double growth = KVIRTree::volume(KVIRTree::cover(node.branch[i].box, box)) - volume;
        if (growth < bestGrowth || (growth == bestGrowth && volume < bestVolume)) {
            best = i;
            bestGrowth = growth;
            bestVolume = volume;
        }
    }
    return best;
}

// One group of a split: a node and the cover of what it holds.
struct Group {
    Node* node;
    KVIRTreeBox cover{};
    double volume = 0.0;

    void add(const Branch& entry) {
        cover = node->count == 0 ? entry.box : KVIRTree::cover(cover, entry.box);
        volume = KVIRTree::volume(cover);
        node->branch[node->count++] = entry;
    }
};

// Splits a full node and the entry it cannot take (quadratic split): the node keeps one group,
// the returned node of the same level holds the other.
Node* splitNode(KVIRTree& tree, Node& node, const Branch& extra) {
    constexpr std::uint32_t n = KVIRTree::kMaxBranches + 1;
    Node* other = tree.makeNode(node.level);
    Branch entries[n];
    std::copy(node.branch, node.branch + KVIRTree::kMaxBranches, entries);
    entries[KVIRTree::kMaxBranches] = extra;
    double volumes[n];
    for (std::uint32_t i = 0; i < n; ++i)
        volumes[i] = KVIRTree::volume(entries[i].box);

    // Seeds: the pair that would waste most in one box.
    std::uint32_t seedA = 0;
    std::uint32_t seedB = 1;
    double worst =
        KVIRTree::volume(KVIRTree::cover(entries[0].box, entries[1].box)) - volumes[0] - volumes[1];
    for (std::uint32_t i = 0; i < n; ++i)
        for (std::uint32_t j = i + 1; j < n; ++j) {
            const double waste = KVIRTree::volume(KVIRTree::cover(entries[i].box, entries[j].box)) -
                                 volumes[i] - volumes[j];
            if (waste > worst) {
                worst = waste;
                seedA = i;
                seedB = j;
            }
        }

    node.count = 0;
    Group a{&node};
    Group b{other};
    bool placed[n] = {};
    a.add(entries[seedA]);
    b.add(entries[seedB]);
    placed[seedA] = placed[seedB] = true;
    std::uint32_t numPlaced = 2;

    // Each entry's growth of either group: only the group that took the last entry changes.
    const auto growth = [&](std::uint32_t e, const Group& group) {
        return KVIRTree::volume(KVIRTree::cover(entries[e].box, group.cover)) - group.volume;
    };
    double growthA[n];
    double growthB[n];
    for (std::uint32_t e = 0; e < n; ++e) {
        growthA[e] = growth(e, a);
        growthB[e] = growth(e, b);
    }

    while (numPlaced < n && a.node->count < kMaxGroup && b.node->count < kMaxGroup) {
        double best = 0.0;
        std::uint32_t chosen = n;
        bool toA = false;
        for (std::uint32_t e = 0; e < n; ++e) {
            if (placed[e]) continue;
            const double gA = growthA[e];
            const double gB = growthB[e];
            if (gB - gA > best) {
                best = gB - gA;
                chosen = e;
                toA = true;
            } else if (gA - gB > best) {
                best = gA - gB;
                chosen = e;
                toA = false;
            } else if (gA - gB == best) {
                chosen = e;
                toA = b.volume > a.volume || a.node->count < b.node->count;
            }
        }
        // Measures that do not compare (not finite) choose nothing: the next entry goes to the
        // smaller group, so the split always ends.
        if (chosen == n) {
            chosen = 0;
            while (placed[chosen])
                ++chosen;
            toA = a.node->count <= b.node->count;
        }
        Group& taker = toA ? a : b;
        double* takerGrowth = toA ? growthA : growthB;
        taker.add(entries[chosen]);
        placed[chosen] = true;
        ++numPlaced;
        for (std::uint32_t e = 0; e < n; ++e)
            if (!placed[e]) takerGrowth[e] = growth(e, taker);
    }
    // One group is full: the rest go to the other.
    Group& rest = a.node->count >= b.node->count ? b : a;
    for (std::uint32_t e = 0; e < n; ++e)
        if (!placed[e]) rest.add(entries[e]);
    return other;
}

// Appends the branch; a full node splits and the new node is returned.
Node* addBranch(KVIRTree& tree, Node& node, const Branch& branch) {
    if (node.count < KVIRTree::kMaxBranches) {
        node.branch[node.count++] = branch;
        return nullptr;
    }
    return splitNode(tree, node, branch);
}

// Inserts the entry at its level below node; the node split off, if any, is returned.
Node* insertAt(KVIRTree& tree, Node& node, const Branch& entry, std::uint32_t level) {
    if (node.level <= level) return addBranch(tree, node, entry);
    Branch& chosen = node.branch[chooseBranch(node, entry.box)];
    Node* split = insertAt(tree, *chosen.child, entry, level);
    // Every branch's box is the cover of its child: a child that did not split covers what it
    // covered and the entry, one that split has lost what went to the new node.
    if (split == nullptr) {
        chosen.box = KVIRTree::cover(chosen.box, entry.box);
        return nullptr;
    }
    chosen.box = chosen.child->getCover();
    Branch up{};
    up.box = split->getCover();
    up.child = split;
    return addBranch(tree, node, up);
}

KVStatus searchNode(const Node& node, const KVIRTreeBox& box,
                    KVIRTree::SearchBBoxCallback& callback) {
    for (std::uint32_t i = 0; i < node.count; ++i) {
        const Branch& branch = node.branch[i];
        if (!overlaps(branch.box, box)) continue;
        KVStatus status = KV_OK;
        if (node.level > 0) {
            status = searchNode(*branch.child, box, callback);
        } else {
            const KVIRTreeBox overlap{
                std::max(branch.box.xmin, box.xmin), std::max(branch.box.ymin, box.ymin),
                std::min(branch.box.xmax, box.xmax), std::min(branch.box.ymax, box.ymax)};
            status = callback.found(branch.index, branch.box, overlap);
        }
        if (status != KV_OK) return status;
    }
    return KV_OK;
}

} // namespace

KVIRTreeBox KVIRTree::Node::getCover() const {
    if (count == 0) return KVIRTreeBox{};
    KVIRTreeBox result = branch[0].box;
    for (std::uint32_t i = 1; i < count; ++i)
        result = KVIRTree::cover(result, branch[i].box);
    return result;
}

KVIRTree::KVIRTree() {
    root_ = kvThrowOutOfMemory([this] { return makeNode(0); });
}

KVIRTree::Node* KVIRTree::makeNode(std::uint32_t level) {
    if (usedInBlock_ == kNodesPerBlock) {
        blocks_.reserve(blocks_.size() + 1);
        // Each node sets its own fields: the block needs no zeroing beforehand.
        blocks_.push_back(std::make_unique_for_overwrite<Node[]>(kNodesPerBlock));
        usedInBlock_ = 0;
    }
    Node* node = &blocks_.back()[usedInBlock_++];
    node->level = level;
    return node;
}

KVIRTree::~KVIRTree() = default;

double KVIRTree::volume(const KVIRTreeBox& box) {
    const double w = box.xmax - box.xmin;
    const double h = box.ymax - box.ymin;
    return 0.78539825 * (w * w + h * h);
}

KVIRTreeBox KVIRTree::cover(const KVIRTreeBox& a, const KVIRTreeBox& b) {
    return KVIRTreeBox{std::min(a.xmin, b.xmin), std::min(a.ymin, b.ymin), std::max(a.xmax, b.xmax),
                       std::max(a.ymax, b.ymax)};
}

KVStatus KVIRTree::insert(const KVIRTreeBox& box, std::uint32_t index) {
    if (!std::isfinite(box.xmin) || !std::isfinite(box.ymin) || !std::isfinite(box.xmax) ||
        !std::isfinite(box.ymax) || box.xmin > box.xmax || box.ymin > box.ymax)
        return KV_BAD_ARGUMENT;
    Branch entry{};
    entry.box = box;
    entry.index = index;
    Node* const split = kvThrowOutOfMemory([&] { return insertAt(*this, *root_, entry, 0); });
    if (split != nullptr) {
        // The root split: a new root one level higher holds both halves.
        Node* root = nullptr;
        KV_RETURN_IF_FAILED(
            kvGuard([&] { root = makeNode(root_->level + 1); }, KV_BUFFER_ALLOCATION_FAILED));
        root->branch[0].box = root_->getCover();
        root->branch[0].child = root_;
        root->branch[1].box = split->getCover();
        root->branch[1].child = split;
        root->count = 2;
        root_ = root;
    }
    ++count_;
    return KV_OK;
}

KVStatus KVIRTree::search(const KVIRTreeBox& box, SearchBBoxCallback& callback) const {
    return searchNode(*root_, box, callback);
}

KVIRTreeBox KVIRTree::getBounds() const {
    return root_->getCover();
}

std::uint32_t KVIRTree::getHeight() const {
    return root_->level;
}

} // namespace Korvel
