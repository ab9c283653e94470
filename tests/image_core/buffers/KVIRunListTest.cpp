// Run lists, the run list builder and run masks. Intersections are checked against
// a plain bit-set oracle on random lists drawn from a fixed seed.

#include "buffers/KVIRunList.h"
#include "buffers/KVIRunListBuilder.h"
#include "buffers/KVIRunMask.h"
#include "support/KVUtilException.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

namespace {

using Korvel::KVIRun;
using Korvel::KVIRunList;
using Korvel::KVIRunListBuilder;
using Korvel::KVIRunListPtr;
using Korvel::KVIRunMask;
using Runs = std::vector<std::pair<std::int32_t, std::int32_t>>;

KVIRunListPtr makeList(const Runs& runs) {
    KVIRunListPtr list(KVIRunList::create(runs.size()));
    list->count = static_cast<std::uint32_t>(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i)
        (*list)[static_cast<std::uint32_t>(i)] = KVIRun{runs[i].first, runs[i].second};
    return list;
}

Runs runsOf(const KVIRunList* list) {
    Runs runs;
    if (list == nullptr) return runs;
    for (const KVIRun& run : *list)
        runs.emplace_back(run.start, run.end);
    return runs;
}

Runs intersected(const Runs& a, const Runs& b) {
    KVIRunListBuilder builder;
    const KVIRunListPtr la = makeList(a);
    const KVIRunListPtr lb = makeList(b);
    builder.intersect(la.get(), lb.get());
    return runsOf(builder.getList());
}

// --- the bit-set oracle --------------------------------------------------------------------------

constexpr std::int32_t kOrigin = -64; // column of bit 0
constexpr std::size_t kColumns = 512;
using Columns = std::bitset<kColumns>;

Columns columnsOf(const Runs& runs) {
    Columns bits;
    for (const auto& [start, end] : runs)
        for (std::int32_t x = start; x <= end; ++x)
            bits.set(static_cast<std::size_t>(x - kOrigin));
    return bits;
}

// Ascending, not overlapping, each run non-empty.
bool wellFormed(const Runs& runs) {
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].first > runs[i].second) return false;
        if (i > 0 && runs[i].first <= runs[i - 1].second) return false;
    }
    return true;
}

// Random runs inside the oracle's columns; neighbouring runs may touch (gap 0), as the format
// allows. Each list draws its own longest gap and run, so densities vary.
Runs randomRuns(std::mt19937& rng) {
    Runs runs;
    const std::uint32_t maxGap = 1 + rng() % 24;
    const std::uint32_t maxLength = 1 + rng() % 24;
    std::int32_t x = kOrigin + static_cast<std::int32_t>(rng() % 16);
    const std::int32_t last = kOrigin + static_cast<std::int32_t>(kColumns) - 1;
    const std::uint32_t wanted = rng() % 40; // some lists stay empty or short
    while (runs.size() < wanted) {
        const std::int32_t start = x + static_cast<std::int32_t>(rng() % maxGap);
        const std::int32_t end = start + static_cast<std::int32_t>(rng() % maxLength);
        if (end > last) break;
        runs.emplace_back(start, end);
        x = end + 1;
    }
    return runs;
}

// --- KVIRunList ----------------------------------------------------------------------------------

TEST(KVIRunList, BlockIsTheCountFollowedByTheRuns) {
    EXPECT_EQ(KVIRunList::blockSize(0), 4u);
    EXPECT_EQ(KVIRunList::blockSize(3), 4u + 3 * 8);
    KVIRunListPtr list = makeList({{1, 2}, {-7, 9}});
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(list.get());
    std::int32_t word = 0;
    std::memcpy(&word, bytes, 4);
    EXPECT_EQ(word, 2);
    std::memcpy(&word, bytes + 4 + 8, 4);
    EXPECT_EQ(word, -7);
    std::memcpy(&word, bytes + 4 + 12, 4);
    EXPECT_EQ(word, 9);
}

