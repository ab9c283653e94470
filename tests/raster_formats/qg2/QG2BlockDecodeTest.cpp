#include "QG2FileWriter.h"
#include "QG2ImageWriter.h"
#include "QG2SerialReference.h"
#include "qg2/QG2BitReader.h"
#include "qg2/QG2DecodeBlock.h"
#include "qg2/QG2Status.h"
#include "support/KVUtilException.h"

#include <gtest/gtest.h>
#include <random>
#include <set>

namespace Korvel {
namespace {

using quarn_test::QG2HuffmanTable;
using quarn_test::QG2Symbol;

struct Decoded {
    std::vector<std::int32_t> values;
    std::optional<QG2ResumeState> state;
};

Decoded decode(const QG2HuffmanTable& table, const std::vector<std::uint8_t>& bytes,
               const KVIRect& block, const KVIRect& wanted,
               const QG2ResumeState* resume = nullptr) {
    QG2HuffmanTree tree;
    EXPECT_EQ(tree.build(table.bits.data(), table.huffval.data(), table.huffval.size()), KV_OK);
    Decoded d;
    d.values.assign(static_cast<std::size_t>(wanted.width() * wanted.height()), 0);
    d.state =
        qg2DecodeBlock(tree, bytes.data(), bytes.size(), d.values.data(), block, wanted, resume);
    return d;
}

KVStatus failure(const QG2HuffmanTable& table, const std::vector<std::uint8_t>& bytes,
                 const KVIRect& block) {
    try {
        decode(table, bytes, block, block);
    } catch (const KVUtilException& e) {
        return e.getStatus();
    }
    return KV_OK;
}

// The part of a block raster that a wanted rectangle covers.
std::vector<std::int32_t> cut(const std::vector<std::int32_t>& raster, const KVIRect& block,
                              const KVIRect& wanted) {
    std::vector<std::int32_t> out;
    for (std::int32_t y = wanted.y0; y <= wanted.y1; ++y)
        for (std::int32_t x = wanted.x0; x <= wanted.x1; ++x)
            out.push_back(raster[(y - block.y0) * block.width() + (x - block.x0)]);
    return out;
}

// Coefficients of every kind: short and long zero runs, literals, 8- and 16-bit escapes.
std::vector<std::int32_t> mixedCoefficients(std::size_t count) {
    const std::int32_t values[] = {1, -1, -73, 75, 76, -74, 200, -255, 256, -1000, 32767, -32767};
    std::vector<std::int32_t> out;
    std::uint32_t x = 12345;
    for (std::size_t i = 0; out.size() < count; ++i) {
        x = x * 1103515245u + 12345u;
        const std::size_t zeros = (x >> 16) % 7 == 0 ? (x >> 8) % 400 : (x >> 8) % 4;
        out.insert(out.end(), std::min(zeros, count - out.size()), 0);
        if (out.size() < count) out.push_back(values[i % std::size(values)]);
    }
    return out;
}

struct Coded {
    std::vector<std::int32_t> raster;
    QG2HuffmanTable table;
    std::vector<std::uint8_t> bytes;
};

Coded code(const std::vector<std::int32_t>& raster) {
    std::vector<QG2Symbol> symbols = quarn_test::qg2Symbols(raster);
    symbols.insert(symbols.begin() + 1, quarn_test::qg2Run(0)); // moves nothing
    Coded c{raster, quarn_test::qg2FlatTable(quarn_test::qg2SymbolValues(symbols)), {}};
    c.bytes = quarn_test::qg2EncodeBlock(c.table, symbols);
    return c;
}

TEST(QG2BlockDecode, EverySymbolKindDecodesToTheWrittenCoefficients) {
    const KVIRect block{100, 40, 139, 69}; // 40 x 30
    const Coded c = code(mixedCoefficients(1200));
    std::set<int> kinds;
    for (std::uint8_t s : c.table.huffval)
        kinds.insert(s == 0 ? 0 : s <= 100 ? 1 : s <= 106 ? s : 107);
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 101, 102, 103, 104, 105, 106, 107}));
    // The whole block and parts of it: zero runs carry across rows, and cover whole rows.
    for (const KVIRect wanted : {block, KVIRect{103, 42, 107, 65}, KVIRect{100, 50, 139, 51},
                                 KVIRect{139, 40, 139, 69}, KVIRect{120, 55, 120, 55}}) {
        const Decoded d = decode(c.table, c.bytes, block, wanted);
        EXPECT_EQ(d.values, cut(c.raster, block, wanted)) << wanted.x0 << "," << wanted.y0;
        EXPECT_EQ(d.state.has_value(), wanted.x1 != 139 || wanted.y1 != 69);
    }
}

