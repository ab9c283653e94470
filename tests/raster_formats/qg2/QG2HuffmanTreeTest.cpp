#include "qg2/QG2HuffmanTree.h"
#include "qg2/QG2Status.h"

#include <gtest/gtest.h>
#include <map>
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

} // namespace
} // namespace Korvel