TEST(KVIRunList, LowerBoundFindsTheFirstRunEndingAtOrAfterX) {
    const KVIRunListPtr list = makeList({{-5, -1}, {2, 4}});
    const KVIRun* run = KVIRunList::lowerBound(list.get(), 0);
    ASSERT_NE(run, list->end());
    EXPECT_EQ(run->start, 2);
    EXPECT_EQ(run->end, 4);
    EXPECT_EQ(KVIRunList::lowerBound(list.get(), -10), list->begin());
    EXPECT_EQ(KVIRunList::lowerBound(list.get(), -1), list->begin());
    EXPECT_EQ(KVIRunList::lowerBound(list.get(), 4), list->begin() + 1);
    EXPECT_EQ(KVIRunList::lowerBound(list.get(), 5), list->end());
    EXPECT_EQ(KVIRunList::lowerBound(list.get(), INT32_MAX), list->end());

    const KVIRunListPtr empty = makeList({});
    EXPECT_EQ(KVIRunList::lowerBound(empty.get(), 0), empty->end());
    EXPECT_EQ(KVIRunList::lowerBound(static_cast<const KVIRunList*>(nullptr), 0), nullptr);
}

// --- KVIRunListBuilder ---------------------------------------------------------------------------

TEST(KVIRunListBuilder, StartsWithRoomFor256Runs) {
    KVIRunListBuilder builder;
    EXPECT_EQ(builder.getCapacity(), 256u);
    EXPECT_EQ(builder.getCount(), 0u);
    ASSERT_NE(builder.getList(), nullptr);
    EXPECT_EQ(builder.copyList(), nullptr); // no run: no list
}

TEST(KVIRunListBuilder, GrowsInStepsOf256KeepingItsRuns) {
    KVIRunListBuilder builder;
    for (std::int32_t i = 0; i < 256; ++i)
        builder.append(3 * i, 3 * i + 1);
    EXPECT_EQ(builder.getCapacity(), 256u);
    builder.append(10000, 10001); // the 257th run
    EXPECT_EQ(builder.getCapacity(), 512u);
    EXPECT_EQ(builder.getCount(), 257u);
    builder.reserve(513);
    EXPECT_EQ(builder.getCapacity(), 768u);
    builder.reserve(768);
    EXPECT_EQ(builder.getCapacity(), 768u);
    builder.reserve(10);
    EXPECT_EQ(builder.getCapacity(), 768u); // never shrinks
    builder.reserve(769);
    EXPECT_EQ(builder.getCapacity(), 1024u);
    builder.reserve(1025);
    EXPECT_EQ(builder.getCapacity(), 1280u);

    const KVIRunList* list = builder.getList();
    ASSERT_EQ(list->count, 257u);
    for (std::uint32_t i = 0; i < 256; ++i) {
        EXPECT_EQ((*list)[i].start, static_cast<std::int32_t>(3 * i));
        EXPECT_EQ((*list)[i].end, static_cast<std::int32_t>(3 * i + 1));
    }
    EXPECT_EQ((*list)[256].start, 10000);

    // Emptying keeps the room; appending up to 1280 runs needs no more.
    builder.clear();
    EXPECT_EQ(builder.getCount(), 0u);
    EXPECT_EQ(builder.getCapacity(), 1280u);
    for (std::int32_t i = 0; i < 1280; ++i)
        builder.append(2 * i, 2 * i);
    EXPECT_EQ(builder.getCapacity(), 1280u);
    builder.append(5000, 5000);
    EXPECT_EQ(builder.getCapacity(), 1536u);
    EXPECT_EQ(builder.getCount(), 1281u);
}

TEST(KVIRunListBuilder, GrowthBeyondTheCapacityFieldThrowsOutOfMemoryAndFreesTheBlock) {
    KVIRunListBuilder builder;
    builder.append(1, 2);
    try {
        builder.reserve(0xFFFFFF01u); // rounds up to 2^32 runs
        FAIL() << "no exception";
    } catch (const Korvel::KVUtilException& e) {
        EXPECT_EQ(e.getStatus(), Korvel::KV_OUT_OF_MEMORY);
    }
    EXPECT_EQ(builder.getList(), nullptr);
    EXPECT_EQ(builder.getCapacity(), 0u);
    EXPECT_EQ(builder.getCount(), 0u);
    EXPECT_EQ(builder.copyList(), nullptr);
    builder.clear();
    // The builder can be used again: it allocates a fresh block.
    builder.append(4, 5);
    EXPECT_EQ(builder.getCapacity(), 256u);
    EXPECT_EQ(runsOf(builder.getList()), (Runs{{4, 5}}));
}

