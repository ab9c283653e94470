// The single-precision synthesis against two plain references written here: a whole-signal
// single-precision inverse (bit for bit: same operations in the same order, so the windowed,
// strip-wise and batched forms may differ from it in nothing), and the writer's double-precision
// inverse (within a rounding bound).

#include "qg2/QG2Synthesis.h"
#include "QG2ImageWriter.h"
#include "qg2/QG2Status.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace Korvel {
namespace {

using quarn_test::QG2Plane;

// The constants from the bit patterns the format gives them.
const float kC1 = std::bit_cast<float>(0x3EE31354u);
const float kC2 = std::bit_cast<float>(0x3F620676u);
const float kC3 = std::bit_cast<float>(0x3D5901AEu);
const float kC4 = std::bit_cast<float>(0x3FCB0674u);

// Whole signal, whole-sample symmetric extension, each step x -/+ (a + b) x c in floats.
std::vector<float> inverseLine(const std::vector<float>& low, const std::vector<float>& high) {
    const std::size_t n = low.size() + high.size();
    if (n == 1) return low;
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = i % 2 == 0 ? low[i / 2] : high[i / 2];
    const auto m = [&](std::int64_t i) {
        const std::int64_t p = 2 * (static_cast<std::int64_t>(n) - 1);
        i = ((i % p) + p) % p;
        return static_cast<std::size_t>(i > static_cast<std::int64_t>(n) - 1 ? p - i : i);
    };
    const auto lift = [&](std::size_t parity, float c, bool add) {
        for (std::size_t i = parity; i < n; i += 2) {
            const float t = (x[m(std::int64_t(i) - 1)] + x[m(std::int64_t(i) + 1)]) * c;
            x[i] = add ? x[i] + t : x[i] - t;
        }
    };
    lift(0, kC1, false);
    lift(1, kC2, false);
    lift(0, kC3, true);
    lift(1, kC4, true);
    return x;
}

// The image a set of subbands (file order) gives at level skip, or magnify levels above 0, in
// single precision: each level's columns, then its rows.
QG2Plane inverseImage(const std::vector<QG2Plane>& subbands, std::uint32_t levels,
                      std::uint32_t skip, std::uint32_t magnify) {
    std::vector<float> a(1);
    std::uint32_t w = subbands[0].width, h = subbands[0].height;
    a.assign(subbands[0].samples.begin(), subbands[0].samples.end());
    const auto level = [&](const QG2Plane* hl, const QG2Plane* lh, const QG2Plane* hh,
                           std::uint32_t w2, std::uint32_t h2) {
        // Columns: rows of the low part then the high part; x beyond w from HL / HH.
        std::vector<float> cols(std::size_t{w2} * h2);
        for (std::uint32_t x = 0; x < w2; ++x) {
            std::vector<float> lo, hi;
            for (std::uint32_t y = 0; y < h; ++y)
                lo.push_back(x < w ? a[std::size_t{y} * w + x]
                                   : (hl ? float(hl->at(x - w, y)) : 0.0f));
            for (std::uint32_t y = 0; y < h2 - h; ++y)
                hi.push_back(x < w ? (lh ? float(lh->at(x, y)) : 0.0f)
                                   : (hh ? float(hh->at(x - w, y)) : 0.0f));
            const std::vector<float> c = inverseLine(lo, hi);
            for (std::uint32_t y = 0; y < h2; ++y)
                cols[std::size_t{y} * w2 + x] = c[y];
        }
        for (std::uint32_t y = 0; y < h2; ++y) {
            const std::vector<float> lo(cols.begin() + std::size_t{y} * w2,
                                        cols.begin() + std::size_t{y} * w2 + w);
            const std::vector<float> hi(cols.begin() + std::size_t{y} * w2 + w,
                                        cols.begin() + std::size_t{y + 1} * w2);
            const std::vector<float> r = inverseLine(lo, hi);
            std::copy(r.begin(), r.end(), cols.begin() + std::size_t{y} * w2);
        }
        a = std::move(cols);
        w = w2;
        h = h2;
    };
    for (std::uint32_t j = levels; j > skip; --j) {
        const std::size_t first = 1 + 3 * std::size_t{levels - j};
        level(&subbands[first], &subbands[first + 1], &subbands[first + 2],
              w + subbands[first].width, h + subbands[first + 1].height);
    }
    for (std::uint32_t k = 0; k < magnify; ++k)
        level(nullptr, nullptr, nullptr, 2 * w, 2 * h);
    return QG2Plane{w, h, std::vector<double>(a.begin(), a.end())};
}

// Random subbands of a width x height image (file order, the forward transform's sizes).
std::vector<QG2Plane> randomSubbands(std::uint32_t width, std::uint32_t height,
                                     std::uint32_t levels, std::mt19937& rng) {
    std::vector<QG2Plane> subbands = quarn_test::qg2Forward97(
        QG2Plane{width, height, std::vector<double>(width * height)}, levels);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    for (QG2Plane& s : subbands)
        for (double& v : s.samples)
            v = value(rng);
    return subbands;
}

// The tree of rect at level, its leaves filled from the subbands, synthesised.
std::unique_ptr<QG2Subband> synthesised(const std::vector<QG2Plane>& subbands, std::uint32_t levels,
                                        std::uint32_t width, std::uint32_t height,
                                        const KVIRect& rect, std::int32_t level) {
    auto tree = QG2Subband::buildTree(rect, level, levels, width, height, 1);
    tree->forEachLeaf([&](QG2Subband& leaf) {
        leaf.allocatePlanes();
        if (leaf.getRect().isEmpty() || leaf.getLeafNumber() >= subbands.size()) return;
        const QG2Plane& s = subbands[leaf.getLeafNumber()];
        const KVIRect& r = leaf.getRect();
        EXPECT_EQ(leaf.getFullWidth() * 10000 + leaf.getFullHeight(), s.width * 10000 + s.height);
        for (std::int32_t y = r.y0; y <= r.y1; ++y)
            for (std::int32_t x = r.x0; x <= r.x1; ++x)
                leaf.row(0, y - r.y0)[x - r.x0] = static_cast<float>(s.at(x, y));
    });
    qg2Synthesise(*tree, nullptr);
    return tree;
}

TEST(QG2Synthesis, LiftingConstantsHaveTheirBitPatterns) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(QG2Lifting::kStep1), 0x3EE31354u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(QG2Lifting::kStep2), 0x3F620676u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(QG2Lifting::kStep3), 0x3D5901AEu);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(QG2Lifting::kStep4), 0x3FCB0674u);
    // The decimal values name them.
    EXPECT_EQ(QG2Lifting::kStep1, 0.44350684f);
    EXPECT_EQ(QG2Lifting::kStep2, 0.8829111f);
    EXPECT_EQ(QG2Lifting::kStep3, 0.052980117f);
    EXPECT_EQ(QG2Lifting::kStep4, 1.5861344f);
}

