// Decoding speed and working memory of the generation-2 decoder: a three-band 4096 x 4096 image
// (five levels, 64 x 64 blocks, 2 x 2 regions per subband, dither on) read through its reader at
// full size, at a half and at a quarter of its width and height, strip by strip into one strip of
// the caller's buffer, as a viewer reads it. The file is written once by the test writer and kept
// beside the program (qg2-bench-4096.qg2).
//
// Figures: output megapixels per second; the heap the decode held at the end of its fullest strip
// beyond what was in use when it began (the file's bytes are held in memory before that), from
// the heap probe; the process's peak resident size; the bytes one decode reads from its stream,
// as a multiple of the file's size (from a test stream that records its reads, outside the
// timing).

#include "HeapProbe.h"
#include "QG2ImageReader.h"
#include "QG2ImageWriter.h"
#include "TestStreams.h"
#include "buffers/KVISceneBuffer.h"
#include "streams/KVIODynamicMemStream.h"
#include "support/KVIRef.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <random>
#include <sys/resource.h>

namespace {

using namespace Korvel;
using quarn_test::QG2ImageSpec;
using quarn_test::QG2Plane;

constexpr std::uint32_t kSize = 4096;
const char* const kFile = "qg2-bench-4096.qg2";

// Smooth shading, edges and grain in Y; slower colour in I and Q.
std::vector<std::uint8_t> writeImage() {
    QG2ImageSpec spec;
    spec.levels = 5;
    std::mt19937 rng(1);
    std::normal_distribution<double> grain(0.0, 3.0);
    for (int b = 0; b < 3; ++b) {
        QG2Plane plane{kSize, kSize, {}};
        plane.samples.reserve(std::size_t{kSize} * kSize);
        for (std::uint32_t y = 0; y < kSize; ++y)
            for (std::uint32_t x = 0; x < kSize; ++x) {
                const double u = x / 256.0, v = y / 256.0;
                const double value = b == 0
                                         ? 128 + 60 * std::sin(u + 0.3 * v) * std::cos(0.7 * v) +
                                               ((x / 97 + y / 131) % 4 == 0 ? 40 : 0) + grain(rng)
                                         : 25 * std::sin(0.5 * u + b) * std::cos(0.4 * v - b);
                plane.samples.push_back(value);
            }
        spec.bands.push_back(std::move(plane));
    }
    spec.steps = {2.0f, 3.0f, 3.0f};
    spec.blockWidth = spec.blockHeight = 64;
    spec.regionsAcross = spec.regionsDown = 2;
    return quarn_test::writeQG2Image(spec).file.bytes;
}

const std::vector<std::uint8_t>& image() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::ifstream in(kFile, std::ios::binary);
        std::vector<std::uint8_t> read((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
        if (!read.empty()) return read;
        std::vector<std::uint8_t> written = writeImage();
        std::ofstream(kFile, std::ios::binary)
            .write(reinterpret_cast<const char*>(written.data()),
                   static_cast<std::streamsize>(written.size()));
        return written;
    }();
    return bytes;
}

double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Reads a scene strip by strip into one strip of a buffer.
KVStatus readScene(QG2ImageReader& reader, double magnification, std::int64_t* peak) {
    std::uint32_t width = 0, height = 0;
    reader.getDimsAtMag(magnification, width, height);
    const KVIScene scene(0, 0, width, height, magnification);
    const std::uint32_t stripHeight = reader.getStripHeight();
    // One strip of the caller's buffer, reused for every strip.
    KVISceneBuffer strip(reader.getPixelProps(), width, stripHeight);
    const auto before = static_cast<std::int64_t>(quarn_test::heapInUse());
    KVStatus status = reader.readBegin(scene);
    for (std::uint32_t y = 0; status == KV_OK && y < height; y += stripHeight) {
        KVISceneBuffer window(strip, 0, 0, width, std::min(stripHeight, height - y));
        status = reader.readStrip(
            window, KVIScene(0, y, width, std::min(stripHeight, height - y), magnification));
        if (peak != nullptr)
            *peak = std::max(*peak, static_cast<std::int64_t>(quarn_test::heapInUse()) - before);
    }
    benchmark::DoNotOptimize(strip.getWindowBandData(0));
    const KVStatus ended = reader.readEnd();
    return status != KV_OK ? status : ended;
}

// The bytes one decode reads, as a multiple of the file's size.
double bytesReadPerFileByte(double magnification) {
    quarn_test::VectorStream stream(image(), false);
    KVIRef<QG2ImageReader> reader(QG2ImageReader::create());
    if (reader->initialize(&stream, nullptr, 1, 3) != KV_OK) return 0.0;
    stream.readRequests.clear();
    if (readScene(*reader, magnification, nullptr) != KV_OK) return 0.0;
    const std::uint64_t read =
        std::accumulate(stream.readRequests.begin(), stream.readRequests.end(), std::uint64_t{0});
    return static_cast<double>(read) / static_cast<double>(image().size());
}

void decode(benchmark::State& state, double magnification) {
    // The library's own memory stream, holding the file.
    const std::vector<std::uint8_t>& bytes = image();
    KVIODynamicMemStream stream;
    const auto size = static_cast<std::uint32_t>(bytes.size());
    if (stream.initialize(size, 2.0f) != KV_OK || stream.open() != KV_OK ||
        stream.write(bytes.data(), size) != size || stream.close() != KV_OK) {
        state.SkipWithError("no memory stream");
        return;
    }
    KVIRef<QG2ImageReader> reader(QG2ImageReader::create());
    if (reader->initialize(&stream, nullptr, 1, 3) != KV_OK) {
        state.SkipWithError("the image does not open");
        return;
    }
    std::uint32_t width = 0, height = 0;
    reader->getDimsAtMag(magnification, width, height);
    std::int64_t peak = 0;
    for (auto _ : state) {
        if (readScene(*reader, magnification, &peak) != KV_OK) {
            state.SkipWithError("the decode failed");
            return;
        }
    }
    state.counters["MPixel/s"] = benchmark::Counter(static_cast<double>(width) * height * 1e-6 *
                                                        static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
    state.counters["heap_peak_MB"] = static_cast<double>(peak) / (1024.0 * 1024.0);
    state.counters["file_MB"] = static_cast<double>(image().size()) / (1024.0 * 1024.0);
    state.counters["rss_peak_MB"] = peakResidentMegabytes();
    state.counters["read_per_file_byte"] = bytesReadPerFileByte(magnification);
}

BENCHMARK_CAPTURE(decode, full, 1.0)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK_CAPTURE(decode, half, 0.5)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(decode, quarter, 0.25)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
