#pragma once
// The operations on subband trees that carry coefficients from one strip to the next. Each walks
// two trees of the same shape node by node. Consecutive strips' trees differ only in their rows:
// the next strip's leaves start at or below the current ones' and end at or below them.
//
// - overlap (current, next): the rows the two trees share, copied from the current tree's leaves;
// - remainder (current, overlap): a tree without data for the rows of each current leaf below its
//   overlap leaf, the only rows that the strip still has to decode;
// - join (source into target): the source's rows copied into the target's leaves.

#include "QG2Subband.h"

#include <memory>

namespace Korvel {

// The overlap of a (decoded) and b: each node the intersection of the two rectangles, with a's
// full sizes, plane count, level, leaf number and scale; each non-empty leaf a copy of a's rows.
// None without b, or when the first leaf of the overlap is empty. Throws KVUtilException:
// KV_QG2_OVERLAP_PLANES, KV_QG2_OVERLAP_SHAPE, KV_QG2_OVERLAP_RECT (two non-empty leaves below
// the root that do not meet).
std::unique_ptr<QG2Subband> qg2OverlapTree(const QG2Subband& a, const QG2Subband* b);

// The rows of each current leaf below its overlap leaf: columns x0 to x1 of the current leaf,
// rows overlap y1 + 1 to current y1; empty where the overlap leaf is empty or reaches the current
// leaf's last row. No planes. Throws KVUtilException: KV_QG2_REMAINDER_PLANES,
// KV_QG2_REMAINDER_SHAPE, KV_QG2_OVERLAP_RECT (a non-empty overlap leaf without the current leaf's
// columns and first row, or reaching below its last row).
std::unique_ptr<QG2Subband> qg2RemainderTree(const QG2Subband& current, const QG2Subband& overlap);

// Copies each non-empty source leaf's rows into the target leaf (allocating its planes when it
// has none). Throws KVUtilException: KV_QG2_JOIN_SHAPE, KV_QG2_JOIN_RECT (a source leaf without
// the target's columns, or outside its rows).
void qg2JoinTree(const QG2Subband& source, QG2Subband& target);

} // namespace Korvel
