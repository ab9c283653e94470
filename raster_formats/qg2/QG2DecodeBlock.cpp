#include "QG2DecodeBlock.h"

#include "QG2BitReader.h"
#include "QG2Status.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <array>
#include <limits>

namespace Korvel {
namespace {

[[noreturn]] void badCode() {
    throw KVUtilException(KV_QG2_BAD_CODE);
}

// The rest of a code longer than the lookup, from the node its first bits reach (16 bits at most
// in all).
[[gnu::noinline]] std::uint32_t longCode(const QG2HuffmanTree& tree, QG2BitReader& bits,
                                         std::uint16_t node) {
    const std::uint32_t code = bits.peek(16);
    for (int depth = QG2HuffmanTree::kLookupBits; depth < 16; ++depth) {
        const std::uint16_t entry = tree.child((code >> (15 - depth)) & 1, node);
        if (entry >= QG2HuffmanTree::kLeafBase) {
            if (entry > 2 * QG2HuffmanTree::kLeafBase) badCode();
            bits.skip(depth + 1);
            return entry - QG2HuffmanTree::kLeafBase;
        }
        node = entry;
    }
    badCode();
}

// A code walked from the root one bit at a time; codes are at most 16 bits long.
[[gnu::noinline]] std::uint32_t walkedCode(const QG2HuffmanTree& tree, QG2BitReader& bits) {
    std::uint16_t node = 0;
    for (int depth = 0; depth < 16; ++depth) {
        const std::uint16_t entry = tree.child(bits.codeBit(), node);
        if (entry >= QG2HuffmanTree::kLeafBase) {
            if (entry > 2 * QG2HuffmanTree::kLeafBase) badCode();
            return entry - QG2HuffmanTree::kLeafBase;
        }
        node = entry;
    }
    badCode();
}

// The next symbol: from the lookup table while 16 bits are at hand, else walked bit by bit. The
// common path is inlined into the decoding loops, so that the register stays in a register; the
// rare ones are not, so that the loops stay small.
[[gnu::always_inline]] inline std::uint32_t nextSymbol(const QG2HuffmanTree& tree,
                                                       QG2BitReader& bits) {
    if (!bits.fill()) return walkedCode(tree, bits);
    const std::uint16_t entry = tree.lookup(bits.peek(QG2HuffmanTree::kLookupBits));
    if (QG2HuffmanTree::isShort(entry)) {
        bits.skip(QG2HuffmanTree::shortLength(entry));
        return QG2HuffmanTree::shortSymbol(entry);
    }
    if (!QG2HuffmanTree::isLong(entry)) badCode();
    return longCode(tree, bits, QG2HuffmanTree::longNode(entry));
}

// What a symbol without raw bits does: the coefficient it gives (0 for a run) and how far it moves
// the position (the run's length, or 1).
struct Action {
    std::int32_t value = 0;
    std::uint32_t advance = 0;
};

constexpr std::array<Action, 256> kActions = [] {
    std::array<Action, 256> actions{};
    for (std::uint32_t s = 0; s < 256; ++s)
        actions[s] = s <= 100 ? Action{0, s} : Action{static_cast<std::int32_t>(s) - 180, 1};
    return actions;
}();

// Symbols 101 to 106, whose raw bits follow them.
bool hasRawBits(std::uint32_t symbol) {
    return symbol - 101u <= 5u;
}

// What a symbol with raw bits does.
[[gnu::noinline]] Action rawAction(std::uint32_t symbol, QG2BitReader& bits) {
    switch (symbol) {
    case 101:
        return {static_cast<std::int32_t>(bits.raw(8)), 1};
    case 102:
        return {-static_cast<std::int32_t>(bits.raw(8)), 1};
    case 103:
        return {static_cast<std::int16_t>(bits.raw(16)), 1};
    case 104:
        return {-std::int32_t{static_cast<std::int16_t>(bits.raw(16))}, 1};
    case 105:
        return {0, bits.raw(8)};
    default:
        return {0, bits.raw(16)};
    }
}

[[gnu::always_inline]] inline Action nextAction(const QG2HuffmanTree& tree, QG2BitReader& bits) {
    const std::uint32_t symbol = nextSymbol(tree, bits);
    return hasRawBits(symbol) ? rawAction(symbol, bits) : kActions[symbol];
}

struct Start {
    std::size_t byte = 2;
    std::uint32_t used = 0;
    std::uint64_t position = 0;
};

// Where decoding starts; none when a block decoded from its start yields nothing.
std::optional<Start> startOf(const std::uint8_t* bytes, std::size_t size, std::uint64_t area,
                             const QG2ResumeState* resume) {
    if (resume == nullptr) {
        if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xA3)
            throw KVUtilException(KV_QG2_BAD_BLOCK);
        // No data, or a first data byte 0xFF without its stuffed zero: the block yields nothing.
        if (size < 3 || (bytes[2] == 0xFF && (size < 4 || bytes[3] != 0x00))) return std::nullopt;
        return Start{};
    }
    if (resume->bytePosition < 2 || resume->bytePosition > size || resume->bitPosition > 7 ||
        resume->coefficientPosition > area)
        throw KVUtilException(KV_BAD_ARGUMENT);
    return Start{resume->bytePosition, resume->bitPosition, resume->coefficientPosition};
}

} // namespace

