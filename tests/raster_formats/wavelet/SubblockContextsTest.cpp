// The decoder's context tables against the JPEG 2000 rules as published, through the layout of
// the coefficient state word.

#include "wavelet/SubblockContexts.h"
#include "RasterContextRules.h"

#include <gtest/gtest.h>

namespace Korvel {
namespace {

using quarn_test::RasterOrientation;

// The state word's neighbour bits, as laid out for the decoder: diagonals in bits 0-3 (SE, SW,
// NE, NW), then E, W, N, S significant in bits 4-7 and positive in bits 8-11.
struct Neighbourhood {
    unsigned h, v, d;
};
Neighbourhood neighbourhoodOf(unsigned lowByte) {
    auto bit = [&](unsigned b) { return (lowByte >> b) & 1u; };
    return {bit(4) + bit(5), bit(6) + bit(7), bit(0) + bit(1) + bit(2) + bit(3)};
}

// A direct neighbour's sign contribution from the sign index (the state word >> 4).
int contribution(unsigned index, unsigned significantBit, unsigned positiveBit) {
    if (((index >> significantBit) & 1u) == 0) return 0;
    return ((index >> positiveBit) & 1u) != 0 ? 1 : -1;
}
int clampUnit(int x) {
    return x < -1 ? -1 : x > 1 ? 1 : x;
}

TEST(SubblockContexts, EveryEntryFollowsTheStandardRules) {
    const SubblockContextTables& t = kSubblockContextTables;
    // Subbands 0 to 4m + 4 for m up to 15 choose their table by orientation.
    for (unsigned subband = 0; subband <= 64; ++subband) {
        const auto& table = t.zeroCoding[static_cast<unsigned>(zeroCodingTableOf(subband))];
        const RasterOrientation orientation = quarn_test::rasterOrientation(subband);
        for (unsigned s = 0; s < 256; ++s) {
            const Neighbourhood n = neighbourhoodOf(s);
            ASSERT_EQ(table[s], quarn_test::zeroCodingLabel(orientation, n.h, n.v, n.d))
                << "subband " << subband << " state " << s;
        }
    }
    for (unsigned s = 0; s < 256; ++s) {
        const Neighbourhood n = neighbourhoodOf(s);
        EXPECT_EQ(t.refinement[s], quarn_test::refinementLabel(true, n.h + n.v + n.d)) << s;
        // E, W, N, S significant in bits 0-3 of the index, positive in bits 4-7.
        const int hc = clampUnit(contribution(s, 0, 4) + contribution(s, 1, 5));
        const int vc = clampUnit(contribution(s, 2, 6) + contribution(s, 3, 7));
        const quarn_test::SignLabel label = quarn_test::signCodingLabel(hc, vc);
        EXPECT_EQ(t.signContext[s], label.label) << s;
        EXPECT_EQ(t.signFlip[s], label.xorBit) << s;
    }
    EXPECT_EQ(quarn_test::refinementLabel(false, 0), kRefinementLaterContext);

    // The decision context of every state word: zero coding while not significant, then the
    // first refinement, then later ones.
    for (unsigned k = 0; k < 3; ++k) {
        const RasterOrientation orientation = quarn_test::rasterOrientation(k == 2 ? 4 : k + 1);
        for (std::uint32_t s = 0; s < 0x4000; ++s) {
            const Neighbourhood n = neighbourhoodOf(s & 0xFF);
            const bool significant = (s & 0x2000) != 0;
            const bool refined = (s & 0x1000) != 0;
            const unsigned expected = significant
                                          ? quarn_test::refinementLabel(!refined, n.h + n.v + n.d)
                                          : quarn_test::zeroCodingLabel(orientation, n.h, n.v, n.d);
            ASSERT_EQ(t.decision[k][decisionIndex(s)], expected) << k << " " << s;
        }
    }
}

TEST(SubblockContexts, SubbandsChooseTheirTableByOrientation) {
    // 0 and 4m + 1 low-low, 4m + 3 low-high: the LL/LH table; 4m + 2 (horizontally high-pass)
    // the HL table; 4m + 4 the HH table.
    EXPECT_EQ(zeroCodingTableOf(0), ZeroCodingTable::LowLowOrLowHigh);
    for (unsigned m = 0; m < 16; ++m) {
        EXPECT_EQ(zeroCodingTableOf(4 * m + 1), ZeroCodingTable::LowLowOrLowHigh);
        EXPECT_EQ(zeroCodingTableOf(4 * m + 2), ZeroCodingTable::HighLow);
        EXPECT_EQ(zeroCodingTableOf(4 * m + 3), ZeroCodingTable::LowLowOrLowHigh);
        EXPECT_EQ(zeroCodingTableOf(4 * m + 4), ZeroCodingTable::HighHigh);
    }
}

TEST(SubblockContexts, HandWorkedEntriesOfThePublishedRules) {
    using namespace SubblockState;
    const auto& ll = kSubblockContextTables.zeroCoding[0];
    const auto& hl = kSubblockContextTables.zeroCoding[1];
    const auto& hh = kSubblockContextTables.zeroCoding[2];
    const std::uint32_t diagonals = SouthEast | SouthWest | NorthEast | NorthWest;
    EXPECT_EQ(ll[0], 0);
    EXPECT_EQ(ll[North | SouthEast | SouthWest | NorthEast], 3);
    EXPECT_EQ(ll[East], 5);
    EXPECT_EQ(ll[East | West], 8);
    EXPECT_EQ(hl[West], 3);
    EXPECT_EQ(hl[South], 5);
    EXPECT_EQ(hl[North | South], 8);
    EXPECT_EQ(hh[East | West | North | South], 2);
    EXPECT_EQ(hh[NorthWest], 3);
    EXPECT_EQ(hh[East | North | SouthEast | NorthWest], 7);
    EXPECT_EQ(hh[diagonals], 8);
}

} // namespace
} // namespace Korvel
