// Output megapixels per second of the multi-resolution filter: a 2048 x 2048 RGB 8-bit input
// (a single magnification, so every scale is resampled strip by strip) read whole through the
// filter at scales 0.5, 0.37 and 2.0 with each resample method. The input is the synthetic stage
// with its strips filled by copying a prepared pattern, so the figures are the filter's own; the
// "synthetic" runs use the synthetic stage's own per-sample fill for comparison.

#include "SyntheticImageStage.h"
#include "buffers/KVISceneBuffer.h"
#include "filters/KVIMultiResFilter.h"
#include "filters/KVIResampler.h"
#include "support/KVIRef.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

using namespace Korvel;
using quarn_test::SyntheticImageStage;

namespace {

constexpr std::uint32_t kSide = 2048;

// The synthetic stage with cheap strips: each row a copy of one prepared row per band.
class PatternStage : public SyntheticImageStage {
public:
    explicit PatternStage(const KVIPixel& pixel) : SyntheticImageStage(kSide, kSide, pixel) {
        pattern_.resize(std::size_t{kSide} * 2);
        for (std::size_t i = 0; i < pattern_.size(); ++i)
            pattern_[i] = static_cast<std::uint8_t>(i * 7 + i / 13);
    }

    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& strip) override {
        const auto cols = static_cast<std::uint32_t>(strip.getNumCols());
        const auto rows = static_cast<std::uint32_t>(strip.getNumRows());
        const auto x = static_cast<std::uint32_t>(strip.getUpperLeftCol());
        const auto y = static_cast<std::uint32_t>(strip.getUpperLeftRow());
        for (std::uint16_t band = 0; band < buffer.getNumBands(); ++band)
            for (std::uint32_t r = 0; r < rows; ++r)
                std::memcpy(buffer.getWindowBandData(band) +
                                std::size_t{r} * buffer.getTotalWidth(),
                            pattern_.data() + x + (y + r + band) % kSide, cols);
        return KV_OK;
    }

private:
    std::vector<std::uint8_t> pattern_;
};

void readThroughFilter(benchmark::State& state, double scale, std::uint32_t method,
                       bool syntheticFill) {
    const KVIPixel rgb(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8);
    KVIRef<SyntheticImageStage> input(syntheticFill ? new SyntheticImageStage(kSide, kSide, rgb)
                                                    : new PatternStage(rgb));
    KVIRef<KVIMultiResFilter> filter(KVIMultiResFilter::create());
    filter->setScale(scale, scale);
    if (filter->initialize(input.get(), 1.0, 1.0, 1.0) != KV_OK ||
        filter->setResampleMethod(method) != KV_OK) {
        state.SkipWithError("filter not initialised");
        return;
    }
    const std::uint32_t width = filter->getWidth();
    const std::uint32_t height = filter->getHeight();
    const KVIScene scene(0, 0, width, height, 1.0);
    KVISceneBuffer out(rgb, width, height);
    for (auto _ : state) {
        if (filter->read(scene, out) != KV_OK) {
            state.SkipWithError("read failed");
            return;
        }
        benchmark::DoNotOptimize(out.getWindowBandData(0));
    }
    state.counters["output_MP/s"] = benchmark::Counter(
        double(width) * height / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["mode"] = filter->getReadMode();
}

void registerAll() {
    const char* names[] = {"", "nearest", "linear", "cubic"};
    for (double scale : {0.5, 0.37, 2.0})
        for (std::uint32_t method = 1; method <= 3; ++method)
            for (bool synthetic : {false, true})
                benchmark::RegisterBenchmark((std::string("MultiResFilter/") + names[method] +
                                              "/scale:" + std::to_string(scale).substr(0, 4) +
                                              (synthetic ? "/synthetic" : ""))
                                                 .c_str(),
                                             [=](benchmark::State& state) {
                                                 readThroughFilter(state, scale, method, synthetic);
                                             })
                    ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
