// Whole-image decodes of generation-3 rasters through the reader front, single thread, as a
// consumer that writes the image out strip by strip would read it (one strip buffer, reused):
//
//   decode/mag:1, decode/mag:4   a lossless 8-bit three-band 4096 x 4096 landscape (the same
//                                generated scene every run: smooth fields, texture and noise),
//                                written by the test writer with S = 64, five levels, colour
//                                transform, pipe order, interleaved; decoded at magnification 1
//                                and 1/4, with and without "QG3_USE_STREAM_BUFFERS".
//   mosaic/mag:1, mosaic/mag:4   a 2 x 2 mosaic of four lossless 8-bit three-band 2048 x 2048
//                                landscapes (each its own seed, coded as above), one file placed
//                                by the images' georeferencing, read whole through the reader front
//   single/mag:1, single/mag:4   the same four images, each in a file of its own, read whole one
//                                after the other (MP/s of the four together)
//   hostile/cropped:0|1          the two images of HostileRasterFiles.h that declare 65,535
//                                bands and 41 or 57 levels without plane data (32 x 32, and the
//                                10 x 6 window of a cropped one), opened from memory and read
//                                whole strip by strip into one strip buffer made beforehand: the
//                                milliseconds of one open and read.
//   decode20k/refinement:0|1     with QUARN_BENCH_HUGE=1: a 20,000 x 20,000 three-band image
//                                whose subblocks carry a small coded pattern (coefficients of
//                                two bytes at most, as 8-bit content's), decoded once at
//                                magnification 1 (for the memory bound); refinement:0 leaves the
//                                low-band refinement subbands empty, as the writer's images do,
//                                refinement:1 codes data in every subband (the larger strip
//                                cache).
//
// Counters: MP/s of output pixels, the process's peak resident memory during the decode (the
// high-water mark is reset first) and the peak heap in use during it, in MB.
//
// The files live in QUARN_BENCH_DIR (default /tmp/quarn-bench) and are written when missing,
// with a PPM of the landscape's pixels for the OpenJPEG comparison. --write-only writes them and
// exits (bench/run-openjpeg-compare.sh runs it first, so that writing costs no memory here).

#include "FdStream.h"
#include "HeapProbe.h"
#include "HostileRasterFiles.h"
#include "PlaneItemWriter.h"
#include "QuarnImageReader.h"
#include "RasterImageWriter.h"
#include "RasterScene.h"
#include "RasterSubblockEncoder.h"
#include "TestStreams.h"
#include "buffers/KVISceneBuffer.h"
#include "support/KVMagnification.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <map>
#include <random>
#include <string>
#include <tuple>

using namespace Korvel;
using namespace quarn_test;

