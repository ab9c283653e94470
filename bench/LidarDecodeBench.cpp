// Points per second of the LiDAR point decoder: a cloud of a million points decoded whole, for
// each coding family (MQ integer: six integer-coded channels; MQ and deflate floating point: three
// double and two float channels), through the point reader's iterator as a caller uses it. The
// files are written once by the test writers.

#include "LidarMemoryIO.h"
#include "LidarPointCloudWriter.h"
#include "PointData.h"
#include "PointIterator.h"
#include "QG4PointReader.h"

#include <benchmark/benchmark.h>

#include <limits>
#include <map>

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

} // namespace

BENCHMARK_CAPTURE(decodeWhole, mq_integer, Family::MQInteger)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeWhole, mq_floating_point, Family::MQFloat)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeWhole, deflate_floating_point, Family::GZFloat)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
