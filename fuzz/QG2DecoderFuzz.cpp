// Fuzz target: a generation-2 file read as its database information, then every band of every
// region of every subband made, and its blocks read, decoded strip by strip (resuming where the
// strip before stopped) and dequantised, band 0 with the dither; then a scene of the image decoded
// by the decoder at two levels, strip by strip, into a scene buffer.

#include "FuzzRasterSupport.h"
#include "buffers/KVISceneBuffer.h"
#include "model/KVIColorSpace.h"
#include "qg2/QG2DecodeBlock.h"
#include "qg2/QG2Decoder.h"
#include "qg2/QG2Dequantise.h"
#include "qg2/QG2FileDBInfo.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

using namespace Korvel;

namespace {

using quarn_fuzz::sink;

// Work per input is held to these, whatever the sizes in the file, so that each input runs in a
// bounded time: coefficients of one strip, columns of a strip, and coefficients over all strips.
constexpr std::uint64_t kStripCoefficients = 1u << 16;
constexpr std::uint64_t kStripColumns = 4096;
constexpr std::uint64_t kTotalCoefficients = 1u << 22;

struct Work {
    std::uint64_t coefficientsLeft = kTotalCoefficients;
    std::vector<std::int32_t> coefficients;
    std::vector<float> samples;
};

// Decodes the block in strips of a few rows, each continuing where the one before stopped, over
// all its columns or, for every third block, all but the first (as a scene that cuts the block).
void decodeBlock(const QG2HuffmanTree& tree, const std::vector<std::uint8_t>& bytes,
                 const KVIRect& block, std::uint32_t index, float step, const QG2Dither* dither,
                 Work& work) {
    const std::uint64_t width = static_cast<std::uint64_t>(block.width());
    const std::uint64_t height = static_cast<std::uint64_t>(block.height());
    if (width == 0 || height == 0) return;
    const std::uint64_t skipped = index % 3 == 2 && width > 1 ? 1 : 0;
    const std::uint64_t columns = std::min(width - skipped, kStripColumns);
    const std::uint64_t rowsPerStrip = std::max<std::uint64_t>(
        1, std::min<std::uint64_t>(kStripCoefficients / columns, 1 + index % 4));
    std::optional<QG2ResumeState> state;
    for (std::uint64_t row = 0; row < height; row += rowsPerStrip) {
        const std::uint64_t rows = std::min(rowsPerStrip, height - row);
        const std::uint64_t area = rows * columns;
        if (area > work.coefficientsLeft) return;
        work.coefficientsLeft -= area;
        work.coefficients.assign(area, 0);
        work.samples.assign(area, 0.0f);
        const KVIRect wanted{static_cast<std::int32_t>(block.x0 + skipped),
                             static_cast<std::int32_t>(block.y0 + row),
                             static_cast<std::int32_t>(block.x0 + skipped + columns - 1),
                             static_cast<std::int32_t>(block.y0 + row + rows - 1)};
        try {
            state = qg2DecodeBlock(tree, bytes.data(), bytes.size(), work.coefficients.data(),
                                   block, wanted, state ? &*state : nullptr);
        } catch (const KVUtilException&) {
            return;
        }
        QG2Dither placed;
        if (dither != nullptr) {
            placed = *dither;
            placed.column = static_cast<std::uint32_t>(wanted.x0);
            placed.row = static_cast<std::uint32_t>(wanted.y0);
        }
        qg2Dequantise(work.coefficients.data(), static_cast<std::uint32_t>(columns),
                      static_cast<std::uint32_t>(rows), work.samples.data(), columns, step,
                      dither != nullptr ? &placed : nullptr);
        quarn_fuzz::touch(work.samples.data(), work.samples.size() * sizeof(float));
        if (!state) return;
    }
}

void decodeBand(QG2SubbandInfo& subband, QG2Band& band, bool dithered, Work& work) {
    QG2HuffmanTree tree;
    const bool haveTree = band.buildTree(tree) == KV_OK;
    sink = sink + band.getBlocksAcross() + band.getBlocksDown() + tree.nodeCount();
    QG2Dither dither;
    dither.columnOffset = subband.getColumnDitherOffset();
    dither.rowOffset = subband.getRowDitherOffset();
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t k = 0; k < band.getBlockCount() && work.coefficientsLeft > 0; ++k) {
        // Reading a block costs a seek and a read, even when it is not decoded.
        if (work.coefficientsLeft < 64) return;
        work.coefficientsLeft -= 64;
        if (band.readBlock(k, bytes) != KV_OK) continue;
        quarn_fuzz::touch(bytes.data(), bytes.size());
        if (!haveTree || bytes.empty()) continue;
        decodeBlock(tree, bytes, band.getBlockRect(k), k, band.getStep(),
                    dithered ? &dither : nullptr, work);
    }
}