TEST(KVIRunListBuilder, AppendsARunPackedIn64Bits) {
    KVIRunListBuilder builder;
    builder.append((std::uint64_t{7} << 32) | std::uint32_t(-5)); // start in the low half
    builder.append(KVIRun{9, 12});
    EXPECT_EQ(runsOf(builder.getList()), (Runs{{-5, 7}, {9, 12}}));
}

TEST(KVIRunListBuilder, CopyListHoldsExactlyTheCurrentRuns) {
    KVIRunListBuilder builder;
    builder.append(1, 3);
    builder.append(5, 8);
    const KVIRunListPtr copy = builder.copyList();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(runsOf(copy.get()), (Runs{{1, 3}, {5, 8}}));
    builder.clear();
    builder.append(100, 200);
    EXPECT_EQ(runsOf(copy.get()), (Runs{{1, 3}, {5, 8}})); // independent of the builder
}

TEST(KVIRunListBuilder, IntersectsTheSpecExamples) {
    EXPECT_EQ(intersected({{0, 9}}, {{2, 3}, {5, 12}}), (Runs{{2, 3}, {5, 9}}));
    EXPECT_EQ(intersected({{0, 4}, {6, 9}}, {{4, 6}}), (Runs{{4, 4}, {6, 6}}));
    EXPECT_EQ(intersected({}, {{0, 9}}), Runs{});
    EXPECT_EQ(intersected({{0, 9}}, {}), Runs{});
    EXPECT_EQ(intersected({{0, 3}}, {{4, 9}}), Runs{});
    // Equal ends advance both cursors.
    EXPECT_EQ(intersected({{0, 3}, {5, 7}}, {{2, 3}, {6, 9}}), (Runs{{2, 3}, {6, 7}}));
}

TEST(KVIRunListBuilder, IntersectComparesColumnsAsSignedValues) {
    EXPECT_EQ(intersected({{INT32_MIN, -1}, {0, INT32_MAX}}, {{-5, 5}}), (Runs{{-5, -1}, {0, 5}}));
    EXPECT_EQ(
        intersected({{INT32_MIN, INT32_MAX}}, {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}}),
        (Runs{{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}}));
}

TEST(KVIRunListBuilder, IntersectAppendsAfterRunsAlreadyHeldAndIgnoresNullLists) {
    KVIRunListBuilder builder;
    builder.append(-100, -90);
    const KVIRunListPtr a = makeList({{0, 5}});
    const KVIRunListPtr b = makeList({{3, 8}});
    builder.intersect(a.get(), b.get());
    EXPECT_EQ(runsOf(builder.getList()), (Runs{{-100, -90}, {3, 5}}));
    builder.intersect(nullptr, b.get());
    builder.intersect(a.get(), nullptr);
    EXPECT_EQ(builder.getCount(), 2u);
}

TEST(KVIRunListBuilder, IntersectMatchesABitSetOracleOnRandomLists) {
    std::mt19937 rng(0x2121u);
    KVIRunListBuilder builder; // reused, as the merge kernels do
    for (int trial = 0; trial < 3000; ++trial) {
        const Runs a = randomRuns(rng);
        const Runs b = randomRuns(rng);
        const KVIRunListPtr la = makeList(a);
        const KVIRunListPtr lb = makeList(b);
        builder.clear();
        builder.intersect(la.get(), lb.get());
        const Runs got = runsOf(builder.getList());
        ASSERT_TRUE(wellFormed(got)) << "trial " << trial;
        ASSERT_EQ(columnsOf(got), columnsOf(a) & columnsOf(b)) << "trial " << trial;
        // Each step advances at least one cursor, so there are fewer runs than the two together.
        ASSERT_LE(got.size() + 1, std::max<std::size_t>(1, a.size() + b.size()));
    }
}

TEST(KVIRunListBuilder, IntersectOfLongListsGrowsTheBuilder) {
    // Every other column against everything: 1000 runs out, four growth steps.
    Runs a;
    for (std::int32_t i = 0; i < 1000; ++i)
        a.emplace_back(2 * i, 2 * i);
    EXPECT_EQ(intersected(a, {{INT32_MIN, INT32_MAX}}), a);
    KVIRunListBuilder builder;
    const KVIRunListPtr la = makeList(a);
    const KVIRunListPtr lb = makeList({{INT32_MIN, INT32_MAX}});
    builder.intersect(la.get(), lb.get());
    EXPECT_EQ(builder.getCapacity(), 1024u);
}

