// Prefixes, the two description orders and the pipe order's rank and locate: the worked values
// of the format, and sweeps against the test side's plain construction.

#include "PlaneFile.h"
#include "PlaneOrder.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/OrderingPipe.h"
#include "qg3/planes/QG3FilePlaneStore.h"
#include "qg3/planes/QG3PlaneDescIter.h"
#include "qg3/planes/QG3PlanePrefix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace Korvel;
using namespace quarn_test;

namespace {

KVStatus decode(const Bytes& bytes, bool wide, QG3PlanePrefix& prefix, std::size_t& used) {
    used = 0;
    return decodePlanePrefix(wide, prefix, [&](std::uint8_t& b, bool first) {
        if (used == bytes.size()) return first ? KV_QG3_READ_FAILED : KV_QG3_PREFIX_CUT;
        b = bytes[used++];
        return KV_OK;
    });
}

} // namespace

TEST(QG3PlanePrefix, WorkedValuesOfTheFormat) {
    QG3PlanePrefix prefix;
    std::size_t used = 0;
    for (bool wide : {false, true}) {
        ASSERT_EQ(decode({0xA5, 0x03}, wide, prefix, used), KV_OK);
        EXPECT_TRUE(prefix.hasData);
        EXPECT_FALSE(prefix.raw);
        EXPECT_EQ(prefix.value, 101u);
        EXPECT_EQ(used, 2u);
        EXPECT_EQ(decode({0x00}, wide, prefix, used), KV_QG3_READ_FAILED);
    }
    EXPECT_EQ(decode(Bytes(8, 0xFF), true, prefix, used), KV_QG3_PREFIX_TOO_LONG);
    // The narrow fourth byte carries eight value bits and ends the prefix.
    ASSERT_EQ(decode({0x3F, 0xFF, 0xFF, 0xFF, 0xFF}, false, prefix, used), KV_OK);
    EXPECT_EQ(prefix.value, (1u << 27) - 1);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(decode({0xA5}, false, prefix, used), KV_QG3_PREFIX_CUT);
}

TEST(QG3PlanePrefix, DecodesWhatTheWriterEncodes) {
    std::mt19937_64 rng(7);
    for (bool wide : {false, true}) {
        const unsigned bits = wide ? 54 : 27;
        for (unsigned i = 0; i < 2000; ++i) {
            const std::uint64_t value =
                i < bits ? (std::uint64_t(1) << i) - (i % 2) : rng() >> (64 - 1 - rng() % bits);
            const bool hasData = value == 0 || rng() % 2;
            const bool raw = rng() % 2;
            const Bytes bytes = planePrefix(hasData, raw, value, wide);
            QG3PlanePrefix prefix;
            std::size_t used = 0;
            ASSERT_EQ(decode(bytes, wide, prefix, used), KV_OK) << value;
            EXPECT_EQ(used, bytes.size());
            EXPECT_EQ(prefix.value, value);
            EXPECT_EQ(prefix.hasData, hasData);
            EXPECT_EQ(prefix.raw, raw);
        }
    }
}

TEST(OrderingPipe, WorkedValuesOfTheFormat) {
    auto flat = OrderingPipe::create(8, 0, 40, 24); // three columns, no levels
    ASSERT_TRUE(flat);
    std::uint8_t s = 0;
    std::uint16_t r = 0, c = 0;
    ASSERT_TRUE(flat->locate(7, s, r, c));
    EXPECT_EQ((std::array<int, 3>{s, r, c}), (std::array<int, 3>{0, 2, 1}));

    // S = 8, three levels, 40 x 100: ranges of sequence numbers, each one row of consecutive
    // subbands of equal column count.
    auto pipe = OrderingPipe::create(8, 3, 100, 40);
    ASSERT_TRUE(pipe);
    EXPECT_EQ(pipe->getTotal(), 126u);
    EXPECT_EQ(pipe->getTotalFull(), 101u);
    struct Range {
        unsigned first, last, subband, row, columns;
    };
    const Range ranges[] = {{0, 11, 9, 0, 3},    {12, 23, 9, 1, 3},  {24, 31, 5, 0, 2},
                            {44, 55, 9, 3, 3},   {56, 63, 5, 1, 2},  {64, 66, 0, 0, 1},
                            {79, 80, 3, 0, 1},   {93, 100, 5, 2, 2}, {101, 105, 0, 1, 1},
                            {106, 113, 5, 3, 2}, {114, 125, 9, 6, 3}};
    for (const Range& range : ranges)
        for (unsigned n = range.first; n <= range.last; ++n) {
            const unsigned k = n - range.first;
            ASSERT_TRUE(pipe->locate(n, s, r, c));
            EXPECT_EQ(s, range.subband + k / range.columns) << n;
            EXPECT_EQ(r, range.row) << n;
            EXPECT_EQ(c, k % range.columns) << n;
        }
}

