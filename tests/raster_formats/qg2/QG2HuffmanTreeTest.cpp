#include "qg2/QG2HuffmanTree.h"
#include "QG2FileWriter.h"
#include "QG2ImageWriter.h"
#include "qg2/QG2Status.h"

#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>

namespace Korvel {
namespace {

// Every leaf of the tree as "code bits" -> symbol.
void collect(const QG2HuffmanTree& tree, std::uint16_t node, const std::string& prefix,
             std::map<std::string, int>& leaves) {
    for (std::uint32_t bit = 0; bit < 2; ++bit) {
        const std::uint16_t entry = tree.child(bit, node);
        const std::string code = prefix + char('0' + bit);
        if (entry >= QG2HuffmanTree::kLeafBase && entry != QG2HuffmanTree::kUnassigned)
            leaves[code] = entry - QG2HuffmanTree::kLeafBase;
        else if (entry < QG2HuffmanTree::kLeafBase)
            collect(tree, entry, code, leaves);
    }
}

// Published codes "c0 c1 c2 ..." for the symbols 0, 1, 2, ...
std::map<std::string, int> published(const std::string& codes) {
    std::map<std::string, int> out;
    std::istringstream in(codes);
    std::string code;
    for (int symbol = 0; in >> code; ++symbol)
        out[code] = symbol;
    return out;
}

std::map<std::string, int> leavesOf(std::array<std::uint8_t, 16> bits) {
    const std::uint8_t values[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    QG2HuffmanTree tree;
    EXPECT_EQ(tree.build(bits.data(), values, 12), KV_OK);
    std::map<std::string, int> leaves;
    collect(tree, 0, "", leaves);
    return leaves;
}

TEST(QG2HuffmanTree, BuildsTheCodesOfTheJpegExampleTables) {
    // ITU-T T.81 Annex K.3, tables K.3 (luminance DC) and K.4 (chrominance DC).
    EXPECT_EQ(leavesOf({0, 1, 5, 1, 1, 1, 1, 1, 1}),
              published("00 010 011 100 101 110 1110 11110 111110 1111110 11111110 111111110"));
    EXPECT_EQ(leavesOf({0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1}),
              published("00 01 10 110 1110 11110 111110 1111110 11111110 111111110 1111111110 "
                        "11111111110"));
}

TEST(QG2HuffmanTree, RefusesTablesThatMakeNoTree) {
    QG2HuffmanTree tree;
    const std::vector<std::uint8_t> values(300, 1);
    auto build = [&](std::array<std::uint8_t, 16> bits, std::size_t count = 300) {
        return tree.build(bits.data(), values.data(), count);
    };
    // More than 256 codes, or more than HUFFVAL holds.
    EXPECT_EQ(build({0, 0, 0, 0, 0, 0, 0, 0, 255, 2}), KV_QG2_BAD_CODE);
    EXPECT_EQ(build({2}, 1), KV_QG2_BAD_CODE);
    // Counts that overfill the code space: no prefix code.
    EXPECT_EQ(build({3}), KV_QG2_BAD_CODE);
    EXPECT_EQ(build({1, 3}), KV_QG2_BAD_CODE);
    EXPECT_EQ(build({0, 0, 0, 0, 0, 0, 1, 255}), KV_QG2_BAD_CODE);
    // A failed build leaves an empty tree behind.
    EXPECT_EQ(tree.nodeCount(), 1u);
    EXPECT_EQ(tree.child(0, 0), QG2HuffmanTree::kUnassigned);

    // Sparse 16-bit codes: 248 of them need exactly the 256 nodes there are, 249 need 259.
    std::array<std::uint8_t, 16> sparse{};
    sparse[15] = 248;
    EXPECT_EQ(build(sparse), KV_OK);
    EXPECT_EQ(tree.nodeCount(), 256u);
    sparse[15] = 249;
    EXPECT_EQ(build(sparse), KV_QG2_BAD_CODE);
    // A full tree of 255 codes (one of 7 bits, 254 of 8) has 254 internal nodes.
    EXPECT_EQ(build({0, 0, 0, 0, 0, 0, 1, 254}), KV_OK);
    EXPECT_EQ(tree.nodeCount(), 254u);
}

// What the first-level table says of the next 16 bits of a stream, finished by walking the tree one
// bit at a time for a longer code: the symbol and the code's length, or none.
std::optional<std::pair<int, int>> lookedUp(const QG2HuffmanTree& tree, std::uint32_t bits16) {
    constexpr int kBits = QG2HuffmanTree::kLookupBits;
    const std::uint16_t entry = tree.lookup(bits16 >> (16 - kBits));
    if (QG2HuffmanTree::isShort(entry))
        return std::pair{int(QG2HuffmanTree::shortSymbol(entry)),
                         QG2HuffmanTree::shortLength(entry)};
    if (!QG2HuffmanTree::isLong(entry)) return std::nullopt;
    std::uint16_t node = QG2HuffmanTree::longNode(entry);
    for (int depth = kBits; depth < 16; ++depth) {
        const std::uint16_t next = tree.child((bits16 >> (15 - depth)) & 1, node);
        if (next >= QG2HuffmanTree::kLeafBase)
            return next < 512 ? std::optional{std::pair{next - 256, depth + 1}} : std::nullopt;
        node = next;
    }
    return std::nullopt;
}

// The plain walk from the root, one bit per step.
std::optional<std::pair<int, int>> walked(const QG2HuffmanTree& tree, std::uint32_t bits16) {
    std::uint16_t node = 0;
    for (int depth = 0; depth < 16; ++depth) {
        const std::uint16_t next = tree.child((bits16 >> (15 - depth)) & 1, node);
        if (next >= QG2HuffmanTree::kLeafBase)
            return next < 512 ? std::optional{std::pair{next - 256, depth + 1}} : std::nullopt;
        node = next;
    }
    return std::nullopt;
}

TEST(QG2HuffmanTree, TheLookupTableAgreesWithTheTreeWalkAndTheCanonicalCodes) {
    std::mt19937 rng(3);
    std::vector<quarn_test::QG2HuffmanTable> tables = {
        {{0, 1, 5, 1, 1, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {{1}, {7}},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3}, {5, 6, 7}}};
    // Tables as an encoder makes them from skewed counts: lengths from 1 up to 16.
    for (int t = 0; t < 40; ++t) {
        std::vector<std::uint64_t> counts(256, 0);
        const int symbols = 2 + int(rng() % 200);
        for (int k = 0; k < symbols; ++k)
            counts[rng() % 256] += std::uint64_t{1} << (rng() % (t % 2 == 0 ? 8 : 34));
        tables.push_back(quarn_test::qg2OptimalTable(counts));
    }
    int longest = 0, built = 0;
    for (const auto& table : tables) {
        QG2HuffmanTree tree;
        // Sparse long codes can need more internal nodes than the tree holds.
        if (tree.build(table.bits.data(), table.huffval.data(), table.huffval.size()) != KV_OK)
            continue;
        ++built;
        // Every stream of 16 bits: the table and the walk find the same code.
        for (std::uint32_t v = 0; v < 0x10000; ++v)
            ASSERT_EQ(lookedUp(tree, v), walked(tree, v)) << v;
        // Each code of the standard's construction, followed by any bits, gives its symbol.
        const auto codes = quarn_test::qg2CanonicalCodes(table);
        for (std::size_t k = 0; k < codes.size(); ++k) {
            longest = std::max(longest, codes[k].length);
            const std::uint32_t tail = rng() & ((1u << (16 - codes[k].length)) - 1);
            const std::uint32_t v = (codes[k].value << (16 - codes[k].length)) | tail;
            ASSERT_EQ(lookedUp(tree, v), (std::pair{int(table.huffval[k]), codes[k].length}));
        }
    }
    EXPECT_EQ(longest, 16);
    EXPECT_GT(built, 30);
}

} // namespace
} // namespace Korvel
