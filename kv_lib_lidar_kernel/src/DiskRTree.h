#pragma once
// The spatial index stored in the file (index version 2), read node by node as a walk descends.
// Branches hold up to 10 entries; a child branch lies after its parent inside the index body.

#include "RTree.h"

#include <cstdint>

namespace Korvel {

class BufferedIOReader;
class IO;

class DiskRTree : public RTree {
public:
    static constexpr unsigned MaxEntries = 10;
    // A tree of 2^32 entries with at least two per branch is no deeper than this.
    static constexpr unsigned MaxRootLevel = 32;

    DiskRTree() = default;
    ~DiskRTree() override;

    // Reads the header and the root branch of the body that starts at the reader's position and
    // spans bodyLength bytes, then moves the reader to the body's end. Keeps a reference to the
    // reader's IO, from which iterators read the lower branches.
    void init(BufferedIOReader& reader, std::int64_t bodyLength);

    std::uint64_t getNumEntries() const override { return numEntries_; }
    Iterator* createIterator() const override;

    unsigned getRootLevel() const { return rootLevel_; }

private:
    struct Branch;
    class Walker;

    IO* io_ = nullptr;
    std::uint8_t maxNodes_ = 0;
    std::uint8_t rootLevel_ = 0;
    std::uint32_t numEntries_ = 0;
    double scale_[3] = {1.0, 1.0, 1.0};
    double offset_[3] = {0.0, 0.0, 0.0};
    Branch* root_ = nullptr;
    std::int64_t bodyEnd_ = 0;
    // The most branches one walk may read: every branch but the root needs a 28-byte entry of
    // its parent and its own count byte in the body, so a walk that reads more meets a branch
    // twice.
    std::int64_t maxBranchReads_ = 0;
};

} // namespace Korvel