// rank agrees with the plain formula, and locate inverts it in any order of calls, over image
// sizes around multiples of S, odd sizes and subbands one pixel (or no pixel) wide.
TEST(OrderingPipe, LocateInvertsRank) {
    std::mt19937 rng(3);
    struct Case {
        unsigned S, maxLevels;
    };
    const Case cases[] = {{1, 1}, {2, 2},  {3, 6},  {4, 6},  {5, 6},  {7, 6},
                          {8, 6}, {13, 6}, {16, 6}, {31, 5}, {32, 5}, {64, 4}};
    for (const Case& sc : cases)
        for (unsigned L = 0; L <= sc.maxLevels; ++L) {
            const unsigned S = sc.S;
            const std::pair<unsigned, unsigned> sizes[] = {{1, 1},
                                                           {1, 37},
                                                           {2, 5},
                                                           {S - (S > 1), 3 * S + 1},
                                                           {4 * S, 4 * S},
                                                           {4 * S + 1, 2 * S + 1},
                                                           {(3 * S) << std::min(L, 3u), 21},
                                                           {97, 61}};
            for (auto [w, h] : sizes) {
                const PlaneGeometry g{w, h, L, S};
                const std::vector<SubblockRef> order = subblockOrder(g, 1);
                const std::vector<SubbandSize> bands = subbandSizes(g);
                auto pipe = OrderingPipe::create(S, L, h, w);
                ASSERT_TRUE(pipe);
                ASSERT_EQ(pipe->getTotal(), order.size());
                for (const SubblockRef& ref : order) {
                    const unsigned cols = bands[ref.subband].columns;
                    ASSERT_EQ(pipe->rank(ref.subband, ref.subblock / cols, ref.subblock % cols),
                              pipeRank(g, ref.subband, ref.subblock / cols, ref.subblock % cols));
                }
                std::vector<unsigned> ns(order.size());
                for (unsigned i = 0; i < ns.size(); ++i)
                    ns[i] = i;
                for (int pass = 0; pass < 3; ++pass) {
                    if (pass == 1) std::reverse(ns.begin(), ns.end());
                    if (pass == 2) std::shuffle(ns.begin(), ns.end(), rng);
                    for (unsigned n : ns) {
                        std::uint8_t s = 0;
                        std::uint16_t r = 0, c = 0;
                        ASSERT_TRUE(pipe->locate(n, s, r, c)) << w << "x" << h << " L" << L;
                        const SubblockRef& want = order[n];
                        ASSERT_EQ(s, want.subband) << w << "x" << h << " L" << L << " S" << S;
                        ASSERT_EQ(r * bands[s].columns + c, want.subblock) << n;
                    }
                }
            }
        }
}

// The description order: subblocks of the kind's order, then bands, then planes; a skip of any
// length lands where stepping would.
TEST(QG3PlaneDescIter, FollowsTheOrderOfEachKind) {
    std::mt19937_64 rng(11);
    for (unsigned kind : {1u, 5u})
        for (const PlaneGeometry& g : {PlaneGeometry{40, 100, 3, 8}, PlaneGeometry{33, 17, 2, 4},
                                       PlaneGeometry{5, 3, 1, 3}}) {
            HeaderBody body;
            PlaneFormat format;
            format.kind = static_cast<std::uint8_t>(kind);
            PlaneFile file(PlaneItemWriter(g, 2, 3, format).file(body));
            ASSERT_EQ(file.status, KV_OK);
            auto iter = QG3PlaneDescIter::create(*file.info, kind, 3);
            ASSERT_TRUE(iter);
            const std::vector<SubblockRef> order = subblockOrder(g, kind);
            std::vector<QG3SubblockKey> keys;
            for (const SubblockRef& ref : order)
                for (unsigned b = 0; b < 2; ++b)
                    for (unsigned p = 0; p < 3; ++p)
                        keys.push_back({ref.subblock, std::uint16_t(b), std::uint8_t(ref.subband),
                                        std::uint8_t(p)});
            ASSERT_EQ(iter->getTotal(), keys.size());
            for (const QG3SubblockKey& key : keys) {
                ASSERT_EQ(iter->key(), key);
                iter->step();
            }
            EXPECT_TRUE(iter->atEnd());
            iter->reset();
            std::uint64_t at = 0;
            while (at < keys.size()) {
                ASSERT_EQ(iter->key(), keys[at]);
                const std::uint64_t n = 1 + rng() % 40;
                iter->skip(n);
                at += n;
            }
            EXPECT_TRUE(iter->atEnd());
        }
    EXPECT_FALSE(QG3PlaneDescIter::create(QG3ImageInfo(), 3, 8));
}

// Pipe order with subblocks of 1 and 2 and the levels at which locate no longer inverts rank is
// refused when the plane data is opened; the subband order takes them.
TEST(QG3PlaneStore, RefusesPipeOrdersThatCannotBeInverted) {
    struct Case {
        unsigned S, L, kind;
        KVStatus status;
    };
    const Case cases[] = {{1, 1, 1, KV_OK},
                          {1, 2, 1, KV_QG3_BAD_FORMAT},
                          {2, 2, 1, KV_OK},
                          {2, 3, 1, KV_QG3_BAD_FORMAT},
                          {2, 5, 1, KV_QG3_BAD_FORMAT},
                          {1, 4, 5, KV_OK},
                          {2, 4, 5, KV_OK}};
    for (const Case& c : cases) {
        PlaneFormat format;
        format.kind = static_cast<std::uint8_t>(c.kind);
        PlaneItemWriter writer({13, 9, c.L, c.S}, 1, 2, format);
        writer.set(0, 0, 0, 1, PlaneItem{{1, 2, 3}});
        PlaneFile file(writer.file(HeaderBody{}));
        ASSERT_EQ(file.status, KV_OK);
        EXPECT_EQ(checkPlaneset(*file.info, *file.planeset), c.status);
        QG3FilePlaneStore store(*file.info, QG3_MEMORY_MODEL_FULL);
        EXPECT_EQ(store.initialize(*file.reader(false)), c.status) << c.S << " " << c.L;
    }
}
