// Points per second of the LiDAR point decoder: a cloud of a million points decoded whole, for
// each coding family (MQ integer: six integer-coded channels; MQ and deflate floating point: three
// double and two float channels), through the point reader's iterator as a caller uses it. The
// files are written once by the test writers. Beside it, the kernel's MQ decoder alone in
// decisions per second.

#include "KernelMQDecoder.h"
#include "LidarMemoryIO.h"
#include "LidarPointCloudWriter.h"
#include "MQEncoder.h"
#include "PointData.h"
#include "PointIterator.h"
#include "QG4PointReader.h"

#include <benchmark/benchmark.h>

#include <bit>
#include <limits>
#include <map>
#include <random>
#include <vector>

using namespace quarn_test;

namespace {

constexpr std::size_t kPoints = 1000000;

using Family = LidarCloudFamily;

// A million points in five levels, subblocks of 4096 samples, index blocks of 65536 points.
LidarPointCloud cloudOf(Family family) {
    LidarPointCloud cloud = surveyCloud(family, kPoints, 5);
    cloud.blockSize = 65536;
    for (LidarCloudChannel& channel : cloud.channels) {
        channel.subblockSize = 4096;
        channel.rawPlanes = 2;
    }
    return cloud;
}

const LidarSparseBytes& fileOf(Family family) {
    static std::map<Family, LidarSparseBytes> files;
    auto it = files.find(family);
    if (it == files.end()) it = files.emplace(family, cloudOf(family).file().write()).first;
    return it->second;
}

void decodeWhole(benchmark::State& state, Family family) {
    const LidarSparseBytes& image = fileOf(family);
    auto io = LidarMemoryIO::makeSparse(image);
    ObjectRef<Korvel::QG4PointReader> reader(Korvel::QG4PointReader::create());
    reader->init(io.get());
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double everything[6] = {-inf, inf, -inf, inf, -inf, inf};
    Korvel::PointData out;
    out.init(reader->getPointInfo(), 4096);
    std::uint64_t points = 0;
    for (auto _ : state) {
        ObjectRef<Korvel::PointIterator> iterator(
            reader->createIterator(everything, 1.0, reader->getPointInfo(), nullptr));
        std::uint64_t decoded = 0;
        for (std::uint64_t n; (n = iterator->getNextPoints(out)) > 0;)
            decoded += n;
        if (decoded != kPoints) state.SkipWithError("wrong point count");
        points += decoded;
        benchmark::DoNotOptimize(out.getX()[0]);
    }
    state.counters["points/s"] =
        benchmark::Counter(static_cast<double>(points), benchmark::Counter::kIsRate);
    state.counters["file MB"] = static_cast<double>(image.size()) / 1e6;
}

struct Decisions {
    std::vector<unsigned> contexts;
    std::vector<std::uint8_t> bytes;
};

// A million decisions with the statistics of the raster bench's MQ segment
// (wavelet_subblock_bench, BM_MQDecode): 70% in one context, 4% of them 1; 15% over 8 contexts
// and 15% over 8 more, 30% of them 1.
Decisions skewedDecisions() {
    std::mt19937 rng(9);
    Decisions d;
    d.contexts.resize(1000000);
    quarn_test::MQEncoder encoder;
    for (unsigned& cx : d.contexts) {
        const unsigned r = rng() % 100;
        cx = r < 70 ? 0 : r < 85 ? 1 + rng() % 8 : 9 + rng() % 8;
        encoder.encode(cx, rng() % 100 < (cx == 0 ? 4u : 30u) ? 1 : 0);
    }
    d.bytes = encoder.flush(false);
    return d;
}

// The bit patterns of 16384 doubles along a random walk, least significant bit first in 64
// contexts, as a floating-point subblock codes them: the low mantissa bits are noise, the sign
// and exponent bits nearly constant.
Decisions floatingPointDecisions() {
    std::mt19937_64 rng(5);
    std::normal_distribution<double> step(0.0, 0.37);
    Decisions d;
    quarn_test::MQEncoder encoder;
    double value = 1523.25;
    for (int i = 0; i < 16384; ++i) {
        value += step(rng);
        const auto bits = std::bit_cast<std::uint64_t>(value);
        for (unsigned b = 0; b < 64; ++b) {
            d.contexts.push_back(b);
            encoder.encode(b, (bits >> b) & 1);
        }
    }
    d.bytes = encoder.flush(false);
    return d;
}

void decideAlone(benchmark::State& state, const Decisions& (*segment)()) {
    const Decisions& d = segment();
    for (auto _ : state) {
        Korvel::KernelMQDecoder decoder;
        decoder.mqInit(d.bytes.data(), d.bytes.size());
        unsigned sum = 0;
        for (unsigned cx : d.contexts)
            sum += decoder.mqDecodeBit(cx);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["decisions/s"] = benchmark::Counter(static_cast<double>(d.contexts.size()) *
                                                           static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
}

const Decisions& skewed() {
    static const Decisions d = skewedDecisions();
    return d;
}
const Decisions& floatingPoint() {
    static const Decisions d = floatingPointDecisions();
    return d;
}

} // namespace

BENCHMARK_CAPTURE(decideAlone, mq_skewed, skewed)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decideAlone, mq_floating_point_bits, floatingPoint)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeWhole, mq_integer, Family::MQInteger)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeWhole, mq_floating_point, Family::MQFloat)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeWhole, deflate_floating_point, Family::GZFloat)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