TEST(QG2Synthesis, LinePartsGiveTheWholeSignalsSamplesBitForBit) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
    std::vector<float> scratch;
    for (std::int64_t n = 1; n <= 40; ++n) {
        std::vector<float> low((n + 1) / 2), high(n / 2);
        for (float& v : low)
            v = value(rng);
        for (float& v : high)
            v = value(rng);
        const std::vector<float> whole = inverseLine(low, high);
        for (std::int64_t first = 0; first < n; ++first) {
            for (std::int64_t last = first; last < n; last += 1 + (last % 3)) {
                // The parts a parent range needs, as the subband tree cuts them.
                const auto tree =
                    QG2Subband::buildTree(KVIRect{std::int32_t(first), 0, std::int32_t(last), 0}, 0,
                                          1, std::uint32_t(n), 1, 1);
                const KVIRect lo = tree->child(0, 0)->getRect();
                const KVIRect hi = tree->child(1, 0)->getRect();
                QG2LineSpan span{
                    n,     lo.x0, lo.x1 - lo.x0 + 1, hi.x0, std::max(hi.x1 - hi.x0 + 1, 0),
                    first, last};
                std::vector<float> out(std::size_t(last - first + 1), -7.0f);
                qg2SynthesiseLine(low.data() + lo.x0, high.data() + std::max(hi.x0, 0), span,
                                  out.data(), scratch);
                for (std::int64_t p = first; p <= last; ++p)
                    ASSERT_EQ(std::bit_cast<std::uint32_t>(out[p - first]),
                              std::bit_cast<std::uint32_t>(whole[p]))
                        << n << " " << first << ".." << last << " at " << p;
            }
        }
    }
}