void decodeSubband(QG2FileDBInfo& info, QG2SubbandInfo& subband, Work& work) {
    std::vector<std::uint32_t> met;
    subband.regionsMeeting(subband.getBoundingBox(), met);
    sink = sink + met.size();
    for (std::uint32_t region : met) {
        const KVIRect& rect = subband.getRegion(region);
        sink = sink + static_cast<std::uint64_t>(rect.width() + rect.height());
        for (std::uint32_t b = 0; b < subband.getNumBands() && work.coefficientsLeft > 0; ++b) {
            if (!subband.hasBand(region, b)) continue;
            // Making a band reads its directory.
            if (work.coefficientsLeft < 256) return;
            work.coefficientsLeft -= 256;
            std::unique_ptr<QG2Band> band;
            if (subband.createBand(region, b, band) != KV_OK) continue;
            decodeBand(subband, *band, b == 0 && info.getDither(), work);
        }
    }
}

// The top left of the stored region at a level (at most 48 x 40 pixels, strips of 16 rows),
// decoded into 8-bit samples, or floats for one band.
void decodeScene(QG2FileDBInfo& info, std::int32_t sceneLevel) {
    KVIRect region;
    if (info.getRegionAtLevel(sceneLevel, region) != KV_OK) return;
    const KVIRect rect{region.x0, region.y0, std::min(region.x1, region.x0 + 47),
                       std::min(region.y1, region.y0 + 39)};
    QG2Decoder decoder(&info);
    constexpr std::uint32_t kStrip = 16;
    const auto level = sceneLevel + static_cast<std::int32_t>(info.getLevelOffset());
    if (decoder.initialize() != KV_OK || decoder.decodeBegin(rect, level, kStrip) != KV_OK) return;
    const auto width = static_cast<std::uint32_t>(decoder.getClippedRect().width());
    const auto height = static_cast<std::uint32_t>(decoder.getClippedRect().height());
    const std::uint32_t bands = info.getNumBands();
    const std::uint16_t pixelBands =
        bands == 3 || bands == 4 ? static_cast<std::uint16_t>(bands) : 1;
    const KVIPixel pixel(pixelBands == 1   ? KVI_COLORSPACE_GREY
                         : pixelBands == 3 ? KVI_COLORSPACE_RGB
                                           : KVI_COLORSPACE_CMYK,
                         pixelBands, pixelBands == 1 ? KVI_DATATYPE_FLOAT32 : KVI_DATATYPE_UINT8);
    KVISceneBuffer buffer(pixel, std::max(width, 1u), std::max(height, 1u));
    for (std::uint32_t k = 0; k < decoder.getNumStrips(); ++k) {
        KVISceneBuffer window(buffer, 0, k * kStrip, width, std::min(kStrip, height - k * kStrip));
        if (decoder.decodeStrip(window) != KV_OK) break;
    }
    sink = sink + decoder.getCounts().rowsDecoded + decoder.decodeEnd();
    for (std::uint16_t b = 0; b < pixelBands; ++b)
        quarn_fuzz::touch(buffer.getWindowBandData(b), std::size_t{buffer.getTotalWidth()} *
                                                           buffer.getTotalHeight() *
                                                           buffer.getBytesPerSample(b));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto stream = quarn_fuzz::memoryStream(data, size);
    if (!stream) return 0;
    QG2FileDBInfo info(stream.get(), true, false, false);
    if (info.readHeader() != KV_OK) return 0;
    sink = sink + info.getNumBands() + info.getNumLevels() + info.getWidth() + info.getHeight() +
           info.getMetadataOffset() + info.getLevelOffset() + info.getD3Position();
    std::unique_ptr<QG2DBInfo> copy;
    if (info.clone(copy) == KV_OK) sink = sink + copy->getNumSubbands();

    if (info.openStream() != KV_OK) return 0;
    Work work;
    for (std::uint32_t s = 0; s < info.getNumSubbands(); ++s) {
        sink = sink + info.getSubbandOffset(s);
        if (QG2SubbandInfo* subband = info.getSubbandInfo(s)) decodeSubband(info, *subband, work);
    }
    info.closeStream();
    decodeScene(info, 0);
    decodeScene(info, 1);
    return 0;
}
