// Speed of the raster subblock decoder: MQ decisions and coefficients per second over the coded
// 64 x 64 subblocks of a lossless 8-bit image of natural-looking statistics (a smooth field
// with texture and noise, five levels of the reversible 5/3 wavelet), and the MQ decoder alone
// on a long segment of skewed decisions. The subblocks are coded once by the test-side coder.

#include "MQEncoder.h"
#include "RasterSubblockEncoder.h"
#include "qg3/planes/QG3PlaneRecord.h"
#include "wavelet/KVMQDecoder.h"
#include "wavelet/SubblockDecode.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace quarn_test;

namespace {

constexpr int kSize = 512;
constexpr int kLevels = 5;
constexpr int kBlock = 64;

// A smooth field, a fine texture and noise, rounded to 8 bits.
std::vector<std::int32_t> naturalImage() {
    std::vector<std::int32_t> image(kSize * kSize);
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double smooth = 120 + 70 * std::sin(x / 61.0) * std::cos(y / 47.0) +
                                  30 * std::sin((x + 2 * y) / 113.0);
            const double texture = 9 * std::sin(x * 0.71 + std::sin(y * 0.13) * 3) *
                                   std::sin(y * 0.53 + std::cos(x * 0.07) * 2);
            const double v = std::round(smooth + texture + noise(rng));
            image[y * kSize + x] = static_cast<std::int32_t>(std::clamp(v, 0.0, 255.0));
        }
    return image;
}

int floorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// One reversible 5/3 lifting of n samples step apart: lows to the front, highs behind them,
// with whole-sample symmetric extension.
void lift(std::int32_t* x, int n, int step) {
    if (n < 2) return;
    std::vector<std::int32_t> s(n);
    for (int i = 0; i < n; ++i)
        s[i] = x[i * step];
    auto at = [&](int i) { return s[i < 0 ? -i : i >= n ? 2 * (n - 1) - i : i]; };
    const int highs = n / 2, lows = (n + 1) / 2;
    std::vector<std::int32_t> h(highs), l(lows);
    for (int i = 0; i < highs; ++i)
        h[i] = at(2 * i + 1) - floorDiv(at(2 * i) + at(2 * i + 2), 2);
    for (int i = 0; i < lows; ++i) {
        const std::int32_t before = h[std::max(i - 1, 0)];
        const std::int32_t after = h[std::min(i, highs - 1)];
        l[i] = at(2 * i) + floorDiv(before + after + 2, 4);
    }
    for (int i = 0; i < lows; ++i)
        x[i * step] = l[i];
    for (int i = 0; i < highs; ++i)
        x[(lows + i) * step] = h[i];
}

struct CodedSubblock {
    Korvel::SubblockGeometry geometry;
    std::vector<std::vector<std::uint8_t>> bytes;
    std::vector<Korvel::QG3PlaneRecord> records;
};

struct CodedImage {
    std::vector<CodedSubblock> subblocks;
    std::uint64_t decisions = 0;
    std::uint64_t coefficients = 0;
};

// Codes a w x h region of the transformed image (rows kSize apart) as subblocks of a subband.
void codeSubband(const std::vector<std::int32_t>& t, int x0, int y0, int w, int h, unsigned subband,
                 CodedImage& image) {
    for (int by = 0; by < h; by += kBlock)
        for (int bx = 0; bx < w; bx += kBlock) {
            const int bw = std::min(kBlock, w - bx), bh = std::min(kBlock, h - by);
            std::vector<std::int32_t> block(bw * bh);
            for (int y = 0; y < bh; ++y)
                for (int x = 0; x < bw; ++x)
                    block[y * bw + x] = t[(y0 + by + y) * kSize + x0 + bx + x];
            RasterSubblockOptions options;
            options.subband = subband;
            const RasterSubblockCode code =
                encodeRasterSubblock(block.data(), bw, bw, bh, {0, 0, bw - 1, bh - 1}, options);
            CodedSubblock s;
            s.geometry.bandCount = 1;
            s.geometry.subband = static_cast<std::uint8_t>(subband);
            s.geometry.width = static_cast<std::uint16_t>(bw);
            s.geometry.height = static_cast<std::uint16_t>(bh);
            s.geometry.decoded.x1 = bw - 1;
            s.geometry.decoded.y1 = bh - 1;
            s.records.resize(32);
            for (int p = 0; p < 32; ++p) {
                const RasterPlane& plane = code.planes[p];
                if (!plane.filled) continue;
                s.bytes.push_back(plane.bytes);
                s.records[p].flags = Korvel::QG3PlaneRecord::kFilled;
            }
            image.decisions += code.decisions;
            image.coefficients += std::uint64_t(bw) * bh;
            image.subblocks.push_back(std::move(s));
        }
}