// Any rectangle at any level, odd and even sizes: the tree's parts, synthesised, give exactly the
// whole image's samples; and they lie within a rounding bound of the double-precision inverse.
TEST(QG2Synthesis, RectanglesMatchTheWholeImageBitForBitAndDoublePrecisionClosely) {
    std::mt19937 rng(11);
    double worst = 0.0;
    for (int round = 0; round < 80; ++round) {
        const std::uint32_t width = 1 + rng() % 45, height = 1 + rng() % 45;
        const std::uint32_t levels = rng() % 5;
        const std::vector<QG2Plane> subbands = randomSubbands(width, height, levels, rng);
        const std::int32_t level = static_cast<std::int32_t>(rng() % (levels + 2)) - 1;
        const auto skip = static_cast<std::uint32_t>(std::max(level, 0));
        const auto magnify = static_cast<std::uint32_t>(std::max(-level, 0));
        const QG2Plane whole = inverseImage(subbands, levels, skip, magnify);
        const QG2Plane exact = quarn_test::qg2Inverse97(subbands, levels, skip, magnify);
        ASSERT_EQ(whole.width * 1000 + whole.height, exact.width * 1000 + exact.height);

        // A rounding bound, in units of 2^-24 (single precision's unit roundoff) of the largest
        // magnitude M among the coefficients and the result: each one-dimensional pass rounds
        // each sample 12 times (four steps of a sum, a product and an update), on values that
        // stay within 8 M, and passes an incoming error on at most doubled; so n passes stay
        // within n x 12 x 8 x 2^n of them. (Over 600 random cases the worst used about 1%.)
        double magnitude = 0.0;
        for (const QG2Plane& s : subbands)
            for (double v : s.samples)
                magnitude = std::max(magnitude, std::fabs(v));
        for (double v : exact.samples)
            magnitude = std::max(magnitude, std::fabs(v));
        const int passes = 2 * static_cast<int>(levels - skip + magnify);
        const double tolerance =
            passes * 12 * 8 * std::pow(2.0, passes) * std::ldexp(1.0, -24) * magnitude;
        for (std::size_t i = 0; i < whole.samples.size(); ++i) {
            const double error = std::fabs(whole.samples[i] - exact.samples[i]);
            worst = std::max(worst, error / tolerance);
            ASSERT_LE(error, tolerance) << round;
        }

        for (int r = 0; r < 4; ++r) {
            const std::uint32_t x0 = rng() % whole.width, y0 = rng() % whole.height;
            const std::uint32_t x1 = x0 + rng() % (whole.width - x0);
            const std::uint32_t y1 = y0 + rng() % (whole.height - y0);
            const KVIRect rect{std::int32_t(x0), std::int32_t(y0), std::int32_t(x1),
                               std::int32_t(y1)};
            const auto tree = synthesised(subbands, levels, width, height, rect, level);
            ASSERT_TRUE(tree->isLeaf());
            for (std::uint32_t y = y0; y <= y1; ++y)
                for (std::uint32_t x = x0; x <= x1; ++x)
                    ASSERT_EQ(tree->row(0, y - y0)[x - x0], static_cast<float>(whole.at(x, y)))
                        << round << " " << width << "x" << height << " L" << levels << " r" << level
                        << " at " << x << "," << y;
        }
    }
    // How much of the bound the worst sample used.
    RecordProperty("worstShareOfBound", std::to_string(worst));
}

// The vectorised passes against the same plain reference where they run in full: rows and
// columns wider than a batch of columns and than a vector, with lone samples and odd tails, any
// rectangle (a strip's edges among them) at any level.
TEST(QG2Synthesis, WideAndNarrowPlanesMatchTheWholeImageBitForBit) {
    std::mt19937 rng(29);
    const std::uint32_t widths[] = {1, 2, 3, 5, 131, 257, 300, 517};
    for (int round = 0; round < 24; ++round) {
        const std::uint32_t width = round < 8 ? widths[round] : 1 + rng() % 600;
        const std::uint32_t height = round % 3 == 0 ? 1 + rng() % 3 : 1 + rng() % 70;
        const std::uint32_t levels = 1 + rng() % 4;
        const std::vector<QG2Plane> subbands = randomSubbands(width, height, levels, rng);
        const std::int32_t level =
            static_cast<std::int32_t>(rng() % (levels + 1)) - (round % 4 == 0);
        const QG2Plane whole = inverseImage(subbands, levels, std::uint32_t(std::max(level, 0)),
                                            std::uint32_t(std::max(-level, 0)));
        for (int r = 0; r < 3; ++r) {
            const std::uint32_t x0 = r == 0 ? 0 : rng() % whole.width;
            const std::uint32_t y0 = r == 0 ? 0 : rng() % whole.height;
            const std::uint32_t x1 = r == 0 ? whole.width - 1 : x0 + rng() % (whole.width - x0);
            const std::uint32_t y1 = r == 0 ? whole.height - 1 : y0 + rng() % (whole.height - y0);
            const auto tree = synthesised(
                subbands, levels, width, height,
                KVIRect{std::int32_t(x0), std::int32_t(y0), std::int32_t(x1), std::int32_t(y1)},
                level);
            for (std::uint32_t y = y0; y <= y1; ++y)
                for (std::uint32_t x = x0; x <= x1; ++x)
                    ASSERT_EQ(std::bit_cast<std::uint32_t>(tree->row(0, y - y0)[x - x0]),
                              std::bit_cast<std::uint32_t>(static_cast<float>(whole.at(x, y))))
                        << width << "x" << height << " L" << levels << " r" << level << " at " << x
                        << "," << y;
        }
    }
}

} // namespace
} // namespace Korvel