// --- KVIRunMask ----------------------------------------------------------------------------------

TEST(KVIRunMask, FreshMaskHasNoRows) {
    KVIRunMask mask;
    EXPECT_EQ(mask.getRowCount(), 0u);
    EXPECT_EQ(mask.reset(0), Korvel::KV_OK);
    EXPECT_EQ(mask.getRowCount(), 0u);
}

TEST(KVIRunMask, ResetGivesRowsWithoutRunsAndFreesTheOldLists) {
    KVIRunMask mask;
    ASSERT_EQ(mask.reset(3), Korvel::KV_OK);
    EXPECT_EQ(mask.getRowCount(), 3u);
    mask.setRow(1, makeList({{0, 4}}));
    ASSERT_EQ(mask.reset(5), Korvel::KV_OK); // the list of row 1 is freed (LeakSanitizer)
    EXPECT_EQ(mask.getRowCount(), 5u);
    for (std::uint32_t r = 0; r < 5; ++r)
        EXPECT_EQ(mask.getRow(r), nullptr);
    ASSERT_EQ(mask.reset(0), Korvel::KV_OK);
    EXPECT_EQ(mask.getRowCount(), 0u);
}

TEST(KVIRunMask, SetRowAdoptsListsWithRunsAndFreesEmptyOnes) {
    KVIRunMask mask;
    ASSERT_EQ(mask.reset(2), Korvel::KV_OK);
    KVIRunListPtr list = makeList({{3, 9}});
    const KVIRunList* raw = list.get();
    mask.setRow(0, std::move(list));
    EXPECT_EQ(mask.getRow(0), raw);
    mask.setRow(0, makeList({})); // replaced by an empty list: freed, the row null
    EXPECT_EQ(mask.getRow(0), nullptr);
    mask.setRow(1, makeList({{1, 1}}));
    mask.setRow(1, nullptr);
    EXPECT_EQ(mask.getRow(1), nullptr);
}

TEST(KVIRunMask, CopyKeepsEveryRowAndAnEmptyListAsAnEmptyList) {
    KVIRunMask source;
    ASSERT_EQ(source.reset(4), Korvel::KV_OK);
    source.setRow(0, makeList({{0, 2}, {5, 7}}));
    source.setRow(2, makeList({{4, 4}}));
    source.setRow(3, makeList({{8, 9}}));
    source.getRow(3)->count = 0; // a list emptied in place

    KVIRunMask copy;
    ASSERT_EQ(copy.reset(9), Korvel::KV_OK);
    copy.setRow(8, makeList({{1, 1}}));
    ASSERT_EQ(copy.copy(source), Korvel::KV_OK);
    ASSERT_EQ(copy.getRowCount(), 4u);
    EXPECT_EQ(runsOf(copy.getRow(0)), (Runs{{0, 2}, {5, 7}}));
    EXPECT_EQ(copy.getRow(1), nullptr);
    EXPECT_EQ(runsOf(copy.getRow(2)), (Runs{{4, 4}}));
    ASSERT_NE(copy.getRow(3), nullptr);
    EXPECT_EQ(copy.getRow(3)->count, 0u);
    EXPECT_NE(copy.getRow(0), source.getRow(0)); // lists of its own

    ASSERT_EQ(copy.copy(copy), Korvel::KV_OK); // onto itself: unchanged
    EXPECT_EQ(runsOf(copy.getRow(0)), (Runs{{0, 2}, {5, 7}}));

    KVIRunMask none;
    ASSERT_EQ(copy.copy(none), Korvel::KV_OK);
    EXPECT_EQ(copy.getRowCount(), 0u);
}

