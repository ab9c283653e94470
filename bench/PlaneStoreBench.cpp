// The plane store over the planeset of a 16-bit, three-band, 8192 x 8192 image in subblocks of
// 64 x 64 (five levels, pipe order, 32 planes a band of which the low 16 carry 4 to 60 bytes
// each), written once per layout by the test writer into a temporary file and read through a
// file-descriptor stream:
//   scan          one initialisation of the store (the whole planeset scanned) by a reader
//                 without cursors, as the plane source makes it; items/s counts items with data.
//   readAll       every subblock read through a client, subband by subband and row by row (as a
//                 decoder pulls them), with the full and the partial table (data first only),
//                 with cursors ("QG3_USE_STREAM_BUFFERS") and without.
// Each reports the position table's memory.

#include "FdStream.h"
#include "PlaneItemWriter.h"
#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3HeaderPacket.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/planes/QG3FilePlaneStore.h"
#include "qg3/planes/QG3FilePlaneStoreClient.h"
#include "qg3/planes/QG3PlaneReaderFactory.h"
#include "qg3/planes/QG3PlaneRecord.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <unistd.h>

using namespace Korvel;
using namespace quarn_test;
using quarn_bench::FdStream;

namespace {

constexpr unsigned kBands = 3;
constexpr unsigned kPlanes = 32;

std::uint32_t mix(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352d;
    x ^= x >> 15;
    x *= 0x846ca68b;
    return x ^ (x >> 16);
}

struct Image {
    std::string path;
    std::uint64_t items = 0;
    std::uint64_t bytes = 0;
    std::unique_ptr<FdStream> stream;
    std::unique_ptr<QG3FileSimpleContainer> container;
    std::unique_ptr<QG3ImageInfo> info;
    QG3PlanesetPacket* planeset = nullptr;
};

std::map<std::uint8_t, Image>& images() {
    static std::map<std::uint8_t, Image> made;
    return made;
}

Image& imageOf(std::uint8_t layout) {
    if (auto it = images().find(layout); it != images().end()) return it->second;
    Image& image = images()[layout];
    PlaneFormat format;
    format.layout = layout;
    format.blocks = 4;
    PlaneItemWriter writer({8192, 8192, 5, 64}, kBands, kPlanes, format);
    writer.setSource(
        [&](std::uint32_t s, std::uint32_t k, unsigned b, unsigned p, PlaneItem& item) {
            if (p < 16) return false;
            item.data.assign(4 + mix(s * 7919 + k * 31 + b * 131 + p) % 57, 0x5A);
            ++image.items;
            return true;
        });
    const Bytes bytes = writer.file(HeaderBody{});
    image.bytes = bytes.size();
    char path[] = "/tmp/plane_store_benchXXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) std::abort();
    ::close(fd);
    image.path = path;
    image.stream = std::make_unique<FdStream>(path);
    image.container = std::make_unique<QG3FileSimpleContainer>(image.stream.get(), false);
    if (image.container->open() != KV_OK) std::abort();
    QG3Packet* packet = nullptr;
    image.container->openStream();
    image.container->findPacket(QG3PacketType(QG3_PACKET_HEADER, QG3_ANY, QG3_ANY, 1, 0, 0),
                                packet);
    image.info =
        std::make_unique<QG3ImageInfo>(*dynamic_cast<QG3HeaderPacket&>(*packet).getImageInfo());
    image.container->findPacket(QG3PacketType(QG3_PACKET_PLANESET, QG3_ANY, QG3_ANY, 1, 0, 0),
                                packet);
    image.planeset = dynamic_cast<QG3PlanesetPacket*>(packet);
    image.container->closeStream();
    return image;
}

std::unique_ptr<QG3FilePlaneReader> readerOf(Image& image, bool cursors) {
    return createPlaneReader(
        *image.info, *image.planeset, image.stream->duplicate(),
        planeReaderOptions(*image.info, *image.planeset, false, cursors, true));
}

void scan(benchmark::State& state, std::uint8_t layout, std::uint32_t model) {
    Image& image = imageOf(layout);
    std::uint64_t memory = 0;
    for (auto _ : state) {
        QG3FilePlaneStore store(*image.info, model);
        auto reader = readerOf(image, false);
        if (store.initialize(*reader) != KV_OK) state.SkipWithError("scan failed");
        memory = store.getTableMemory();
    }
    state.counters["items/s"] =
        benchmark::Counter(double(image.items) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["items"] = double(image.items);
    state.counters["planeset MB"] = double(image.bytes) / 1e6;
    state.counters["table KB"] = double(memory) / 1024;
}

void readAll(benchmark::State& state, std::uint8_t layout, std::uint32_t model, bool cursors) {
    Image& image = imageOf(layout);
    QG3FilePlaneStore store(*image.info, model);
    if (store.initialize(*readerOf(image, true)) != KV_OK) state.SkipWithError("scan failed");
    QG3FilePlaneStoreClient client(store, readerOf(image, cursors));
    client.openStream();
    std::vector<QG3PlaneRecord> records(kBands * QG3PlaneRecord::kRecordsPerBand);
    std::uint64_t items = 0;
    for (auto _ : state) {
        for (std::uint8_t s = 0; s < image.info->numSubbands; ++s) {
            const std::uint32_t count =
                std::uint32_t(image.info->subbands[s].rows) * image.info->subbands[s].columns;
            for (std::uint32_t k = 0; k < count; ++k) {
                if (client.readSubblock(s, k, records.data()) != KV_OK)
                    state.SkipWithError("read failed");
                for (const QG3PlaneRecord& r : records)
                    items += r.filled();
            }
        }
    }
    client.closeStream();
    state.counters["items/s"] = benchmark::Counter(double(items), benchmark::Counter::kIsRate);
    state.counters["table KB"] = double(store.getTableMemory()) / 1024;
}

} // namespace

BENCHMARK_CAPTURE(scan, interleaved_full, 0, QG3_MEMORY_MODEL_FULL)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scan, data_first_full, 2, QG3_MEMORY_MODEL_FULL)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scan, data_first_partial, 2, QG3_MEMORY_MODEL_PARTIAL)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scan, raster_blocks_full, 3, QG3_MEMORY_MODEL_FULL)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAll, interleaved_full, 0, QG3_MEMORY_MODEL_FULL, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAll, interleaved_full_unbuffered, 0, QG3_MEMORY_MODEL_FULL, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAll, data_first_full, 2, QG3_MEMORY_MODEL_FULL, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAll, data_first_full_unbuffered, 2, QG3_MEMORY_MODEL_FULL, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAll, data_first_partial, 2, QG3_MEMORY_MODEL_PARTIAL, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readAll, raster_blocks_full, 3, QG3_MEMORY_MODEL_FULL, true)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [layout, image] : images())
        std::remove(image.path.c_str());
    return 0;
}
