#pragma once
// A small in-memory R-tree of boxes, each carrying a u32 index: nodes of up to 10 branches,
// branches chosen by least enlargement and full nodes split quadratically into groups of 4 to 7.
// Boxes are compared by the area of the circle whose diameter is their diagonal.

#include "support/KVStatus.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

struct KVIRTreeBox {
    double xmin = 0.0;
    double ymin = 0.0;
    double xmax = 0.0;
    double ymax = 0.0;
};

class KVIRTree {
public:
    static constexpr std::uint32_t kMaxBranches = 10;
    static constexpr std::uint32_t kMinBranches = 4;

    // Told of each entry whose box meets the query box (closed bounds): its index, its box and
    // the overlap of the two. A nonzero answer stops the search and is its result.
    class SearchBBoxCallback {
    public:
        virtual ~SearchBBoxCallback() = default;
        virtual KVStatus found(std::uint32_t index, const KVIRTreeBox& box,
                               const KVIRTreeBox& overlap) = 0;
    };

    // An empty tree: its root an empty leaf. Throws KVUtilException with KV_OUT_OF_MEMORY.
    KVIRTree();
    KVIRTree(const KVIRTree&) = delete;
    KVIRTree& operator=(const KVIRTree&) = delete;
    ~KVIRTree();

    // KV_BUFFER_ALLOCATION_FAILED when a new root cannot be allocated; throws KVUtilException
    // with KV_OUT_OF_MEMORY when a split cannot allocate its new node. KV_BAD_ARGUMENT for a box
    // that is not finite or whose minimum lies above its maximum.
    KVStatus insert(const KVIRTreeBox& box, std::uint32_t index);
    // The first nonzero answer of the callback, else KV_OK.
    KVStatus search(const KVIRTreeBox& box, SearchBBoxCallback& callback) const;
    // The cover of every box; all zeros when the tree is empty.
    KVIRTreeBox getBounds() const;
    std::uint32_t getCount() const { return count_; }
    // Levels above the leaves (0 while the root is a leaf).
    std::uint32_t getHeight() const;

    // The comparison measure of a box: 0.78539825 x (width^2 + height^2).
    static double volume(const KVIRTreeBox& box);
    static KVIRTreeBox cover(const KVIRTreeBox& a, const KVIRTreeBox& b);

    // A node: its level (0 for a leaf) and its branches, each a box with a child node (inner
    // nodes) or an entry's index (leaves). Every node belongs to the tree.
    struct Node {
        struct Branch {
            KVIRTreeBox box;
            union {
                Node* child;
                std::uint32_t index;
            };
        };

        Node() = default;
        Node(const Node&) = delete;
        Node& operator=(const Node&) = delete;
        // The cover of the node's branches.
        KVIRTreeBox getCover() const;

        std::uint32_t level = 0;
        std::uint32_t count = 0;
        Branch branch[kMaxBranches];
    };

    const Node& getRoot() const { return *root_; }

    // A new empty node of the level, kept until the tree goes; throws std::bad_alloc.
    Node* makeNode(std::uint32_t level);

private:
    // Nodes are taken from blocks that the tree owns: a tree of many entries makes tens of
    // thousands of nodes and frees none of them before it goes.
    static constexpr std::uint32_t kNodesPerBlock = 64;
    std::vector<std::unique_ptr<Node[]>> blocks_;
    std::uint32_t usedInBlock_ = kNodesPerBlock;
    Node* root_ = nullptr;
    std::uint32_t count_ = 0;
};

} // namespace Korvel
