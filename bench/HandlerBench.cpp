// Time of one file through the handler as the property system uses it: Initialize on a stream,
// then both GetValue calls; small and large files of each raster generation and of LiDAR, a
// raster file of 250,000 tiny images read as one mosaic, and files of images stacked at one
// place that each declare 65,534 bands (with the time and heap of reading one pixel of them, and
// the most of them from a file on disk, where each read of the stream is a read of the file).

#include "CQuarnPropertyStore.h"
#include "ClassicalMetadataWriter.h"
#include "HeapProbe.h"
#include "HostileRasterFiles.h"
#include "LidarBodyWriter.h"
#include "LidarFileWriter.h"
#include "QG2FileWriter.h"
#include "QuarnImageReader.h"
#include "RasterFileWriter.h"
#include "TestStreams.h"
#include "WideString.h"
#include "buffers/KVISceneBuffer.h"
#include "qg3/container/QG3Container.h"
#include "support/KVIRef.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

extern "C" HRESULT DllGetClassObject(REFCLSID, REFIID, void**);

using namespace quarn_test;

namespace {

constexpr std::size_t kLargePlaneData = 100u << 20;

Bytes rasterFileOf(const Version& version, std::uint32_t side, std::size_t planeData) {
    HeaderBody body;
    body.width = side;
    body.height = side;
    body.numLevels = 5;
    body.bands = 3;
    body.colorSpace = 10;
    body.dataType = 5;
    const Bytes metadata =
        ClassicalMetadataWriter().texts("IMAGE::MODIFICATIONS", {"COMPRESSED"}, {}).eom().bytes();
    return rasterFile(version,
                      {headerPacket(1, body), planesetPacket(1, planeData, Bytes(planeData, 0x5A)),
                       metadataPacket(1, 0, 1, metadata)});
}

Bytes qg2FileOf(std::uint32_t side, std::size_t trailing) {
    QG2FileLayout layout;
    layout.bands = 3;
    layout.width = side;
    layout.height = side;
    layout.subbands = {std::nullopt};
    Bytes bytes = writeQG2File(layout).bytes;
    bytes.resize(bytes.size() + trailing, 0x5A);
    return bytes;
}

// A point cloud with X, Y, Z, Intensity, Red and GPSTime, its subband data dataBytes long.
Bytes lidarFileOf(std::uint64_t numPoints, std::size_t dataBytes) {
    LidarFileWriter file;
    file.header.numPoints = numPoints;
    file.header.numLevels = 3;
    for (const char* name : {"X", "Y", "Z", "Intensity", "Red", "GPSTime"}) {
        LidarChannelRecord c;
        c.name = name;
        c.maximum = 65535;
        file.header.channels.push_back(c);
    }
    // One subband chunk per channel and level.
    const std::size_t chunks = file.header.channels.size() * 3;
    for (std::uint16_t c = 0; c < file.header.channels.size(); ++c)
        for (std::uint16_t band = 0; band < 3; ++band) {
            LidarSubbandChunk chunk;
            chunk.channel = c;
            chunk.subband = band;
            chunk.data.assign(dataBytes / chunks, 0x5A);
            file.subbands.push_back(chunk);
        }
    file.metadata = LidarBodyWriter()
                        .metadataHeader(1)
                        .metadataRecord("PreCompressionPointCount", "", 3,
                                        LidarBodyWriter::doubles({numPoints * 2.0}))
                        .bytes();
    return file.write().flatten();
}

// The file through the handler, from memory or (fromDisk) from a temporary file.
void runHandler(benchmark::State& state, const Bytes& file, bool fromDisk = false) {
    IStream* stream = nullptr;
    char path[] = "/tmp/handler_benchXXXXXX";
    if (!fromDisk) {
        stream = SHCreateMemStream(file.data(), static_cast<UINT>(file.size()));
    } else {
        const int fd = mkstemp(path);
        if (fd < 0 || ::write(fd, file.data(), file.size()) != ssize_t(file.size())) std::abort();
        ::close(fd);
        if (SHCreateStreamOnFileW(quarn_platform::toUtf16(path).c_str(), STGM_READ, &stream) !=
            S_OK)
            std::abort();
    }
    IClassFactory* factory = nullptr;
    DllGetClassObject(CLSID_QuarnPropertyStore, IID_IClassFactory,
                      reinterpret_cast<void**>(&factory));
    for (auto _ : state) {
        IInitializeWithStream* init = nullptr;
        factory->CreateInstance(nullptr, IID_IInitializeWithStream,
                                reinterpret_cast<void**>(&init));
        LARGE_INTEGER zero{};
        stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        HRESULT hr = init->Initialize(stream, STGM_READ);
        IPropertyStore* store = nullptr;
        init->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store));
        for (const PROPERTYKEY* key : {&GenerationKey, &CompressionKey}) {
            PROPVARIANT value;
            PropVariantInit(&value);
            store->GetValue(*key, &value);
            benchmark::DoNotOptimize(value.pwszVal);
            PropVariantClear(&value);
        }
        store->Release();
        init->Release();
        if (FAILED(hr)) state.SkipWithError("Initialize failed");
        // A file refused by the library: its status, so that a refusal is not read as speed.
        state.counters["status"] = static_cast<double>(hr);
    }
    factory->Release();
    stream->Release();
    if (fromDisk) ::unlink(path);
    state.SetItemsProcessed(state.iterations());
    state.counters["file_bytes"] = static_cast<double>(file.size());
}

