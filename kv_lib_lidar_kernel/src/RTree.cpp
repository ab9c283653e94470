#include "RTree.h"

namespace Korvel {

RTree::~RTree() = default;

RTree::Iterator::~Iterator() = default;

bool RTree::Iterator::nextContaining(double x, double y, double z, std::uint64_t& block) {
    Query query;
    query.kind = Query::Point;
    query.point[0] = x;
    query.point[1] = y;
    query.point[2] = z;
    return advance(query, block);
}

bool RTree::Iterator::nextIntersecting(const double* box, std::uint64_t& block) {
    Query query;
    query.kind = Query::Box;
    query.box = box;
    return advance(query, block);
}

bool RTree::Iterator::next(std::uint64_t& block) {
    return advance(Query{}, block);
}

bool RTree::Iterator::Query::passes(const double* entryBox) const {
    switch (kind) {
    case Point:
        return containsPoint(entryBox, point[0], point[1], point[2]);
    case Box:
        return intersects(entryBox, box);
    default:
        return true;
    }
}

bool RTree::containsPoint(const double* box, double x, double y, double z) {
    return box[0] <= x && x <= box[1] && box[2] <= y && y <= box[3] && box[4] <= z && z <= box[5];
}

bool RTree::intersects(const double* a, const double* b) {
    for (int axis = 0; axis < 3; ++axis)
        if (!(a[2 * axis] <= b[2 * axis + 1] && b[2 * axis] <= a[2 * axis + 1])) return false;
    return true;
}

} // namespace Korvel
