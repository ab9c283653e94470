#include "RasterContextRules.h"

#include <stdexcept>

namespace quarn_test {

namespace {

// A row of a rule table: the ranges it covers and its label. Rows are tried in order.
struct Row {
    unsigned aMin, aMax, bMin, bMax, cMin, cMax, label;
    bool covers(unsigned a, unsigned b, unsigned c) const {
        return a >= aMin && a <= aMax && b >= bMin && b <= bMax && c >= cMin && c <= cMax;
    }
};

constexpr unsigned kAny = 99;

// Table D.1 for LL and LH (for HL with H and V exchanged): columns H, V, D.
constexpr Row kLowRows[] = {
    {2, 2, 0, kAny, 0, kAny, 8}, {1, 1, 1, 2, 0, kAny, 7}, {1, 1, 0, 0, 1, kAny, 6},
    {1, 1, 0, 0, 0, 0, 5},       {0, 0, 2, 2, 0, kAny, 4}, {0, 0, 1, 1, 0, kAny, 3},
    {0, 0, 0, 0, 2, kAny, 2},    {0, 0, 0, 0, 1, 1, 1},    {0, 0, 0, 0, 0, 0, 0},
};

// Table D.1 for HH: columns D, H + V (third column unused).
constexpr Row kDiagonalRows[] = {
    {3, kAny, 0, kAny, 0, 0, 8}, {2, 2, 1, kAny, 0, 0, 7}, {2, 2, 0, 0, 0, 0, 6},
    {1, 1, 2, kAny, 0, 0, 5},    {1, 1, 1, 1, 0, 0, 4},    {1, 1, 0, 0, 0, 0, 3},
    {0, 0, 2, kAny, 0, 0, 2},    {0, 0, 1, 1, 0, 0, 1},    {0, 0, 0, 0, 0, 0, 0},
};

template <std::size_t N> unsigned lookup(const Row (&rows)[N], unsigned a, unsigned b, unsigned c) {
    for (const Row& row : rows)
        if (row.covers(a, b, c)) return row.label;
    throw std::logic_error("no context row covers the neighbourhood");
}

struct SignRow {
    int hc, vc;
    SignLabel label;
};
constexpr SignRow kSignRows[] = {
    {1, 1, {13, 0}},  {1, 0, {12, 0}},  {1, -1, {11, 0}}, {0, 1, {10, 0}},   {0, 0, {9, 0}},
    {0, -1, {10, 1}}, {-1, 1, {11, 1}}, {-1, 0, {12, 1}}, {-1, -1, {13, 1}},
};

} // namespace

RasterOrientation rasterOrientation(unsigned subband) {
    if (subband == 0) return RasterOrientation::LL;
    constexpr RasterOrientation kByRole[4] = {RasterOrientation::LL, RasterOrientation::HL,
                                              RasterOrientation::LH, RasterOrientation::HH};
    return kByRole[(subband - 1) % 4];
}

unsigned zeroCodingLabel(RasterOrientation orientation, unsigned h, unsigned v, unsigned d) {
    switch (orientation) {
    case RasterOrientation::HH:
        return lookup(kDiagonalRows, d, h + v, 0);
    case RasterOrientation::HL:
        return lookup(kLowRows, v, h, d);
    default:
        return lookup(kLowRows, h, v, d);
    }
}

SignLabel signCodingLabel(int hc, int vc) {
    for (const SignRow& row : kSignRows)
        if (row.hc == hc && row.vc == vc) return row.label;
    throw std::logic_error("sign contributions out of range");
}

unsigned refinementLabel(bool firstRefinement, unsigned significantNeighbours) {
    if (!firstRefinement) return 16;
    return significantNeighbours == 0 ? 14 : 15;
}

} // namespace quarn_test