void Generation2Small(benchmark::State& s) {
    runHandler(s, qg2FileOf(256, 20000));
}
void Generation2Large(benchmark::State& s) {
    runHandler(s, qg2FileOf(20000, kLargePlaneData));
}
void Generation3Small(benchmark::State& s) {
    runHandler(s, rasterFileOf(kGen3Version, 256, 20000));
}
void Generation3Large(benchmark::State& s) {
    runHandler(s, rasterFileOf(kGen3Version, 20000, kLargePlaneData));
}
void Generation4Small(benchmark::State& s) {
    runHandler(s, rasterFileOf(kGen4Version, 256, 20000));
}
void Generation4Large(benchmark::State& s) {
    runHandler(s, rasterFileOf(kGen4Version, 20000, kLargePlaneData));
}

// 500 x 500 images of 16 x 16 pixels.
void Generation3QuarterMillionImages(benchmark::State& s) {
    runHandler(s, imageGridFile(kGen3Version, 500, 16));
}
// A grid of side x side such images, to see how the time grows with the number of images.
void Generation3ManyImages(benchmark::State& s) {
    runHandler(s, imageGridFile(kGen3Version, static_cast<std::uint32_t>(s.range(0)), 16));
    s.counters["images"] = static_cast<double>(s.range(0) * s.range(0));
}

// Images of only a header and a planeset packet, all in one place: the most images the packet
// list can hold for its bytes.
void Generation3ImagesAllAlike(benchmark::State& s) {
    HeaderBody body;
    body.width = body.height = 16;
    body.dataType = 5;
    Bytes file = fileHeader(kGen3Version);
    std::vector<RasterPacket> packets;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(s.range(0)); ++i) {
        packets.push_back(headerPacket(i + 1, body));
        packets.push_back(planesetPacket(i + 1, 0));
    }
    runHandler(s, rasterFile(kGen3Version, packets));
    s.counters["images"] = static_cast<double>(s.range(0));
}

// The most images a file may hold, each with as many packets as the packet list allows for
// them: header, planeset, placement and a metadata packet of its own.
void Generation3MostImagesWithMetadata(benchmark::State& s) {
    constexpr std::uint32_t kSide = 512;
    HeaderBody body;
    body.width = body.height = 16;
    body.dataType = 5;
    const Bytes metadata =
        ClassicalMetadataWriter().texts("IMAGE::MODIFICATIONS", {"COMPRESSED"}, {}).eom().bytes();
    std::vector<RasterPacket> packets;
    for (std::uint32_t i = 0; i < kSide * kSide; ++i) {
        packets.push_back(headerPacket(i + 1, body));
        packets.push_back(planesetPacket(i + 1, 0));
        packets.push_back(
            placementPacket(i + 1, 16.0 * (i % kSide), 16.0 * (kSide - i / kSide), 1.0, -1.0));
        packets.push_back(metadataPacket(1, 0, i + 1, metadata));
    }
    runHandler(s, rasterFile(kGen3Version, packets));
}

