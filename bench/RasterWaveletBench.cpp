// Megapixels per second of the row-pipelined inverse wavelet alone: a 4096 x 4096 three-band
// image of five levels (a generated scene through the test-side forward wavelet), decoded whole
// into 8-bit samples in strips of 16 rows at magnification 1 and 1/4, with each kernel table this
// processor runs (the last is the one decoders choose). The subband rows come straight from
// whole arrays, so the figure leaves out subblock decoding and the strip cache.

#include "RasterForwardWavelet.h"
#include "buffers/KVISceneBuffer.h"
#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3ImageInfo.h"
#include "wavelet/PipelinedWaveletDecoder.h"
#include "wavelet/SubbandRowSource.h"
#include "wavelet/WaveletKernels.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

using namespace Korvel;

namespace {

constexpr std::uint32_t kSide = 4096;
constexpr std::uint8_t kLevels = 5;
constexpr std::uint16_t kBands = 3;

// Subband rows handed out as pointers into whole subband arrays.
class WholeArraySource : public SubbandRowSource {
public:
    WholeArraySource() {
        info_.width = kSide;
        info_.height = kSide;
        info_.numLevels = kLevels;
        info_.subblockSize = 64;
        if (info_.bandSet.resizeAll(kBands) != KV_OK || info_.computeSubbands() != KV_OK)
            std::abort();
        // A smooth landscape with ridges and a little texture, one band at a time to keep the
        // peak memory down.
        std::uint32_t seed = 12345;
        for (std::uint16_t b = 0; b < kBands; ++b) {
            std::vector<std::int32_t> plane(std::size_t(kSide) * kSide);
            for (std::uint32_t y = 0; y < kSide; ++y)
                for (std::uint32_t x = 0; x < kSide; ++x) {
                    seed = seed * 1664525u + 1013904223u;
                    const double v = 120 +
                                     60 * std::sin(x / (90.0 + 20 * b)) * std::cos(y / 130.0) +
                                     30 * std::sin((x + 2 * y) / 37.0) + double(seed >> 29);
                    plane[std::size_t(y) * kSide + x] = std::int32_t(std::lround(v));
                }
            planes_.push_back(quarn_test::rasterForwardWavelet(plane, kSide, kSide, kLevels));
        }
    }
    const QG3ImageInfo& getImageInfo() const override { return info_; }
    std::uint16_t getSubblockSize() const override { return info_.subblockSize; }
    std::uint16_t getBandCount() const override { return kBands; }
    KVStatus getSubbandRow(std::int32_t** rows, std::uint8_t subband, std::uint32_t row,
                           std::uint32_t x0, std::uint32_t) override {
        for (std::uint16_t b = 0; b < kBands; ++b) {
            quarn_test::RasterSubband& band = planes_[b][subband];
            rows[b] = band.samples.data() + std::size_t(row) * band.width + x0;
        }
        return KV_OK;
    }

private:
    QG3ImageInfo info_;
    std::vector<quarn_test::RasterSubbands> planes_;
};

WholeArraySource& source() {
    static WholeArraySource instance;
    return instance;
}

// Argument 0: levels skipped; argument 1: the kernel table, by its place among those this
// processor runs.
void decodeWhole(benchmark::State& state) {
    WholeArraySource& src = source();
    const auto skipped = static_cast<std::uint8_t>(state.range(0));
    const std::vector<const WaveletKernels*> tables = waveletKernelVariants();
    if (std::size_t(state.range(1)) >= tables.size()) {
        state.SkipWithError("kernel table not run by this processor");
        return;
    }
    state.SetLabel(tables[std::size_t(state.range(1))]->name);
    forceWaveletKernels(tables[std::size_t(state.range(1))]);
    const std::uint32_t side = kSide >> skipped;
    const KVIRect rect{0, 0, std::int32_t(side) - 1, std::int32_t(side) - 1};
    constexpr std::uint32_t strip = 16;
    KVISceneBuffer buffer(KVIPixel(0xFF01, kBands, getSampleDataType(QG3_DATATYPE_UINT8)), side,
                          strip, nullptr);
    std::uint64_t pixels = 0;
    for (auto _ : state) {
        auto decoder = PipelinedWaveletDecoder::create(rect, std::uint8_t(kLevels - skipped), side,
                                                       side, kBands, skipped, src);
        decoder->setOutputRange(0, 255, QG3_DATATYPE_UINT8);
        decoder->setStripHeight(strip);
        if (decoder->decodeBegin() != KV_OK) {
            state.SkipWithError("decodeBegin failed");
            break;
        }
        for (std::uint32_t y = 0; y < side; y += strip) {
            const KVIRect rows{0, std::int32_t(y), rect.x1, std::int32_t(y + strip - 1)};
            if (decoder->decodeStrip(rows, &buffer, 0, 0) != KV_OK) {
                state.SkipWithError("decodeStrip failed");
                break;
            }
            benchmark::DoNotOptimize(buffer.getWindowBandData(0)[0]);
        }
        pixels += std::uint64_t(side) * side;
    }
    forceWaveletKernels(nullptr);
    state.counters["MP/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(decodeWhole)
    ->ArgNames({"skipped", "kernels"})
    ->ArgsProduct({{0, 2}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