const CodedImage& codedImage() {
    static const CodedImage image = [] {
        std::vector<std::int32_t> t = naturalImage();
        int w = kSize, h = kSize;
        CodedImage coded;
        std::vector<std::array<int, 5>> details; // x0, y0, w, h, subband
        for (int m = kLevels - 1; m >= 0; --m) {
            for (int y = 0; y < h; ++y)
                lift(&t[y * kSize], w, 1);
            for (int x = 0; x < w; ++x)
                lift(&t[x], h, kSize);
            const int lw = (w + 1) / 2, lh = (h + 1) / 2;
            details.push_back({lw, 0, w - lw, lh, 4 * m + 2});
            details.push_back({0, lh, lw, h - lh, 4 * m + 3});
            details.push_back({lw, lh, w - lw, h - lh, 4 * m + 4});
            w = lw;
            h = lh;
        }
        codeSubband(t, 0, 0, w, h, 0, coded);
        for (const auto& d : details)
            codeSubband(t, d[0], d[1], d[2], d[3], static_cast<unsigned>(d[4]), coded);
        // Point the records at their bytes once the subblocks stay put.
        for (CodedSubblock& s : coded.subblocks) {
            std::size_t k = 0;
            for (Korvel::QG3PlaneRecord& r : s.records) {
                if (!r.filled()) continue;
                r.data = s.bytes[k].data();
                r.length = static_cast<std::uint32_t>(s.bytes[k].size());
                ++k;
            }
        }
        return coded;
    }();
    return image;
}

void BM_SubblockDecode(benchmark::State& state) {
    const CodedImage& image = codedImage();
    std::vector<std::int32_t> out(kBlock * kBlock);
    std::int32_t* outputs[1] = {out.data()};
    for (auto _ : state) {
        for (const CodedSubblock& s : image.subblocks) {
            Korvel::SubblockDecode decoder(s.geometry);
            decoder.decode(s.records.data(), 32, outputs, s.geometry.width);
            benchmark::DoNotOptimize(out.data());
        }
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["decisions/s"] = benchmark::Counter(
        static_cast<double>(image.decisions) * iterations, benchmark::Counter::kIsRate);
    state.counters["coefficients/s"] = benchmark::Counter(
        static_cast<double>(image.coefficients) * iterations, benchmark::Counter::kIsRate);
    state.counters["decisions/coefficient"] =
        static_cast<double>(image.decisions) / static_cast<double>(image.coefficients);
}
BENCHMARK(BM_SubblockDecode)->Unit(benchmark::kMillisecond);

// The MQ decoder alone: a million decisions over the 19 contexts, most of them in the
// zero-coding contexts and most of those the MPS, as in a subblock's planes.
void BM_MQDecode(benchmark::State& state) {
    static const auto segment = [] {
        std::mt19937 rng(9);
        std::vector<unsigned> contexts(1000000);
        std::vector<unsigned> decisions(contexts.size());
        MQEncoder encoder;
        encoder.setContext(0, 4, 0);
        for (std::size_t i = 0; i < contexts.size(); ++i) {
            const unsigned r = rng() % 100;
            contexts[i] = r < 70 ? 0 : r < 85 ? 1 + rng() % 8 : 9 + rng() % 8;
            decisions[i] = rng() % 100 < (contexts[i] == 0 ? 4u : 30u) ? 1 : 0;
            encoder.encode(contexts[i], decisions[i]);
        }
        return std::make_pair(contexts, encoder.flush(false));
    }();
    const std::vector<unsigned>& contexts = segment.first;
    const std::vector<std::uint8_t>& bytes = segment.second;
    for (auto _ : state) {
        Korvel::KVMQDecoder decoder;
        decoder.initDec(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        unsigned sum = 0;
        for (unsigned cx : contexts)
            sum += decoder.decode(cx);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["decisions/s"] = benchmark::Counter(static_cast<double>(contexts.size()) *
                                                           static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MQDecode)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
