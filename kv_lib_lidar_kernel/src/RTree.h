#pragma once
// The three-dimensional spatial index over the coded point blocks. A box is six doubles: X
// minimum, X maximum, Y minimum, Y maximum, Z minimum, Z maximum. Every test is inclusive on
// every face.

#include "XAlloc.h"

#include <cstdint>

namespace Korvel {

class RTree {
public:
    KORVEL_XALLOC_OPERATORS

    // A depth-first walk over the leaf entries, in stored order. Each next operation continues
    // the walk where the previous one stopped and answers the next block that passes its test;
    // false when the walk is over. An iterator must not outlive its tree.
    class Iterator {
    public:
        KORVEL_XALLOC_OPERATORS

        virtual ~Iterator();
        // Blocks whose box holds the point.
        virtual bool nextContaining(double x, double y, double z, std::uint64_t& block);
        // Blocks whose box meets the box.
        virtual bool nextIntersecting(const double* box, std::uint64_t& block);
        // Every block.
        virtual bool next(std::uint64_t& block);
        // Restarts the walk at the root.
        virtual void reset() = 0;

    protected:
        // The test of one next operation; entries, and nodes to descend into, must pass it.
        struct Query {
            enum Kind { All, Point, Box } kind = All;
            double point[3] = {0.0, 0.0, 0.0};
            const double* box = nullptr;

            bool passes(const double* entryBox) const;
        };

        // Continues the walk to the next leaf entry that passes the query.
        virtual bool advance(const Query& query, std::uint64_t& block) = 0;
    };

    RTree() = default;
    RTree(const RTree&) = delete;
    RTree& operator=(const RTree&) = delete;
    virtual ~RTree();

    virtual std::uint64_t getNumEntries() const = 0;
    // A new iterator at the root, owned by the caller.
    virtual Iterator* createIterator() const = 0;

    // minimum <= coordinate <= maximum on each axis.
    static bool containsPoint(const double* box, double x, double y, double z);
    // Each box's minimum <= the other's maximum on each axis.
    static bool intersects(const double* a, const double* b);
};

} // namespace Korvel