std::optional<QG2ResumeState> qg2DecodeBlock(const QG2HuffmanTree& tree, const std::uint8_t* bytes,
                                             std::size_t size, std::int32_t* out,
                                             const KVIRect& block, const KVIRect& wanted,
                                             const QG2ResumeState* resume) {
    if (!block.contains(wanted) || size > std::numeric_limits<std::uint32_t>::max())
        throw KVUtilException(KV_BAD_ARGUMENT);
    const auto blockWidth = static_cast<std::uint64_t>(block.width());
    const std::uint64_t area = blockWidth * static_cast<std::uint64_t>(block.height());
    if (area > std::numeric_limits<std::uint32_t>::max())
        throw KVUtilException(KV_QG2_BAD_STRUCTURE);
    const std::optional<Start> start = startOf(bytes, size, area, resume);
    if (!start) return std::nullopt;
    QG2BitReader bits(bytes, size, start->byte, start->used);
    std::uint64_t p = start->position;

    const auto wantedWidth = static_cast<std::uint64_t>(wanted.width());
    const auto wantedHeight = static_cast<std::uint64_t>(wanted.height());
    const std::uint64_t firstColumn = static_cast<std::uint64_t>(wanted.x0 - block.x0);
    const std::uint64_t firstRow = static_cast<std::uint64_t>(wanted.y0 - block.y0);
    const std::uint64_t first = firstRow * blockWidth + firstColumn;
    if (wantedWidth == blockWidth) {
        // Whole rows: the wanted positions run on without a gap, and a coefficient goes to
        // out[p - first]. A run writes a zero where it starts, which leaves out as it was.
        const std::uint64_t end = first + wantedWidth * wantedHeight;
        while (p < first)
            p += nextAction(tree, bits).advance;
        while (p < end) {
            const Action action = nextAction(tree, bits);
            out[p - first] = action.value;
            p += action.advance;
        }
    } else {
        for (std::uint64_t j = 0; j < wantedHeight; ++j) {
            // The wanted row's window in block positions; a run may already have covered it.
            const std::uint64_t rowStart = first + j * blockWidth;
            const std::uint64_t rowEnd = rowStart + wantedWidth;
            std::int32_t* row = out + j * wantedWidth;
            while (p < rowEnd) {
                const Action action = nextAction(tree, bits);
                if (p >= rowStart) row[p - rowStart] = action.value;
                p += action.advance;
            }
        }
    }
    if (wanted.x1 == block.x1 && wanted.y1 == block.y1) return std::nullopt;
    return bits.save(std::min(p, area));
}

} // namespace Korvel