namespace {

constexpr std::uint32_t kSide = 4096;
constexpr std::uint32_t kHugeSide = 20000;

std::string folder() {
    const char* dir = std::getenv("QUARN_BENCH_DIR");
    return dir != nullptr ? dir : "/tmp/quarn-bench";
}
std::string landscapePath() {
    return folder() + "/landscape-4096.qg3";
}
std::string hugePath(bool refinement) {
    return folder() + (refinement ? "/pattern2-20000-full.qg3" : "/pattern2-20000.qg3");
}
constexpr std::uint32_t kTile = 2048;
std::string mosaicPath() {
    return folder() + "/mosaic-2x2-2048.qg3";
}
std::string tilePath(unsigned i) {
    return folder() + "/tile-" + std::to_string(i) + "-2048.qg3";
}

void save(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

void writeLandscape() {
    RasterImage image;
    image.width = image.height = kSide;
    image.planes = landscape(kSide, kSide, 3, 11);
    image.colorSpace = 10;
    image.levels = 5;
    image.subblockSize = 64;
    image.colorTransform = 10;
    // The same pixels as a PPM, for the other codec.
    std::ofstream ppm(folder() + "/landscape-4096.ppm", std::ios::binary);
    ppm << "P6\n" << kSide << " " << kSide << "\n255\n";
    std::string row(std::size_t(kSide) * 3, '\0');
    for (std::uint32_t y = 0; y < kSide; ++y) {
        for (std::uint32_t x = 0; x < kSide; ++x)
            for (int b = 0; b < 3; ++b)
                row[std::size_t(x) * 3 + b] = char(image.planes[b][std::size_t(y) * kSide + x]);
        ppm.write(row.data(), std::streamsize(row.size()));
    }
    save(landscapePath(), RasterImageCoder(std::move(image)).file(kGen3Version));
}

// Four landscapes, each written alone and as image i + 1 of the mosaic file, image 1 at the top
// left and numbered row by row, at ground resolution 1.
void writeMosaic() {
    std::vector<RasterPacket> packets;
    for (unsigned i = 0; i < 4; ++i) {
        RasterImage image;
        image.width = image.height = kTile;
        image.planes = landscape(kTile, kTile, 3, 21 + i);
        image.colorSpace = 10;
        image.levels = 5;
        image.subblockSize = 64;
        image.colorTransform = 10;
        const RasterImageCoder coder(std::move(image));
        save(tilePath(i), coder.file(kGen3Version));
        for (RasterPacket& p : coder.packets(i + 1))
            packets.push_back(std::move(p));
        packets.push_back(placementPacket(i + 1, double(kTile) * (i % 2),
                                          double(kTile) * (2 - i / 2), 1.0, -1.0));
    }
    save(mosaicPath(), rasterFile(kGen3Version, packets));
}

// Every subblock carries the same small pattern (cut to the subblock's size), coded once per size
// and subband kind, with coefficients of up to two bytes; without `refinement` the refinement
// subbands stay empty, as in the writer's images.
void writeHuge(bool refinement) {
    const PlaneGeometry geometry{kHugeSide, kHugeSide, 5, 64};
    PlaneFormat format;
    format.kind = 5;
    format.layout = 2;
    PlaneItemWriter writer(geometry, 3, 32, format);
    const std::vector<SubbandSize> sizes = subbandSizes(geometry);
    std::map<std::tuple<unsigned, unsigned, unsigned>, RasterSubblockCode> coded;
    writer.setSource([&](std::uint32_t s, std::uint32_t k, unsigned, unsigned p, PlaneItem& item) {
        const unsigned w = std::min(64u, sizes[s].width - (k % sizes[s].columns) * 64);
        const unsigned h = std::min(64u, sizes[s].height - (k / sizes[s].columns) * 64);
        const unsigned kind = s == 0 ? 0 : 1 + (s - 1) % 4;
        if (kind == 1 && !refinement) return false;
        auto [at, made] = coded.try_emplace({kind, w, h});
        if (made) {
            std::mt19937 random(kind);
            std::vector<std::int32_t> pattern(std::size_t(w) * h);
            for (std::int32_t& v : pattern)
                v = kind == 0 ? 60 + std::int32_t(random() % 120) : std::int32_t(random() % 9) - 4;
            // One coefficient beyond a byte: every subblock is kept at two bytes a coefficient,
            // the most that 8-bit content needs.
            if (kind != 0) pattern[pattern.size() / 2] = -300;
            RasterSubblockOptions options;
            options.subband = kind == 0 ? 0 : kind;
            at->second = encodeRasterSubblock(pattern.data(), w, w, h,
                                              {0, 0, int(w) - 1, int(h) - 1}, options);
        }
        const RasterPlane& plane = at->second.planes[p];
        if (!plane.filled) return false;
        item.data = plane.bytes;
        item.raw = plane.raw;
        return true;
    });
    HeaderBody body;
    body.width = body.height = kHugeSide;
    body.numLevels = 5;
    body.bands = 3;
    body.estimateFactor = 32;
    body.subblockSize = 64;
    body.dataType = 5;
    body.colorSpace = 10;
    RasterPacket planeset = planesetPacket(1, 0, {}, format.kind, format.layout);
    const Bytes data = writer.planeData(packetHeader(planeset.header, 0).size());
    planeset.body = planesetBody(format.kind, format.layout, data.size(), data);
    save(hugePath(refinement), rasterFile(kGen3Version, {headerPacket(1, body), planeset}));
}

void writeMissing(bool huge) {
    std::filesystem::create_directories(folder());
    if (!std::filesystem::exists(landscapePath())) writeLandscape();
    if (!std::filesystem::exists(mosaicPath()) || !std::filesystem::exists(tilePath(3)))
        writeMosaic();
    for (const bool refinement : {false, true})
        if (huge && !std::filesystem::exists(hugePath(refinement))) writeHuge(refinement);
    malloc_trim(0);
}

// The resident high-water mark is reset, then read from /proc (kB).
void resetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double peakResidentMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0.0;
}

struct Outcome {
    KVStatus status = KV_OK;
    std::uint64_t pixels = 0;
    std::uint64_t heapPeak = 0;
};

// Opens the file, decodes the whole image at mag strip by strip into one strip buffer.
Outcome decodeWhole(const std::string& path, double mag) {
    Outcome out;
    quarn_bench::FdStream stream(path);
    QuarnImageReader* reader = QuarnImageReader::create();
    const std::uint64_t before = heapInUse();
    out.status = stream.open();
    if (out.status == KV_OK) out.status = reader->initialize(&stream, nullptr, 1, 3);
    std::uint32_t width = 0, height = 0;
    if (out.status == KV_OK) out.status = reader->getDimsAtMag(mag, width, height);
    if (out.status == KV_OK) {
        const KVIScene scene(0, 0, width, height, mag);
        const std::uint32_t stripHeight = reader->getStripHeight();
        KVISceneBuffer strip(reader->getPixelProps(), width, stripHeight, nullptr);
        out.status = reader->readBegin(scene);
        const std::uint32_t strips = (height + stripHeight - 1) / stripHeight;
        for (std::uint32_t i = 0; out.status == KV_OK && i < strips; ++i) {
            const KVIScene part = reader->getStripScene(i);
            KVISceneBuffer window(strip, 0, 0, width, std::uint32_t(part.getNumRows()));
            out.status = reader->readStrip(window, part);
            benchmark::DoNotOptimize(window.getWindowBandData(0)[0]);
            out.heapPeak = std::max(out.heapPeak, heapInUse() - before);
        }
        const KVStatus ended = reader->readEnd();
        if (out.status == KV_OK) out.status = ended;
        out.pixels = std::uint64_t(width) * height;
    }
    reader->release();
    return out;
}

void report(benchmark::State& state, const Outcome& outcome, std::uint64_t pixels,
            std::uint64_t heapPeak) {
    if (outcome.status != KV_OK)
        state.SkipWithError(("status " + std::to_string(outcome.status)).c_str());
    state.counters["MP/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
    state.counters["peakRSS_MB"] = peakResidentMB();
    state.counters["heap_MB"] = double(heapPeak) / (1 << 20);
}

// Argument 0: the magnification's reciprocal; argument 1: stream buffers.
void decode(benchmark::State& state) {
    const std::string path = landscapePath();
    if (state.range(1) != 0)
        setenv("QG3_USE_STREAM_BUFFERS", "1", 1);
    else
        unsetenv("QG3_USE_STREAM_BUFFERS");
    malloc_trim(0);
    resetPeakResident();
    Outcome outcome;
    std::uint64_t pixels = 0, heapPeak = 0;
    for (auto _ : state) {
        outcome = decodeWhole(path, 1.0 / double(state.range(0)));
        pixels += outcome.pixels;
        heapPeak = std::max(heapPeak, outcome.heapPeak);
    }
    report(state, outcome, pixels, heapPeak);
}
BENCHMARK(decode)
    ->ArgNames({"mag", "buffers"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({4, 0})
    ->Args({4, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Argument 0: the magnification's reciprocal.
void mosaic(benchmark::State& state) {
    malloc_trim(0);
    resetPeakResident();
    Outcome outcome;
    std::uint64_t pixels = 0, heapPeak = 0;
    for (auto _ : state) {
        outcome = decodeWhole(mosaicPath(), 1.0 / double(state.range(0)));
        pixels += outcome.pixels;
        heapPeak = std::max(heapPeak, outcome.heapPeak);
    }
    report(state, outcome, pixels, heapPeak);
}
BENCHMARK(mosaic)->ArgName("mag")->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void single(benchmark::State& state) {
    malloc_trim(0);
    resetPeakResident();
    Outcome outcome;
    std::uint64_t pixels = 0, heapPeak = 0;
    for (auto _ : state)
        for (unsigned i = 0; i < 4 && outcome.status == KV_OK; ++i) {
            outcome = decodeWhole(tilePath(i), 1.0 / double(state.range(0)));
            pixels += outcome.pixels;
            heapPeak = std::max(heapPeak, outcome.heapPeak);
        }
    report(state, outcome, pixels, heapPeak);
}
BENCHMARK(single)->ArgName("mag")->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument 0: the cropped image (10 x 6 of 41 levels) rather than the 32 x 32 one of 57.
void hostile(benchmark::State& state) {
    const Bytes bytes = manyBandsFile(state.range(0) != 0);
    // The strip buffer, made and touched once: the reader's strip height, or the image's.
    std::uint32_t width = 0, height = 0, stripHeight = 0;
    KVIPixel pixel;
    {
        VectorStream stream(bytes, false);
        QuarnImageReader* reader = QuarnImageReader::create();
        if (reader->initialize(&stream, nullptr, 1, 3) == KV_OK) {
            width = reader->getWidth();
            height = reader->getHeight();
            stripHeight = std::min(reader->getStripHeight(), height);
            pixel = reader->getPixelProps();
        }
        reader->release();
    }
    if (width == 0) {
        state.SkipWithError("the image does not open");
        return;
    }
    KVISceneBuffer strip(pixel, width, stripHeight, nullptr);
    malloc_trim(0);
    resetPeakResident();
    Outcome outcome;
    std::uint64_t pixels = 0, heapPeak = 0;
    for (auto _ : state) {
        VectorStream stream(bytes, false);
        QuarnImageReader* reader = QuarnImageReader::create();
        const std::uint64_t before = heapInUse();
        outcome.status = reader->initialize(&stream, nullptr, 1, 3);
        const KVIScene scene(0, 0, width, height, 1.0);
        if (outcome.status == KV_OK) outcome.status = reader->readBegin(scene);
        for (std::uint32_t i = 0; outcome.status == KV_OK && i * stripHeight < height; ++i) {
            const KVIScene part = reader->getStripScene(i);
            KVISceneBuffer window(strip, 0, 0, width, std::uint32_t(part.getNumRows()));
            outcome.status = reader->readStrip(window, part);
            heapPeak = std::max(heapPeak, heapInUse() - before);
        }
        if (outcome.status == KV_OK) outcome.status = reader->readEnd();
        reader->release();
        pixels += std::uint64_t(width) * height;
    }
    report(state, outcome, pixels, heapPeak);
}
BENCHMARK(hostile)
    ->ArgName("cropped")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Argument 0: whether the refinement subbands carry data.
void decode20k(benchmark::State& state) {
    setenv("QG3_USE_STREAM_BUFFERS", "1", 1);
    malloc_trim(0);
    resetPeakResident();
    Outcome outcome;
    std::uint64_t pixels = 0;
    for (auto _ : state) {
        outcome = decodeWhole(hugePath(state.range(0) != 0), 1.0);
        pixels += outcome.pixels;
    }
    report(state, outcome, pixels, outcome.heapPeak);
}

} // namespace

int main(int argc, char** argv) {
    const bool huge = std::getenv("QUARN_BENCH_HUGE") != nullptr &&
                      std::strcmp(std::getenv("QUARN_BENCH_HUGE"), "1") == 0;
    writeMissing(huge);
    if (argc > 1 && std::strcmp(argv[1], "--write-only") == 0) return 0;
    if (huge)
        benchmark::RegisterBenchmark("decode20k", decode20k)
            ->ArgName("refinement")
            ->Arg(0)
            ->Arg(1)
            ->Iterations(1)
            ->Unit(benchmark::kSecond)
            ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
