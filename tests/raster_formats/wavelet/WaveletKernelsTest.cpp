// Every kernel table this processor runs against plain loops written from the lifting and
// conversion rules: the same samples bit for bit over random lengths (1, 2, 3, odd ones, and
// those around every vector width), random start offsets and the whole 32-bit range.

#include "wavelet/WaveletKernels.h"
#include "RasterForwardWavelet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>

using namespace Korvel;

namespace {

std::int32_t wrap(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}
std::int32_t quarter(std::int32_t a, std::int32_t b) {
    return wrap(quarn_test::rasterRoundQuarter(wrap(std::int64_t(a) + b)));
}
std::int32_t half(std::int32_t a, std::int32_t b) {
    return wrap(quarn_test::rasterRoundHalf(wrap(std::int64_t(a) + b)));
}

// Samples small (as decoded images have them) or anywhere in 32 bits (as hostile files do).
std::vector<std::int32_t> samples(std::mt19937& rng, std::size_t n, bool wide) {
    std::vector<std::int32_t> v(n);
    for (std::int32_t& s : v)
        s = wide ? std::int32_t(rng()) : std::int32_t(rng() % 2001) - 1000;
    if (wide && n > 0) v[rng() % n] = rng() % 2 ? INT32_MIN : INT32_MAX;
    return v;
}

// Lengths 1 to 3, odd ones, and those on either side of 4, 8 and 16 samples at a time.
std::size_t pickLength(std::mt19937& rng) {
    static constexpr std::size_t kEdges[] = {1,  2,  3,  4,  5,  7,  8,  9,   15, 16,
                                             17, 31, 32, 33, 63, 64, 65, 127, 129};
    return rng() % 3 ? kEdges[rng() % std::size(kEdges)] : 1 + 2 * (rng() % 150);
}

// Inputs placed at a random offset in their buffers, so that no table may count on alignment.
struct Row {
    Row(std::mt19937& rng, std::vector<std::int32_t> v)
        : offset(rng() % 8), storage(v.size() + 8 + 1, 0x5A5A5A5A) {
        std::copy(v.begin(), v.end(), storage.begin() + std::ptrdiff_t(offset));
    }
    std::int32_t* data() { return storage.data() + offset; }
    std::size_t offset;
    std::vector<std::int32_t> storage;
};

} // namespace

