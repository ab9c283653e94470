// Megapixels per second of a 2 x 2 mosaic of 2048 x 2048 RGB 8-bit images read whole at
// magnification 1 and 1/4 in strips of 64 rows (as the reader front sets them), against reading
// the four images one by one at the same magnification; and the heap the read takes beyond the
// output buffer. The images fill their strips with one memset per row, so the figures are the
// mosaic's own cost. Then the time to open a mosaic of 250,000 4 x 4 images and to answer the
// modifications and the cost of its whole scene.

#include "HeapProbe.h"
#include "buffers/KVISceneBuffer.h"
#include "filters/KVIMosaicFilter.h"
#include "model/KVIColorSpace.h"
#include "stages/KVIImageReader.h"
#include "stages/KVIImageStageManager.h"
#include "support/KVIRef.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

using namespace Korvel;

namespace {

constexpr std::uint32_t kSide = 2048;
const KVIPixel kRgb(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8);

// An image whose row r of band b holds the value r + b throughout.
class FlatRowsStage : public KVIImageReader {
public:
    explicit FlatRowsStage(double x, double y, std::uint32_t side = kSide) {
        setDimensions(side, side);
        setPixelProps(kRgb);
        setMagnification(1.0 / 32, 1.0);
        setGeoCoord(KVIGeoCoord(x, y, 1.0, -1.0, 0.0, 0.0));
        setMetadata(nullptr);
    }
    KVStatus decodeBegin(const KVIScene&) override { return KV_OK; }
    KVStatus decodeEnd() override { return KV_OK; }
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& strip) override {
        const auto cols =
            std::min<std::uint32_t>(std::uint32_t(strip.getNumCols()), buffer.getWindowWidth());
        const auto rows =
            std::min<std::uint32_t>(std::uint32_t(strip.getNumRows()), buffer.getWindowHeight());
        const auto y = std::uint32_t(strip.getUpperLeftRow());
        for (std::uint16_t band = 0; band < 3; ++band)
            for (std::uint32_t r = 0; r < rows; ++r)
                std::memset(buffer.getWindowBandData(band) +
                                std::size_t{r} * buffer.getTotalWidth(),
                            int((y + r + band) & 0xFF), cols);
        return KV_OK;
    }
};

class GridManager : public KVIImageStageManager {
public:
    using KVIImageStageManager::getImageStage;
    GridManager() { setNumImages(4); }
    KVStatus getImageStage(std::uint32_t i, KVIImageStage*& stage) override {
        stage = i < 4 ? new FlatRowsStage(kSide * (i % 2), 2.0 * kSide - kSide * (i / 2)) : nullptr;
        return stage != nullptr ? KV_OK : KV_BAD_ARGUMENT;
    }
};

// Samples the heap after every strip.
struct HeapPeak : KVIProgressDelegate {
    std::uint64_t peak = 0;
    KVStatus reportProgress(float) override {
        peak = std::max(peak, quarn_test::heapInUse());
        return KV_OK;
    }
};

void readMosaic(benchmark::State& state, double mag) {
    KVIRef<GridManager> manager(new GridManager());
    KVIRef<KVIMosaicFilter> mosaic(KVIMosaicFilter::create());
    mosaic->setReleaseUnusedImages(true);
    if (mosaic->initialize(manager.get(), nullptr, true) != KV_OK ||
        mosaic->setStripHeight(64) != KV_OK) {
        state.SkipWithError("mosaic not initialised");
        return;
    }
    mosaic->setMergeMode(1);
    std::uint32_t w = 0, h = 0;
    mosaic->getDimsAtMag(mag, w, h);
    const KVIScene scene(0, 0, w, h, mag);
    KVISceneBuffer out(kRgb, w, h);
    HeapPeak heap;
    mosaic->setProgressDelegate(&heap);
    const std::uint64_t base = quarn_test::heapInUse();
    for (auto _ : state) {
        if (mosaic->read(scene, out) != KV_OK) {
            state.SkipWithError("read failed");
            return;
        }
        benchmark::DoNotOptimize(out.getWindowBandData(0));
    }
    state.counters["MP/s"] =
        benchmark::Counter(double(w) * h / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["extra_heap_kB"] = double(heap.peak > base ? heap.peak - base : 0) / 1024.0;
}

// The same pixels read image by image, each into its place of one output buffer.
void readOneByOne(benchmark::State& state, double mag) {
    KVIRef<GridManager> manager(new GridManager());
    std::uint32_t w = 0, h = 0;
    KVIRef<FlatRowsStage> probe(new FlatRowsStage(0, 0));
    probe->getDimsAtMag(mag, w, h);
    KVISceneBuffer out(kRgb, 2 * w, 2 * h);
    HeapPeak heap;
    const std::uint64_t base = quarn_test::heapInUse();
    for (auto _ : state) {
        for (std::uint32_t i = 0; i < 4; ++i) {
            KVIRef<KVIImageStage> stage(manager->getImageStage(i));
            stage->setStripHeight(64);
            stage->setProgressDelegate(&heap);
            KVISceneBuffer place(out, w * (i % 2), h * (i / 2), w, h);
            if (stage->read(KVIScene(0, 0, w, h, mag), place) != KV_OK) {
                state.SkipWithError("read failed");
                return;
            }
        }
        benchmark::DoNotOptimize(out.getWindowBandData(0));
    }
    state.counters["MP/s"] =
        benchmark::Counter(4.0 * w * h / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["extra_heap_kB"] = double(heap.peak > base ? heap.peak - base : 0) / 1024.0;
}

// 500 x 500 images of 4 x 4 pixels side by side.
class TinyGridManager : public KVIImageStageManager {
public:
    using KVIImageStageManager::getImageStage;
    static constexpr std::uint32_t kPerSide = 500;
    TinyGridManager() { setNumImages(kPerSide * kPerSide); }
    KVStatus getImageStage(std::uint32_t i, KVIImageStage*& stage) override {
        stage = new FlatRowsStage(4.0 * (i % kPerSide), 2000.0 - 4.0 * (i / kPerSide), 4);
        return KV_OK;
    }
};

void openQuarterMillion(benchmark::State& state) {
    KVIRef<TinyGridManager> manager(new TinyGridManager());
    const KVIScene full(0, 0, 2000, 2000, 1.0);
    for (auto _ : state) {
        KVIRef<KVIMosaicFilter> mosaic(KVIMosaicFilter::create());
        if (mosaic->initialize(manager.get(), nullptr, true) != KV_OK) {
            state.SkipWithError("mosaic not initialised");
            return;
        }
        if (state.range(0) > 0) benchmark::DoNotOptimize(mosaic->getModifications(full));
        if (state.range(0) > 1) benchmark::DoNotOptimize(mosaic->getSceneCost(full));
    }
}

// 0: open; 1: open and modifications; 2: open, modifications and cost.
BENCHMARK(openQuarterMillion)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(readMosaic, mag_1, 1.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOneByOne, mag_1, 1.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readMosaic, mag_quarter, 0.25)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOneByOne, mag_quarter, 0.25)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