TEST(KVIRunMask, IntersectOfUnequalRowCountsKeepsTheLongerCountWithEmptyTail) {
    KVIRunMask ten;
    KVIRunMask four;
    ASSERT_EQ(ten.reset(10), Korvel::KV_OK);
    ASSERT_EQ(four.reset(4), Korvel::KV_OK);
    for (std::uint32_t r = 0; r < 10; ++r)
        ten.setRow(r, makeList({{0, 9}}));
    for (std::uint32_t r = 0; r < 4; ++r)
        four.setRow(r, makeList({{2, 3}, {5, 12}}));

    for (int order = 0; order < 2; ++order) {
        KVIRunMask result;
        ASSERT_EQ(order == 0 ? result.intersect(ten, four) : result.intersect(four, ten),
                  Korvel::KV_OK);
        ASSERT_EQ(result.getRowCount(), 10u);
        for (std::uint32_t r = 0; r < 4; ++r)
            EXPECT_EQ(runsOf(result.getRow(r)), (Runs{{2, 3}, {5, 9}})) << "row " << r;
        for (std::uint32_t r = 4; r < 10; ++r)
            EXPECT_EQ(result.getRow(r), nullptr) << "row " << r;
    }

    KVIRunMask empty;
    KVIRunMask result;
    ASSERT_EQ(result.intersect(empty, ten), Korvel::KV_OK);
    EXPECT_EQ(result.getRowCount(), 10u);
    for (std::uint32_t r = 0; r < 10; ++r)
        EXPECT_EQ(result.getRow(r), nullptr);
    ASSERT_EQ(result.intersect(empty, empty), Korvel::KV_OK);
    EXPECT_EQ(result.getRowCount(), 0u);
}

TEST(KVIRunMask, IntersectLeavesRowsWithoutCommonColumnsEmpty) {
    KVIRunMask a;
    KVIRunMask b;
    ASSERT_EQ(a.reset(3), Korvel::KV_OK);
    ASSERT_EQ(b.reset(3), Korvel::KV_OK);
    a.setRow(0, makeList({{0, 3}}));
    b.setRow(0, makeList({{4, 7}})); // disjoint
    a.setRow(1, makeList({{0, 3}}));
    b.setRow(1, makeList({{0, 0}}));
    b.getRow(1)->count = 0;          // emptied in place: counts as absent
    a.setRow(2, makeList({{0, 3}})); // b's row 2 is null
    KVIRunMask result;
    ASSERT_EQ(result.intersect(a, b), Korvel::KV_OK);
    ASSERT_EQ(result.getRowCount(), 3u);
    for (std::uint32_t r = 0; r < 3; ++r)
        EXPECT_EQ(result.getRow(r), nullptr);
}

// Random masks of unequal row counts, some rows null, against the row-wise oracle; also with the
// result being one of the sources.
TEST(KVIRunMask, IntersectMatchesABitSetOracleOnRandomMasks) {
    std::mt19937 rng(0x5EEDu);
    for (int trial = 0; trial < 60; ++trial) {
        const std::uint32_t rowsA = rng() % 40;
        const std::uint32_t rowsB = rng() % 40;
        std::vector<Runs> runsA(rowsA);
        std::vector<Runs> runsB(rowsB);
        KVIRunMask a;
        KVIRunMask b;
        ASSERT_EQ(a.reset(rowsA), Korvel::KV_OK);
        ASSERT_EQ(b.reset(rowsB), Korvel::KV_OK);
        for (std::uint32_t r = 0; r < rowsA; ++r) {
            runsA[r] = randomRuns(rng);
            a.setRow(r, makeList(runsA[r]));
        }
        for (std::uint32_t r = 0; r < rowsB; ++r) {
            runsB[r] = randomRuns(rng);
            b.setRow(r, makeList(runsB[r]));
        }

        const auto check = [&](const KVIRunMask& result) {
            ASSERT_EQ(result.getRowCount(), std::max(rowsA, rowsB));
            for (std::uint32_t r = 0; r < result.getRowCount(); ++r) {
                const Runs got = runsOf(result.getRow(r));
                ASSERT_TRUE(wellFormed(got));
                Columns want;
                if (r < rowsA && r < rowsB) want = columnsOf(runsA[r]) & columnsOf(runsB[r]);
                ASSERT_EQ(columnsOf(got), want) << "trial " << trial << " row " << r;
                // A row without common columns is null, never an empty list.
                if (want.none())
                    ASSERT_EQ(result.getRow(r), nullptr);
                else
                    ASSERT_EQ(result.getRow(r)->count, got.size());
            }
        };

        KVIRunMask result;
        ASSERT_EQ(result.intersect(a, b), Korvel::KV_OK);
        check(result);

        KVIRunMask copyOfA;
        ASSERT_EQ(copyOfA.copy(a), Korvel::KV_OK);
        ASSERT_EQ(copyOfA.intersect(copyOfA, b), Korvel::KV_OK); // the result is a source
        check(copyOfA);
        ASSERT_EQ(b.intersect(a, b), Korvel::KV_OK);
        check(b);
    }
}

} // namespace