TEST(WaveletKernelsTest, EveryTableThisProcessorRunsIsTheBaselineLoop) {
    const std::vector<const WaveletKernels*> tables = waveletKernelVariants();
    ASSERT_FALSE(tables.empty());
    EXPECT_STREQ(tables.front()->name, "baseline");
    EXPECT_EQ(&waveletKernels(), tables.back()) << "decoders take the widest table";
    for (const WaveletKernels* k : tables)
        RecordProperty(std::string("table_") + k->name, "run");

    std::mt19937 rng(31);
    for (const WaveletKernels* k : tables) {
        SCOPED_TRACE(k->name);
        for (int trial = 0; trial < 400; ++trial) {
            const std::size_t n = pickLength(rng);
            const bool wide = trial % 3 == 0;
            Row base(rng, samples(rng, n, wide)), refinement(rng, samples(rng, n, wide));
            Row above(rng, samples(rng, n, wide)), below(rng, samples(rng, n, wide));
            Row evenAbove(rng, samples(rng, n, wide));

            // The vertical update, with and without the refinement and the predict.
            for (int refined = 0; refined < 2; ++refined)
                for (int predict = 0; predict < 2; ++predict) {
                    Row even(rng, std::vector<std::int32_t>(n)), odd(rng, {});
                    odd.storage.resize(n + 9);
                    k->update[refined][predict](even.data(), predict ? odd.data() : nullptr,
                                                predict ? evenAbove.data() : nullptr, base.data(),
                                                refined ? refinement.data() : nullptr, above.data(),
                                                below.data(), n);
                    for (std::size_t i = 0; i < n; ++i) {
                        const std::int32_t low =
                            refined ? wrap(std::int64_t(base.data()[i]) + refinement.data()[i])
                                    : base.data()[i];
                        const std::int32_t e =
                            wrap(std::int64_t(low) - quarter(above.data()[i], below.data()[i]));
                        ASSERT_EQ(even.data()[i], e) << "update n " << n << " at " << i;
                        if (predict) {
                            ASSERT_EQ(odd.data()[i], wrap(std::int64_t(above.data()[i]) +
                                                          half(evenAbove.data()[i], e)))
                                << "update's predict n " << n << " at " << i;
                        }
                    }
                }

            Row out(rng, std::vector<std::int32_t>(n));
            k->predict(out.data(), base.data(), above.data(), below.data(), n);
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(out.data()[i], wrap(std::int64_t(base.data()[i]) +
                                              half(above.data()[i], below.data()[i])))
                    << "predict n " << n << " at " << i;

            // The horizontal synthesis: n lows, n + 1 highs.
            const std::vector<std::int32_t> lows = samples(rng, n, wide);
            const std::vector<std::int32_t> highs = samples(rng, n + 1, wide);
            Row low(rng, lows), high(rng, highs), synthesized(rng, {});
            synthesized.storage.resize(2 * n + 8);
            k->synthesize(low.data(), high.data(), n, synthesized.data());
            std::vector<std::int32_t> updated(n);
            for (std::size_t i = 0; i < n; ++i)
                updated[i] = wrap(std::int64_t(lows[i]) - quarter(highs[i], highs[i + 1]));
            for (std::size_t i = 0; i + 1 < 2 * n; ++i) {
                const std::int32_t want = i % 2 == 0
                                              ? updated[i / 2]
                                              : wrap(std::int64_t(highs[i / 2 + 1]) +
                                                     half(updated[i / 2], updated[i / 2 + 1]));
                ASSERT_EQ(synthesized.data()[i], want) << "synthesis n " << n << " at " << i;
            }

            // The conversions, into an output placed at an odd byte too.
            const struct {
                WaveletClampType type;
                std::int64_t lowest, highest;
                unsigned bytes;
                bool isSigned;
            } types[] = {{kWaveletClampU8, 0, 255, 1, false},
                         {kWaveletClampS8, -128, 127, 1, true},
                         {kWaveletClampU16, 0, 65535, 2, false},
                         {kWaveletClampS16, -32768, 32767, 2, true}};
            for (const auto& t : types) {
                std::uniform_int_distribution<std::int64_t> within(t.lowest, t.highest);
                std::int64_t lo = within(rng), hi = within(rng);
                if (lo > hi) std::swap(lo, hi);
                std::vector<std::uint8_t> bytes(n * t.bytes + 1, 0xA5);
                k->clamp[t.type](base.data(), n, std::int32_t(lo), std::int32_t(hi),
                                 bytes.data() + (t.bytes == 1 ? 1 : 0));
                for (std::size_t i = 0; i < n; ++i) {
                    const std::int64_t want =
                        std::min<std::int64_t>(std::max<std::int64_t>(base.data()[i], lo), hi);
                    std::int64_t got = 0;
                    if (t.bytes == 1) {
                        const std::uint8_t b = bytes[1 + i];
                        got = t.isSigned ? std::int8_t(b) : b;
                    } else {
                        std::uint16_t v;
                        std::memcpy(&v, bytes.data() + 2 * i, 2);
                        got = t.isSigned ? std::int16_t(v) : v;
                    }
                    ASSERT_EQ(got, want) << "clamp " << int(t.type) << " n " << n << " at " << i;
                }
            }
            const float scale = float(std::int32_t(rng() % 2001) - 1000) / 64.0f;
            const float offset = float(std::int32_t(rng() % 2001) - 1000) / 8.0f;
            std::vector<float> floats(n);
            k->scale(base.data(), n, scale, offset, floats.data());
            for (std::size_t i = 0; i < n; ++i) {
                const float product = static_cast<float>(base.data()[i]) * scale;
                const float want = product + offset;
                ASSERT_EQ(std::memcmp(&floats[i], &want, sizeof want), 0)
                    << "scale n " << n << " at " << i;
            }
        }
    }
}