TEST(QG2BlockDecode, ResumedDecodingMatchesDecodingInOneGo) {
    const KVIRect block{8, 16, 20, 26}; // 13 x 11
    const Coded c = code(mixedCoefficients(143));
    // Every split into an upper and a lower strip, over all columns and over a few.
    for (const auto& [x0, x1] : {std::pair{8, 20}, std::pair{10, 15}}) {
        for (std::int32_t split = 16; split < 26; ++split) {
            const KVIRect upper{x0, 16, x1, split}, lower{x0, split + 1, x1, 26};
            const Decoded first = decode(c.table, c.bytes, block, upper);
            ASSERT_TRUE(first.state.has_value());
            // It continues at the first position not yet decoded, or beyond it in a run.
            EXPECT_GE(first.state->coefficientPosition, (split - 16) * 13 + (x1 - 8) + 1);
            EXPECT_LE(first.state->bitPosition, 7u);
            const Decoded second = decode(c.table, c.bytes, block, lower, &*first.state);
            EXPECT_EQ(second.state.has_value(), x1 != 20);
            EXPECT_EQ(first.values, cut(c.raster, block, upper)) << split;
            EXPECT_EQ(second.values, cut(c.raster, block, lower)) << split;
        }
    }
}

// Two one-bit codes: "0" and "1".
QG2HuffmanTable twoCodes(std::uint8_t zero, std::uint8_t one) {
    return QG2HuffmanTable{{2}, {zero, one}};
}

TEST(QG2BlockDecode, StuffingMarkersAndTheBlockStart) {
    const QG2HuffmanTable ones = twoCodes(181, 179);     // "0": +1, "1": -1
    auto bytesOf = [](std::vector<std::int32_t> signs) { // eight coefficients per sign
        std::vector<std::int32_t> out;
        for (std::int32_t s : signs)
            out.insert(out.end(), 8, s);
        return out;
    };
    // A code walk skips the byte after 0xFF, stuffed or not.
    EXPECT_EQ(
        decode(ones, {0xFF, 0xA3, 0x00, 0xFF, 0xD9, 0x00}, {0, 0, 23, 0}, {0, 0, 23, 0}).values,
        bytesOf({1, -1, 1}));
    EXPECT_EQ(decode(ones, {0xFF, 0xA3, 0x00, 0xFF}, {0, 0, 15, 0}, {0, 0, 15, 0}).values,
              bytesOf({1, -1}));
    // A first data byte 0xFF must be stuffed; otherwise the block yields nothing.
    const Decoded none = decode(ones, {0xFF, 0xA3, 0xFF, 0xD9, 0x00}, {0, 0, 3, 1}, {0, 0, 1, 0});
    EXPECT_EQ(none.values, std::vector<std::int32_t>(2, 0));
    EXPECT_FALSE(none.state.has_value());
    EXPECT_EQ(decode(ones, {0xFF, 0xA3}, {0, 0, 3, 0}, {0, 0, 3, 0}).values,
              std::vector<std::int32_t>(4, 0));
    EXPECT_EQ(failure(ones, {0xFF, 0xA4, 0x00}, {0, 0, 3, 0}), KV_QG2_BAD_BLOCK);
    EXPECT_EQ(failure(ones, {0xFF}, {0, 0, 3, 0}), KV_QG2_BAD_BLOCK);

    // Raw bits at 0xFF followed by a marker are 1-bits and never pass it: "0" is +v and "1" -v
    // with v in 8 raw bits; each -255 takes one more bit of the 0xFF as its code.
    const QG2HuffmanTable escapes = twoCodes(101, 102);
    const std::vector<std::uint8_t> marked{0xFF, 0xA3, 0x7F, 0xFF, 0xD9};
    std::vector<std::int32_t> expected(8, -255);
    expected[0] = 255;
    EXPECT_EQ(decode(escapes, marked, {0, 0, 7, 0}, {0, 0, 7, 0}).values, expected);
    // The eighth -255 used the last bit; the next code walk steps over the marker and out.
    EXPECT_EQ(failure(escapes, marked, {0, 0, 8, 0}), KV_QG2_BAD_CODE);
}

