#pragma once
// The spatial index built in memory from a flat list of block boxes (index version 1). Nodes
// hold up to 10 entries; a full node is split quadratically.

#include "RTree.h"

#include <cstdint>
#include <functional>

namespace Korvel {

class BufferedIOReader;

class MemoryRTree : public RTree {
public:
    static constexpr unsigned MaxEntries = 10;

    MemoryRTree();
    ~MemoryRTree() override;

    // Reads the memory form: u32 count, then count boxes of six big-endian doubles, box i being
    // block i; skips the rest of the body.
    void load(BufferedIOReader& reader, std::int64_t bodyLength);
    // Adds a leaf entry.
    void insert(const double* box, std::uint64_t block);

    std::uint64_t getNumEntries() const override { return numEntries_; }
    Iterator* createIterator() const override;

    unsigned getRootLevel() const;
    // Calls visit with the level and entry count of every node, depth first.
    void forEachNode(const std::function<void(unsigned level, unsigned count)>& visit) const;

private:
    struct Node;
    class Walker;

    Node* root_;
    std::uint64_t numEntries_ = 0;
};

} // namespace Korvel
