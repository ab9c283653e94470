// Fuzz target: a generation-2 file read as its database information, then every band of every
// region of every subband made, and its blocks read, decoded strip by strip (resuming where the
// strip before stopped) and dequantised, band 0 with the dither.

#include "FuzzRasterSupport.h"
#include "KVUtilException.h"
#include "qg2/QG2Decoder.h"
#include "qg2/QG2FileDBInfo.h"

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
                 const QG2Rect& block, std::uint32_t index, float step, const QG2Dither* dither,
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
        const QG2Rect wanted{static_cast<std::int32_t>(block.x0 + skipped),
                             static_cast<std::int32_t>(block.y0 + row),
                             static_cast<std::int32_t>(block.x0 + skipped + columns - 1),
                             static_cast<std::int32_t>(block.y0 + row + rows - 1)};
        try {
            state =
                QG2Decoder::decodeBlock(tree, bytes.data(), bytes.size(), work.coefficients.data(),
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
        QG2Decoder::dequantise(work.coefficients.data(), static_cast<std::uint32_t>(columns),
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
        const QG2Rect& rect = subband.getRegion(region);
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
    return 0;
}