TEST(QG2BlockDecode, CodeWalksThatFindNoSymbolFail) {
    // Past the end of the block, over a final 0xFF, and an all-ones walk of zero-length runs that
    // makes no progress: each ends in a status, not in reading beyond the bytes or in a hang.
    const QG2HuffmanTable ones = twoCodes(181, 179);
    EXPECT_EQ(failure(ones, {0xFF, 0xA3, 0x00}, {0, 0, 8, 0}), KV_QG2_BAD_CODE);
    EXPECT_EQ(failure(ones, {0xFF, 0xA3, 0x00, 0xFF}, {0, 0, 16, 0}), KV_QG2_BAD_CODE);
    std::vector<std::uint8_t> allOnes{0xFF, 0xA3};
    for (int i = 0; i < 64; ++i)
        allOnes.insert(allOnes.end(), {0xFF, 0x00});
    EXPECT_EQ(failure(twoCodes(181, 0), allOnes, {0, 0, 0, 0}), KV_QG2_BAD_CODE);
    // A branch no code uses.
    EXPECT_EQ(failure(QG2HuffmanTable{{1}, {181}}, {0xFF, 0xA3, 0x80}, {0, 0, 0, 0}),
              KV_QG2_BAD_CODE);
    // A wanted rectangle outside the block, and a resume state that does not fit the block.
    EXPECT_THROW(decode(ones, {0xFF, 0xA3, 0x00}, {0, 0, 3, 0}, {2, 0, 4, 0}), KVUtilException);
    const QG2ResumeState beyond{9, 0, 0, 0};
    EXPECT_THROW(decode(ones, {0xFF, 0xA3, 0x00}, {0, 0, 3, 0}, {0, 0, 3, 0}, &beyond),
                 KVUtilException);
}

// What a decode gives: its coefficients and state, or the status it failed with.
struct Outcome {
    KVStatus status = KV_OK;
    std::vector<std::int32_t> values;
    std::optional<QG2ResumeState> state;
    bool operator==(const Outcome&) const = default;
};

template <class Decode> Outcome outcome(const KVIRect& wanted, Decode&& decode) {
    Outcome o;
    o.values.assign(static_cast<std::size_t>(wanted.width() * wanted.height()), 0);
    try {
        o.state = decode(o.values.data());
    } catch (const KVUtilException& e) {
        o.status = e.getStatus();
    }
    return o;
}

// Coded bytes as an encoder writes them, then perhaps damaged: a byte changed, a marker put in,
// the end cut off or more bytes after it.
std::vector<std::uint8_t> damaged(std::vector<std::uint8_t> bytes, std::mt19937& rng) {
    switch (rng() % 6) {
    case 0:
        bytes[2 + rng() % (bytes.size() - 2)] = std::uint8_t(rng());
        break;
    case 1:
        bytes.insert(bytes.begin() + 2 + rng() % (bytes.size() - 1),
                     {0xFF, std::uint8_t(rng() % 2 == 0 ? 0xD9 : rng())});
        break;
    case 2:
        bytes.resize(2 + rng() % (bytes.size() - 1));
        break;
    case 3:
        bytes.push_back(std::uint8_t(rng() % 3 == 0 ? 0xFF : rng()));
        break;
    default:
        break;
    }
    return bytes;
}

