#include "QG2TreeOperations.h"

#include "QG2Status.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <cstring>

namespace Korvel {
namespace {

std::unique_ptr<QG2Subband> nodeLike(const QG2Subband& model, const KVIRect& rect) {
    auto made = std::make_unique<QG2Subband>(model.getLeafNumber(), model.getFullWidth(),
                                             model.getFullHeight(), model.getScale(),
                                             model.getLevel(), rect, model.getPlaneCount());
    made->setPool(model.getPool());
    return made;
}

std::unique_ptr<QG2Subband> overlapNode(const QG2Subband& a, const QG2Subband& b, bool root) {
    if (a.getPlaneCount() != b.getPlaneCount()) throw KVUtilException(KV_QG2_OVERLAP_PLANES);
    if (a.isLeaf() != b.isLeaf()) throw KVUtilException(KV_QG2_OVERLAP_SHAPE);
    const KVIRect common = a.getRect().intersect(b.getRect());
    auto made = nodeLike(a, common);
    if (a.isLeaf()) {
        if (common.isEmpty()) {
            // Leaves of consecutive strips always share rows; only a subband without samples
            // (empty in both trees) has none.
            if (!root && !a.getRect().isEmpty() && !b.getRect().isEmpty())
                throw KVUtilException(KV_QG2_OVERLAP_RECT);
            return made;
        }
        made->allocatePlanes();
        for (std::uint32_t p = 0; p < made->getPlaneCount(); ++p)
            for (std::int32_t y = common.y0; y <= common.y1; ++y)
                std::memcpy(made->row(p, static_cast<std::uint32_t>(y - common.y0)),
                            a.row(p, static_cast<std::uint32_t>(y - a.getRect().y0)) +
                                (common.x0 - a.getRect().x0),
                            static_cast<std::size_t>(common.width()) * sizeof(float));
        return made;
    }
    for (const auto& [h, v] : QG2Subband::kChildOrder)
        made->setChild(h, v, overlapNode(*a.child(h, v), *b.child(h, v), false));
    return made;
}

std::unique_ptr<QG2Subband> remainderNode(const QG2Subband& current, const QG2Subband& overlap) {
    if (current.getPlaneCount() != overlap.getPlaneCount())
        throw KVUtilException(KV_QG2_REMAINDER_PLANES);
    if (current.isLeaf() != overlap.isLeaf()) throw KVUtilException(KV_QG2_REMAINDER_SHAPE);
    const KVIRect& c = current.getRect();
    if (!current.isLeaf()) {
        auto made = nodeLike(current, c);
        for (const auto& [h, v] : QG2Subband::kChildOrder)
            made->setChild(h, v, remainderNode(*current.child(h, v), *overlap.child(h, v)));
        return made;
    }
    const KVIRect& o = overlap.getRect();
    if (o.isEmpty()) return nodeLike(current, KVIRect{});
    if (o.x0 != c.x0 || o.x1 != c.x1 || o.y0 != c.y0 || o.y1 > c.y1)
        throw KVUtilException(KV_QG2_OVERLAP_RECT);
    if (o.y1 == c.y1) return nodeLike(current, KVIRect{});
    return nodeLike(current, KVIRect{c.x0, o.y1 + 1, c.x1, c.y1});
}

} // namespace

std::unique_ptr<QG2Subband> qg2OverlapTree(const QG2Subband& a, const QG2Subband* b) {
    if (b == nullptr) return nullptr;
    auto tree = overlapNode(a, *b, true);
    const QG2Subband* first = tree.get();
    while (!first->isLeaf())
        first = first->child(0, 0);
    if (first->getRect().isEmpty()) return nullptr;
    return tree;
}

std::unique_ptr<QG2Subband> qg2RemainderTree(const QG2Subband& current, const QG2Subband& overlap) {
    return remainderNode(current, overlap);
}

void qg2JoinTree(const QG2Subband& source, QG2Subband& target) {
    if (source.isLeaf() != target.isLeaf()) throw KVUtilException(KV_QG2_JOIN_SHAPE);
    if (!source.isLeaf()) {
        for (const auto& [h, v] : QG2Subband::kChildOrder)
            qg2JoinTree(*source.child(h, v), *target.child(h, v));
        return;
    }
    const KVIRect& s = source.getRect();
    const KVIRect& t = target.getRect();
    if (s.isEmpty()) return;
    if (s.x0 != t.x0 || s.x1 != t.x1 || s.y0 < t.y0 || s.y1 > t.y1)
        throw KVUtilException(KV_QG2_JOIN_RECT);
    if (!target.hasPlane(0)) {
        // The rows the source does not bring are cleared; the other joins bring them.
        target.allocatePlanes(false);
        const std::size_t width = static_cast<std::size_t>(t.width());
        for (std::uint32_t b = 0; b < target.getPlaneCount(); ++b)
            for (std::int32_t y = t.y0; y <= t.y1; ++y)
                if (y < s.y0 || y > s.y1)
                    std::fill_n(target.row(b, static_cast<std::uint32_t>(y - t.y0)), width, 0.0f);
    }
    // Each source row to its place in the target.
    for (std::uint32_t b = 0; b < target.getPlaneCount(); ++b)
        for (std::int32_t y = s.y0; y <= s.y1; ++y)
            std::memcpy(target.row(b, static_cast<std::uint32_t>(y - t.y0)),
                        source.row(b, static_cast<std::uint32_t>(y - s.y0)),
                        static_cast<std::size_t>(s.width()) * sizeof(float));
}

} // namespace Korvel