// Files made to cost memory: a good file followed by 10 MB of zero bytes, or by 2^20 tiny
// packets.
void RasterTrailingZeros(benchmark::State& s) {
    runHandler(s, withTrailingZeros(rasterFileOf(kGen3Version, 256, 20000), 10u << 20));
}
void RasterTinyPackets(benchmark::State& s) {
    runHandler(s, withTinyPackets(rasterFileOf(kGen3Version, 256, 20000), kManyTinyPackets));
}

// Images stacked at one place, each declaring 65,534 bands: 34, 539 and 2,167 of them (5 KB,
// 84 KB, 338 KB).
void Generation3StackedImagesOfManyBands(benchmark::State& s) {
    runHandler(s, stackedImagesFile(static_cast<std::uint32_t>(s.range(0))));
}

// The most images a file may hold, stacked so and each placed by a packet of its own, read from
// a file on disk.
void Generation3MostStackedImagesFromDisk(benchmark::State& s) {
    runHandler(s, stackedImagesFile(static_cast<std::uint32_t>(Korvel::QG3_MAX_IMAGES)), true);
}

// One pixel of such a file read through the reader front (opened once), and the heap it takes
// at its highest, sampled at every read of the file.
void Generation3StackedImagesOnePixel(benchmark::State& s) {
    struct WatchedStream : VectorStream {
        using VectorStream::VectorStream;
        std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override {
            peak = std::max(peak, heapInUse());
            return VectorStream::read(buffer, count);
        }
        std::uint64_t peak = 0;
    };
    WatchedStream stream(stackedImagesFile(static_cast<std::uint32_t>(s.range(0))), false);
    const Korvel::KVIRef<Korvel::QuarnImageReader> reader(Korvel::QuarnImageReader::create());
    if (reader->initialize(&stream, nullptr, 1, 3) != Korvel::KV_OK) s.SkipWithError("open");
    std::uint64_t growth = 0;
    for (auto _ : s) {
        Korvel::KVISceneBuffer buffer(reader->getPixelProps(), 1, 1, nullptr);
        const std::uint64_t before = heapInUse();
        stream.peak = before;
        if (reader->read(Korvel::KVIScene(3, 4, 1, 1, 1.0), buffer) != Korvel::KV_OK)
            s.SkipWithError("read");
        growth = std::max(growth, stream.peak - before);
    }
    s.counters["peak_heap_MB"] = static_cast<double>(growth) / (1 << 20);
}

void LidarSmall(benchmark::State& s) {
    runHandler(s, lidarFileOf(20000, 300000));
}
void LidarLarge(benchmark::State& s) {
    runHandler(s, lidarFileOf(5000000, kLargePlaneData));
}
// Many hosts at once, each thread with its own stream and object: every read of every thread
// passes the one shared mutex.
void LidarSmallThreads(benchmark::State& s) {
    static const Bytes file = lidarFileOf(20000, 300000);
    runHandler(s, file);
}

BENCHMARK(Generation2Small);
BENCHMARK(Generation2Large);
BENCHMARK(Generation3Small);
BENCHMARK(Generation3Large);
BENCHMARK(Generation4Small);
BENCHMARK(Generation4Large);
BENCHMARK(Generation3QuarterMillionImages)->Unit(benchmark::kMillisecond);
BENCHMARK(Generation3ManyImages)
    ->Arg(100)
    ->Arg(200)
    ->Arg(300)
    ->Arg(350)
    ->Arg(400)
    ->Arg(512) // the most images a file may hold
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Generation3ImagesAllAlike)
    ->Arg(250000)
    ->Arg(262144)
    ->Arg(500000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Generation3MostImagesWithMetadata)->Unit(benchmark::kMillisecond);
BENCHMARK(RasterTrailingZeros)->Unit(benchmark::kMillisecond);
BENCHMARK(RasterTinyPackets)->Unit(benchmark::kMillisecond);
BENCHMARK(Generation3StackedImagesOfManyBands)
    ->Arg(34)
    ->Arg(539)
    ->Arg(2167)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Generation3MostStackedImagesFromDisk)->Unit(benchmark::kMillisecond);
BENCHMARK(Generation3StackedImagesOnePixel)
    ->Arg(34)
    ->Arg(539)
    ->Arg(2167)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(LidarSmall);
BENCHMARK(LidarLarge);
BENCHMARK(LidarSmallThreads)->Threads(1)->Threads(8)->Threads(32)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