// The table-driven decoder against the bit-serial one, over random tables with codes of 1 to 16
// bits, random blocks, wanted parts and splits into an upper and a lower strip, on sound and
// damaged bytes: the same coefficients, the same resume states, the same statuses.
TEST(QG2BlockDecode, TheTableDrivenDecoderAgreesWithTheBitSerialOne) {
    std::mt19937 rng(17);
    int sound = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::int32_t width = 1 + std::int32_t(rng() % 40),
                           height = 1 + std::int32_t(rng() % 9);
        std::vector<std::int32_t> raster(std::size_t(width * height));
        for (std::int32_t& c : raster) {
            const std::uint32_t k = rng() % 100;
            c = k < 55   ? 0
                : k < 90 ? std::int32_t(rng() % 9) - 4
                : k < 97 ? std::int32_t(rng() % 300) - 150
                         : std::int32_t(rng() % 65535) - 32767;
        }
        std::vector<QG2Symbol> symbols = quarn_test::qg2Symbols(raster);
        if (round % 5 == 0) symbols.insert(symbols.begin(), quarn_test::qg2Run(0));
        // Skewed counts over the symbols used and some unused: long codes among short ones.
        std::vector<std::uint64_t> counts(256, 0);
        for (const QG2Symbol& sym : symbols)
            counts[sym.value] += 1 + (std::uint64_t{1} << (rng() % 20));
        for (int k = 0; k < int(rng() % 120); ++k)
            counts[rng() % 256] += 1;
        const quarn_test::QG2HuffmanTable table = quarn_test::qg2OptimalTable(counts);
        QG2HuffmanTree tree;
        ASSERT_EQ(tree.build(table.bits.data(), table.huffval.data(), table.huffval.size()), KV_OK);
        const std::vector<std::uint8_t> written = quarn_test::qg2EncodeBlock(table, symbols);
        const std::vector<std::uint8_t> bytes = round % 2 == 0 ? written : damaged(written, rng);

        const KVIRect block{3, 5, 3 + width - 1, 5 + height - 1};
        KVIRect upper = block;
        upper.y1 = block.y0 + std::int32_t(rng() % height);
        if (rng() % 3 == 0) {
            upper.x0 = block.x0 + std::int32_t(rng() % width);
            upper.x1 = upper.x0 + std::int32_t(rng() % (block.x1 - upper.x0 + 1));
        }
        const KVIRect lower{upper.x0, upper.y1 + 1, upper.x1, block.y1};
        const Outcome fast = outcome(upper, [&](std::int32_t* out) {
            return qg2DecodeBlock(tree, bytes.data(), bytes.size(), out, block, upper, nullptr);
        });
        const Outcome plain = outcome(upper, [&](std::int32_t* out) {
            return qg2test::serialDecodeBlock(tree, bytes, out, block, upper, nullptr);
        });
        ASSERT_EQ(fast, plain) << round;
        if (bytes == written && fast.status == KV_OK) {
            ++sound;
            EXPECT_EQ(fast.values, cut(raster, block, upper));
        }
        if (!fast.state || lower.isEmpty()) continue;
        const Outcome fastRest = outcome(lower, [&](std::int32_t* out) {
            return qg2DecodeBlock(tree, bytes.data(), bytes.size(), out, block, lower,
                                  &*fast.state);
        });
        const Outcome plainRest = outcome(lower, [&](std::int32_t* out) {
            return qg2test::serialDecodeBlock(tree, bytes, out, block, lower, &*plain.state);
        });
        ASSERT_EQ(fastRest, plainRest) << round;
    }
    EXPECT_GT(sound, 1000);
}

// The register reader against the bit-serial one: random bytes, rich in 0xFF, 0x00 and markers,
// read by a random mix of codes taken from the register (when it holds 16 bits), code bits and raw
// bits; each read gives the same bits, the same resume state after it, and the same failure.
TEST(QG2BlockDecode, TheRegisterReaderAgreesWithTheBitSerialOne) {
    std::mt19937 rng(23);
    for (int round = 0; round < 4000; ++round) {
        std::vector<std::uint8_t> bytes{0xFF, 0xA3};
        for (std::uint32_t n = rng() % 40; n > 0; --n) {
            const std::uint32_t k = rng() % 8;
            bytes.push_back(k == 0 ? 0xFF : k == 1 ? 0x00 : std::uint8_t(rng()));
        }
        const std::size_t start = 2 + rng() % (bytes.size() - 1);
        const std::uint32_t used = start < bytes.size() ? rng() % 8 : 0;
        QG2BitReader fast(bytes.data(), bytes.size(), start, used);
        qg2test::SerialBits plain(bytes, start, used);
        for (int step = 0; step < 60; ++step) {
            const int count = 1 + int(rng() % 16);
            const int kind = int(rng() % 3);
            std::uint32_t a = 0, b = 0;
            KVStatus fastStatus = KV_OK, plainStatus = KV_OK;
            try {
                if (kind == 0 && fast.fill())
                    a = fast.take(count);
                else if (kind == 2)
                    a = fast.raw(count);
                else
                    for (int i = 0; i < count; ++i)
                        a = (a << 1) | fast.codeBit();
            } catch (const KVUtilException& e) {
                fastStatus = e.getStatus();
            }
            try {
                if (kind == 2)
                    b = plain.raw(count);
                else
                    for (int i = 0; i < count; ++i)
                        b = (b << 1) | plain.codeBit();
            } catch (const KVUtilException& e) {
                plainStatus = e.getStatus();
            }
            ASSERT_EQ(fastStatus, plainStatus) << round << " " << step;
            if (fastStatus != KV_OK) break;
            ASSERT_EQ(a, b) << round << " " << step;
            ASSERT_EQ(fast.save(std::uint64_t(step)), plain.save(std::uint64_t(step)))
                << round << " " << step;
        }
    }
}

} // namespace
} // namespace Korvel
