#pragma once
// The coefficient state word of the subblock bit-plane decoder and the context tables indexed by
// it. The tables are built at compile time from the JPEG 2000 context rules (zero coding,
// sign coding with its XOR bit, magnitude refinement), so that a decision's context is one
// lookup on the state word with no neighbour counting.

#include <array>
#include <cstdint>

namespace Korvel {

// Bits of a coefficient's state word. Each neighbour bit records the direction, seen from this
// coefficient, in which a neighbour became significant.
namespace SubblockState {
inline constexpr std::uint32_t SouthEast = 0x0001;
inline constexpr std::uint32_t SouthWest = 0x0002;
inline constexpr std::uint32_t NorthEast = 0x0004;
inline constexpr std::uint32_t NorthWest = 0x0008;
inline constexpr std::uint32_t East = 0x0010;
inline constexpr std::uint32_t West = 0x0020;
inline constexpr std::uint32_t North = 0x0040;
inline constexpr std::uint32_t South = 0x0080;
inline constexpr std::uint32_t EastPositive = 0x0100;
inline constexpr std::uint32_t WestPositive = 0x0200;
inline constexpr std::uint32_t NorthPositive = 0x0400;
inline constexpr std::uint32_t SouthPositive = 0x0800;
inline constexpr std::uint32_t Refined = 0x1000;
inline constexpr std::uint32_t Significant = 0x2000;
} // namespace SubblockState

// Context numbers of the decoder: 0-8 zero coding, 9-13 sign, 14-16 refinement; 17 and 18 are
// set up but never used.
inline constexpr unsigned kRefinementLaterContext = 16;

// Zero-coding table by subband orientation: the LL/LH table (subband 0 and subbands 4m + 1,
// 4m + 3), the HL table (4m + 2, horizontally high-pass) and the HH table (4m + 4).
enum class ZeroCodingTable : std::uint8_t { LowLowOrLowHigh = 0, HighLow = 1, HighHigh = 2 };

constexpr ZeroCodingTable zeroCodingTableOf(unsigned subband) {
    if (subband == 0) return ZeroCodingTable::LowLowOrLowHigh;
    switch ((subband - 1) % 4) {
    case 1:
        return ZeroCodingTable::HighLow;
    case 3:
        return ZeroCodingTable::HighHigh;
    default:
        return ZeroCodingTable::LowLowOrLowHigh;
    }
}

struct SubblockContextTables {
    // Indexed by the state word's low byte.
    std::array<std::array<std::uint8_t, 256>, 3> zeroCoding{};
    std::array<std::uint8_t, 256> refinement{};
    // Indexed by bits 4-11 of the state word.
    std::array<std::uint8_t, 256> signContext{};
    std::array<std::uint8_t, 256> signFlip{};
    // The context of a coefficient's decision in a plane, by zero-coding table, indexed by the
    // state word's low byte, refined and significant bits: zero coding when not significant,
    // else refinement. (Only the four blocks of 256 at 0, 0x1000, 0x2000 and 0x3000 are used.)
    std::array<std::array<std::uint8_t, 0x3100>, 3> decision{};
};

// The index of a state word into SubblockContextTables::decision.
constexpr std::uint32_t decisionIndex(std::uint32_t state) {
    return state & 0x30FF;
}

namespace SubblockContextRules {

// Zero coding (Table D.1 of JPEG 2000) from the counts of significant horizontal (h), vertical
// (v) and diagonal (d) neighbours.
constexpr std::uint8_t zeroCoding(ZeroCodingTable table, unsigned h, unsigned v, unsigned d) {
    if (table == ZeroCodingTable::HighHigh) {
        const unsigned hv = h + v;
        if (d >= 3) return 8;
        if (d == 2) return hv >= 1 ? 7 : 6;
        if (d == 1) return hv >= 2 ? 5 : hv == 1 ? 4 : 3;
        return hv >= 2 ? 2 : hv == 1 ? 1 : 0;
    }
    if (table == ZeroCodingTable::HighLow) {
        const unsigned t = h;
        h = v;
        v = t;
    }
    if (h == 2) return 8;
    if (h == 1) return v >= 1 ? 7 : d >= 1 ? 6 : 5;
    if (v == 2) return 4;
    if (v == 1) return 3;
    return d >= 2 ? 2 : d == 1 ? 1 : 0;
}

// A neighbour's contribution to the sign context: +1 significant and positive, -1 significant
// and negative, 0 not significant.
constexpr int contribution(std::uint32_t index, unsigned significantBit, unsigned positiveBit) {
    if ((index & significantBit) == 0) return 0;
    return (index & positiveBit) != 0 ? 1 : -1;
}

constexpr int clampUnit(int x) {
    return x > 1 ? 1 : x < -1 ? -1 : x;
}

} // namespace SubblockContextRules

constexpr SubblockContextTables makeSubblockContextTables() {
    using namespace SubblockState;
    SubblockContextTables t;
    for (std::uint32_t s = 0; s < 256; ++s) {
        const unsigned h = ((s & East) != 0) + ((s & West) != 0);
        const unsigned v = ((s & North) != 0) + ((s & South) != 0);
        const unsigned d = ((s & SouthEast) != 0) + ((s & SouthWest) != 0) +
                           ((s & NorthEast) != 0) + ((s & NorthWest) != 0);
        for (unsigned k = 0; k < 3; ++k)
            t.zeroCoding[k][s] =
                SubblockContextRules::zeroCoding(static_cast<ZeroCodingTable>(k), h, v, d);
        t.refinement[s] = s == 0 ? 14 : 15;

        // Sign: the index is the state word shifted down by 4, so East is bit 0 and
        // EastPositive bit 4.
        using SubblockContextRules::contribution;
        int hc = SubblockContextRules::clampUnit(contribution(s, East >> 4, EastPositive >> 4) +
                                                 contribution(s, West >> 4, WestPositive >> 4));
        int vc = SubblockContextRules::clampUnit(contribution(s, North >> 4, NorthPositive >> 4) +
                                                 contribution(s, South >> 4, SouthPositive >> 4));
        // Tables D.2 and D.3: a context and its mirror share a label; the mirror flips the sign.
        std::uint8_t flip = 0;
        if (hc < 0 || (hc == 0 && vc < 0)) {
            hc = -hc;
            vc = -vc;
            flip = 1;
        }
        t.signContext[s] = static_cast<std::uint8_t>(9 + 3 * hc + vc);
        t.signFlip[s] = flip;
    }
    for (std::uint32_t i = 0; i < 0x3100; ++i) {
        const std::uint32_t low = i & 0xFF;
        const bool significant = (i & SubblockState::Significant) != 0;
        const bool refined = (i & SubblockState::Refined) != 0;
        for (unsigned k = 0; k < 3; ++k)
            t.decision[k][i] = !significant ? t.zeroCoding[k][low]
                               : refined    ? static_cast<std::uint8_t>(kRefinementLaterContext)
                                            : t.refinement[low];
    }
    return t;
}

inline constexpr SubblockContextTables kSubblockContextTables = makeSubblockContextTables();

} // namespace Korvel
