// The reversible colour transform against a plain 64-bit evaluation of its lifting steps, its
// round trips on both sides of the thresholds where the evaluation changes, the code map and the
// band-selection rule.

#include "wavelet/ReversibleColorTransform.h"
#include "qg3/container/QG3ImageInfo.h"
#include "wavelet/BandBufferSet.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

namespace Korvel {
namespace {

using Triple = std::array<std::int32_t, 3>;

// R(p) = floor((p + 8192) / 16384), in 64 bits.
std::int64_t round14(std::int64_t p) {
    const std::int64_t n = p + 8192;
    return n >= 0 ? n / 16384 : -((-n + 16383) / 16384);
}

// The forward lifting steps written out in 64 bits.
Triple referenceForward(const Triple& in) {
    const std::int64_t a = in[0], b = in[1], c = in[2];
    const std::int64_t u = a - b, w = c - b;
    const std::int64_t t1 = b + round14(24279 * w - 11469 * u);
    const std::int64_t t2 = u + round14(-22640 * w);
    const std::int64_t b1 = w + round14(19309 * t2);
    return {static_cast<std::int32_t>(t1 + t2), static_cast<std::int32_t>(b1),
            static_cast<std::int32_t>(round14(19637 * b1) - t2)};
}

Triple run(void (*transform)(std::int32_t* const*, std::size_t, std::size_t), Triple t) {
    std::int32_t* planes[3] = {&t[0], &t[1], &t[2]};
    transform(planes, 1, 1);
    return t;
}

TEST(ColorRounding, WorkedValuesAndBothEvaluations) {
    using namespace ColorRounding;
    EXPECT_EQ(direct(8192), 1);
    EXPECT_EQ(direct(8191), 0);
    EXPECT_EQ(direct(-8192), 0);
    EXPECT_EQ(direct(-8193), -1);
    EXPECT_EQ(split(1, 8192), 1);
    EXPECT_EQ(split(1, 8191), 0);
    EXPECT_EQ(split(1, -8192), 0);
    EXPECT_EQ(split(1, -8193), -1);

    // Wherever the direct evaluation is valid, both give R exactly; the split one also beyond.
    const std::int32_t constants[] = {24279, 11469, -22640, 19309, 19637};
    std::mt19937 rng(1);
    for (int i = 0; i < 200000; ++i) {
        const std::int32_t k = constants[rng() % 5];
        const std::int32_t x = static_cast<std::int32_t>(rng() % 88001) - 44000;
        const std::int64_t p = std::int64_t(k) * x;
        ASSERT_EQ(split(k, x), round14(p)) << k << " " << x;
        if (p >= -(std::int64_t(1) << 30) - 8192 && p < (std::int64_t(1) << 30) - 8192) {
            ASSERT_EQ(direct(static_cast<std::int32_t>(p)), round14(p)) << p;
        }
        const std::int32_t y = static_cast<std::int32_t>(rng() % 88001) - 44000;
        const std::int64_t q = 24279 * std::int64_t(x) - 11469 * std::int64_t(y);
        ASSERT_EQ(split(24279, x, 11469, y), round14(q));
        const std::int32_t big = static_cast<std::int32_t>(rng() % 2000001) - 1000000;
        ASSERT_EQ(split(19309, big), round14(19309 * std::int64_t(big)));
    }
}

TEST(ReversibleColorTransform, ZerosStayZeros) {
    EXPECT_EQ(run(liftColorForward, {0, 0, 0}), (Triple{0, 0, 0}));
    EXPECT_EQ(run(liftColorInverse, {0, 0, 0}), (Triple{0, 0, 0}));
}

TEST(ReversibleColorTransform, RoundTripsOnBothSidesOfTheThresholds) {
    std::mt19937 rng(141);
    const std::int32_t limit = 1 << 20;
    auto uniform = [&](std::int32_t lo, std::int32_t hi) {
        return lo + static_cast<std::int32_t>(rng() % std::uint32_t(hi - lo + 1));
    };
    int directInverse = 0, splitInverse = 0;
    std::vector<Triple> triples;
    for (int i = 0; i < 300000; ++i) {
        Triple t;
        switch (i % 4) {
        case 0: // anywhere within +-2^20
            t = {uniform(-limit, limit), uniform(-limit, limit), uniform(-limit, limit)};
            break;
        case 1: { // a - b and c - b around the forward threshold 19911
            const std::int32_t b = uniform(-limit / 2, limit / 2);
            const std::int32_t du = uniform(19900, 19922) * (rng() % 2 != 0 ? 1 : -1);
            const std::int32_t dw = rng() % 2 != 0 ? uniform(-19922, 19922) : du;
            t = {b + du, b, b + dw};
            break;
        }
        default: // the inverse's inputs around its threshold 18876
            t = {uniform(-limit, limit), uniform(18860, 18890) * (rng() % 2 != 0 ? 1 : -1),
                 rng() % 2 != 0 ? uniform(-18890, 18890) : uniform(18860, 18890)};
        }
        triples.push_back(t);
    }
    for (const Triple& t : triples) {
        const Triple forward = run(liftColorForward, t);
        ASSERT_EQ(forward, referenceForward(t));
        ASSERT_EQ(run(liftColorInverse, forward), t);
        // The inverse is a bijection too: forward undoes it.
        const Triple inverse = run(liftColorInverse, t);
        ASSERT_EQ(run(liftColorForward, inverse), t);
        const bool direct = std::abs(t[1]) <= 18876 && std::abs(t[2]) <= 18876;
        (direct ? directInverse : splitInverse) += 1;
    }
    EXPECT_GT(directInverse, 1000);
    EXPECT_GT(splitInverse, 1000);
}

TEST(ReversibleColorTransform, RunsOverStridedPlanes) {
    std::vector<std::int32_t> samples(3 * 50);
    std::mt19937 rng(2);
    for (std::int32_t& s : samples)
        s = static_cast<std::int32_t>(rng() % 60001) - 30000;
    const std::vector<std::int32_t> original = samples;
    // Three interleaved planes, stride 3.
    std::int32_t* planes[3] = {&samples[0], &samples[1], &samples[2]};
    applyColorTransform(ColorTransformCode::Forward, planes, 3, 3, 50);
    for (std::size_t i = 0; i < 50; ++i) {
        const Triple t{original[3 * i], original[3 * i + 1], original[3 * i + 2]};
        ASSERT_EQ((Triple{samples[3 * i], samples[3 * i + 1], samples[3 * i + 2]}),
                  referenceForward(t));
    }
    applyColorTransform(ColorTransformCode::InverseSecond, planes, 3, 3, 50);
    EXPECT_EQ(samples, original);
    applyColorTransform(ColorTransformCode::ForwardSecond, planes, 3, 3, 50);
    applyColorTransform(ColorTransformCode::Inverse, planes, 3, 3, 50);
    EXPECT_EQ(samples, original);
    // Code 1, unknown codes and fewer than three bands change nothing.
    for (std::uint32_t code : {1u, 0u, 2u, 254u, 255u})
        applyColorTransform(code, planes, 3, 3, 50);
    applyColorTransform(ColorTransformCode::Forward, planes, 2, 3, 50);
    EXPECT_EQ(samples, original);
}

TEST(ReversibleColorTransform, CodeMap) {
    for (std::uint32_t code = 0; code < 300; ++code) {
        std::uint32_t expected = 254;
        if (code == 1) expected = 1;
        if (code == 4) expected = 10;
        if (code == 10) expected = 4;
        if (code == 7) expected = 13;
        if (code == 13) expected = 7;
        EXPECT_EQ(inverseColorTransformCode(code), expected) << code;
    }
}

QG3ImageInfo threeBands(std::uint32_t code) {
    QG3ImageInfo info;
    EXPECT_EQ(info.bandSet.resizeAll(3), KV_OK);
    info.colorTransform = code;
    return info;
}

TEST(BandBufferSet, UndoesTheStoredCodeOnlyWithEveryBandSelected) {
    for (std::uint32_t stored : {4u, 7u, 10u, 13u}) {
        const QG3ImageInfo info = threeBands(stored);
        std::unique_ptr<BandBufferSet> set = BandBufferSet::create(info);
        ASSERT_TRUE(set);
        EXPECT_TRUE(set->isNeeded());
        EXPECT_EQ(set->code(), inverseColorTransformCode(stored));
        EXPECT_EQ(set->bandCount(), 3);
        EXPECT_NE(set->bandPlanes(), nullptr);

        QG3ImageInfo subset = threeBands(stored);
        subset.bandSet.clearAll();
        subset.bandSet.set(0);
        subset.bandSet.set(2);
        std::unique_ptr<BandBufferSet> none = BandBufferSet::create(subset);
        ASSERT_TRUE(none);
        EXPECT_FALSE(none->isNeeded());
        EXPECT_EQ(none->code(), ColorTransformCode::None);
        EXPECT_EQ(none->bandPlanes(), nullptr);
    }
    std::unique_ptr<BandBufferSet> plain = BandBufferSet::create(threeBands(1));
    EXPECT_FALSE(plain->isNeeded());
    EXPECT_EQ(plain->code(), 1u);

    // An unknown code with every band selected: a transform is asked for, but its code names
    // none, so applying it leaves the samples as they are.
    std::unique_ptr<BandBufferSet> unknown = BandBufferSet::create(threeBands(254));
    EXPECT_TRUE(unknown->isNeeded());
    EXPECT_EQ(unknown->code(), 254u);
    Triple t{100, -200, 300};
    std::int32_t* planes[3] = {&t[0], &t[1], &t[2]};
    applyColorTransform(unknown->code(), planes, 3, 1, 1);
    EXPECT_EQ(t, (Triple{100, -200, 300}));
}

} // namespace
} // namespace Korvel
