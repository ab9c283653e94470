#pragma once
// The decoding tree of a canonical Huffman code given as BITS (the number of codes of each length
// 1 to 16) and HUFFVAL (the symbols in code order), as in the JPEG standard. Two tables of 256
// entries give, for internal node n (the root is 0), the child reached by bit 0 and by bit 1: an
// entry below 256 is another internal node, an entry of 256 or more the leaf of symbol
// (entry - 256), and kUnassigned a branch that no code uses.
//
// Beside the tree, a table decodes the first kLookupBits bits of a code at once: for each value of
// those bits, the symbol and the length of a code no longer than that, the node reached for a
// longer code (whose remaining bits walk the tree), or nothing for bits that no code begins with.

#include "support/KVStatus.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace Korvel {

class QG2HuffmanTree {
public:
    static constexpr std::uint16_t kLeafBase = 256;
    static constexpr std::uint16_t kUnassigned = 666;
    static constexpr std::size_t kMaxNodes = 256;
    static constexpr std::size_t kMaxCodes = 256;
    static constexpr int kLookupBits = 9;

    QG2HuffmanTree() { clear(); }

    // Builds the tree for the table. KV_QG2_BAD_CODE (and an empty tree) when BITS counts more
    // than 256 codes, when a code does not fit its length (the counts break the prefix rule) or
    // when the codes need more internal nodes than the tables hold.
    KVStatus build(const std::uint8_t* bits, const std::uint8_t* huffval, std::size_t huffvalCount);
    void clear();

    // The entry reached from internal node by one bit.
    std::uint16_t child(std::uint32_t bit, std::uint16_t node) const {
        return bit != 0 ? one_[node] : zero_[node];
    }
    // Internal nodes in use, the root included.
    std::size_t nodeCount() const { return nodes_; }

    // The table entry for the next kLookupBits bits of a code (most significant first).
    std::uint16_t lookup(std::uint32_t bits) const { return lookup_[bits]; }
    // A code of at most kLookupBits bits: its length and symbol. Else isLong tells a longer code,
    // whose walk goes on from longNode after kLookupBits bits; an entry of neither kind has no
    // code.
    static bool isShort(std::uint16_t entry) { return entry - 1u < kLongCode - 1u; }
    static int shortLength(std::uint16_t entry) { return entry >> 8; }
    static std::uint32_t shortSymbol(std::uint16_t entry) { return entry & 0xFFu; }
    static bool isLong(std::uint16_t entry) { return entry >= kLongCode; }
    static std::uint16_t longNode(std::uint16_t entry) { return entry & 0xFFu; }

private:
    static constexpr std::uint16_t kLongCode = 0x8000;
    void buildLookup();

    std::array<std::uint16_t, kMaxNodes> zero_;
    std::array<std::uint16_t, kMaxNodes> one_;
    std::size_t nodes_ = 1;
    std::array<std::uint16_t, std::size_t{1} << kLookupBits> lookup_;
};

} // namespace Korvel
