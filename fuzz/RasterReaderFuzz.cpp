// Fuzz target: a raster file opened through the reader front, everything it then describes, and
// the pixels of every image: a scene at full resolution and at the coarsest magnification, and a
// window; and the same bytes opened as a container, with the description of each of its images.

#include "FuzzRasterSupport.h"
#include "QuarnImageReader.h"
#include "QuarnImageStageManager.h"
#include "buffers/KVISceneBuffer.h"
#include "model/KVIScene.h"
#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3FileSimpleImageSource.h"
#include "qg3/planes/QG3EstimateMemory.h"
#include "support/KVIRef.h"
#include "support/KVMagnification.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace Korvel;

namespace {

using quarn_fuzz::sink;

// The image's answers about scenes at every level it has, and one beyond. Levels below the first
// whose image is a single pixel have the same image and are asked once: each answer costs what
// the pixel description costs (a copy of every band's sample), and a header may declare far
// more levels than its image has.
void inspectScenes(KVIImageStage& stage, std::uint8_t numLevels) {
    const KVIScene full(0.0, 0.0, stage.getWidth(), stage.getHeight(), 1.0);
    sink =
        sink + stage.getModifications(full) + static_cast<std::uint64_t>(stage.getSceneCost(full));
    KVIScene clipped;
    sink = sink + stage.clipScene(full, clipped);
    unsigned singlePixelLevels = 0;
    for (std::int32_t level = -1; level <= numLevels + 1; ++level) {
        const double mag = levelToMag(level);
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        if (stage.getDimsAtMag(mag, width, height) != KV_OK) continue;
        const KVIScene scene(0.0, 0.0, width, height, mag);
        sink = sink + width + height + stage.getModifications(scene) +
               static_cast<std::uint64_t>(stage.getSceneCost(scene)) + stage.checkScene(scene);
        if (level >= 0 && width <= 1 && height <= 1 && ++singlePixelLevels == 2) break;
    }
}

// Scenes are read as a window of their top-left corner that holds at most kMaxSamples samples
// over all bands (and at least one pixel) and is at most kMaxSide wide, as other codecs' fuzzers
// bound what they decode: a larger image is no slower to read than its window, so that a time-out
// means a decode out of proportion to what it outputs and reads.
constexpr std::uint32_t kMaxSide = 256;
constexpr std::uint64_t kMaxSamples = 65536;

// Reads the scene (its corner when larger) and touches the pixels.
void readPixels(KVIImageStage& stage, double x, double y, std::uint32_t width, std::uint32_t height,
                double mag) {
    const KVIPixel pixel = stage.getPixelProps();
    const std::uint64_t bands = std::max<std::uint16_t>(pixel.getNumBands(), 1);
    const std::uint64_t pixels = std::max<std::uint64_t>(kMaxSamples / bands, 1);
    width = std::uint32_t(std::min<std::uint64_t>({width, kMaxSide, pixels}));
    if (width == 0) return;
    height =
        std::uint32_t(std::min<std::uint64_t>(height, std::max<std::uint64_t>(pixels / width, 1)));
    if (height == 0) return;
    try {
        KVISceneBuffer buffer(pixel, width, height, nullptr);
        sink = sink + stage.read(KVIScene(x, y, width, height, mag), buffer);
        for (std::uint16_t b = 0; b < buffer.getNumBands(); ++b)
            quarn_fuzz::touch(buffer.getWindowBandData(b),
                              std::size_t(width) * height * buffer.getBytesPerSample(b));
    } catch (const KVUtilException&) {
    }
}

// A scene of the image at full size and at its coarsest magnification, and a window inside.
void decodeImage(KVIImageStage& stage) {
    for (const double mag : {1.0, stage.getMinMagnification()}) {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        if (stage.getDimsAtMag(mag, width, height) != KV_OK) continue;
        readPixels(stage, 0.0, 0.0, width, height, mag);
        if (mag == 1.0) readPixels(stage, width / 3, height / 2, width / 2, 3, mag);
    }
}

void openWithReader(const std::uint8_t* data, std::size_t size) {
    auto stream = quarn_fuzz::memoryStream(data, size);
    if (!stream) return;
    const KVIRef<QuarnImageReader> reader(QuarnImageReader::create());
    if (!reader) return;
    if (reader->initialize(stream.get(), nullptr, QRN_MEMORY_AUTOMATIC,
                           QRN_STREAM_OPEN_PER_ACCESS) == KV_OK) {
        std::uint8_t b0 = 0, b1 = 0, b2 = 0, b3 = 0;
        reader->getVersion(b0, b1, b2, b3);
        sink = sink + b0 + b1 + b2 + b3 + reader->getMemoryUsage();
        quarn_fuzz::inspectImage(*reader);
        inspectScenes(*reader, reader->getNumLevels());
        if (KVIImageStage* single = reader->getSingleStage()) quarn_fuzz::inspectImage(*single);
        QuarnImageStageManager* manager = reader->getStageManager();
        for (std::uint32_t i = 0; i < manager->getNumImages(); ++i) {
            KVIImageStage* stage = nullptr;
            if (manager->getImageStage(i, stage) != KV_OK || stage == nullptr) continue;
            const KVIRef<KVIImageStage> held(stage);
            decodeImage(*stage);
        }
        // A file of several images is read through its mosaic.
        if (reader->getSingleStage() == nullptr) decodeImage(*reader);
        KVIImageStage* overview = nullptr;
        if (reader->getStageManager()->getOverviewImageStage(overview) == KV_OK &&
            overview != nullptr) {
            const KVIRef<KVIImageStage> held(overview);
            quarn_fuzz::inspectImage(*overview);
            inspectScenes(*overview, 0);
            decodeImage(*overview);
        }
    }
}

void describeSource(QG3FileSimpleContainer& container, const QG3ImageDesc& desc) {
    QG3FileSimpleImageSource source(&container, desc.imageNumber);
    if (source.open() != KV_OK) return;
    const QG3ImageInfo* info = source.getImageInfo();
    sink = sink + info->totalSubblocks + info->numSubbands + info->dataType;
    const QG3BandSet& bands = source.getBandSet();
    if (bands.getBits() != nullptr)
        quarn_fuzz::touch(bands.getBits(), (bands.getBitCount() + 7u) / 8u);
    sink = sink + source.getNumSelectedBands() + source.getBytesPerSample() + source.getWidth() +
           source.getHeight() + source.getNumLevels();
    for (std::int32_t level = 0; level <= source.getNumLevels(); ++level) {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        source.getDimensionsAtLevel(level, width, height);
        const KVIRect rect = source.getLevelRect(KVIRect{0, 0, 0, 0}, level);
        sink = sink + width + height + static_cast<std::uint32_t>(rect.x1 - rect.x0);
    }
    if (source.hasGeoref())
        sink = sink +
               static_cast<std::uint64_t>(source.getXOrigin() + source.getYOrigin() +
                                              source.getXResolution() + source.getYResolution() !=
                                          0.0);
    if (const KVIPixel* pixel = source.getNoDataPixel()) quarn_fuzz::inspectPixel(*pixel);
    if (const KVIPixel* pixel = source.getBackgroundPixel()) quarn_fuzz::inspectPixel(*pixel);
}

void openAsContainer(const std::uint8_t* data, std::size_t size) {
    auto stream = quarn_fuzz::memoryStream(data, size);
    if (!stream) return;
    QG3FileSimpleContainer container(stream.get(), false);
    if (container.open() != KV_OK) return;
    const QG3FileVersion version = container.getFileVersion();
    quarn_fuzz::touch(&version, sizeof version);
    sink = sink + container.getContentsId();
    for (const QG3ImageDesc& desc : *container.getImageDescriptors()) {
        describeSource(container, desc);
        std::uint64_t bytes = 0;
        if (container.openStream() == KV_OK) {
            estimateMemory(&container, desc.imageNumber, bytes);
            container.closeStream();
        }
        sink = sink + bytes;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    openWithReader(data, size);
    openAsContainer(data, size);
    return 0;
}
