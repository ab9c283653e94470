#include "QG2DecodeSubband.h"

#include "QG2DecodeBlock.h"
#include "QG2Dequantise.h"
#include "QG2Status.h"
#include "support/KVUtilException.h"

#include <memory>
#include <vector>

namespace Korvel {
namespace {

void throwIfFailed(KVStatus status) {
    if (status != KV_OK) throw KVUtilException(status);
}

void askInterrupt(KVIInterruptDelegate* interrupt) {
    if (interrupt != nullptr && interrupt->checkInterrupt() != KV_OK)
        throw KVUtilException(KV_QG2_INTERRUPTED);
}

class LeafDecoder {
public:
    LeafDecoder(QG2DBInfo& dbInfo, std::int32_t level, QG2BlockCache& cache, QG2BandCache& bands,
                KVIInterruptDelegate* interrupt, QG2DecodeCounts& counts)
        : dbInfo_(dbInfo), level_(level), cache_(cache), bands_(bands), interrupt_(interrupt),
          counts_(counts) {}

    void decode(QG2Subband& leaf) {
        const KVIRect& rect = leaf.getRect();
        if (rect.isEmpty()) return;
        leaf.allocatePlanes();
        QG2SubbandInfo* info = dbInfo_.getSubbandInfo(leaf.getLeafNumber());
        if (info == nullptr) return;
        throwIfFailed(info->regionsMeeting(rect, regions_));
        const std::uint32_t bands = std::min(info->getNumBands(), leaf.getPlaneCount());
        for (const std::uint32_t region : regions_) {
            for (std::uint32_t b = 0; b < bands; ++b) {
                if (!info->hasBand(region, b)) continue;
                QG2BandCache::Entry* band = nullptr;
                throwIfFailed(bands_.find(*info, leaf.getLeafNumber(), region, b, band));
                decodeBand(leaf, *info, region, b, *band);
            }
        }
    }

private:
    void decodeBand(QG2Subband& leaf, const QG2SubbandInfo& info, std::uint32_t region,
                    std::uint32_t b, QG2BandCache::Entry& entry) {
        QG2Band& band = *entry.band;
        const KVIRect& rect = leaf.getRect();
        const KVIRect met = rect.intersect(band.getRegion());
        if (met.isEmpty()) return;
        const QG2HuffmanTree* tree = nullptr;
        throwIfFailed(QG2BandCache::tree(entry, tree));
        const float step = leaf.dequantisationStep(band.getStep(), level_);
        QG2Dither dither;
        dither.columnOffset = info.getColumnDitherOffset();
        dither.rowOffset = info.getRowDitherOffset();
        const bool dithered = b == 0 && dbInfo_.getDither();

        // Only the blocks that the rectangle meets; their indices count every block of the grid.
        const KVIRect& r = band.getRegion();
        const std::int64_t firstColumn = (std::int64_t{met.x0} - r.x0) / band.getBlockWidth();
        const std::int64_t lastColumn = (std::int64_t{met.x1} - r.x0) / band.getBlockWidth();
        const std::int64_t firstRow = (std::int64_t{met.y0} - r.y0) / band.getBlockHeight();
        const std::int64_t lastRow = (std::int64_t{met.y1} - r.y0) / band.getBlockHeight();
        for (std::int64_t row = firstRow; row <= lastRow; ++row) {
            for (std::int64_t column = firstColumn; column <= lastColumn; ++column) {
                const auto index =
                    static_cast<std::uint32_t>(row * band.getBlocksAcross() + column);
                const KVIRect block = band.getBlockRect(index);
                const KVIRect wanted = block.intersect(rect);
                if (wanted.isEmpty()) continue;
                // A block continued from an earlier strip comes from the bytes kept with its
                // state, or else from its bytes beyond the state's position; a new one is read
                // whole.
                const QG2BlockKey key{b, region, leaf.getLeafNumber(), index};
                const QG2BlockCache::Entry* resume = cache_.find(key);
                const std::vector<std::uint8_t>* bytes = &bytes_;
                if (resume != nullptr && !resume->bytes.empty()) {
                    bytes = &resume->bytes;
                    bytes_.clear();
                } else {
                    throwIfFailed(band.readBlockFrom(
                        index, resume != nullptr ? resume->state.bytePosition : 0, bytes_));
                    if (bytes_.empty()) continue;
                }
                const auto width = static_cast<std::uint32_t>(wanted.width());
                const auto height = static_cast<std::uint32_t>(wanted.height());
                coefficients_.assign(std::size_t{width} * height, 0);
                askInterrupt(interrupt_);

                ++(resume != nullptr ? counts_.blocksResumed : counts_.blocksStarted);
                counts_.rowsDecoded += height;
                const std::optional<QG2ResumeState> state =
                    qg2DecodeBlock(*tree, bytes->data(), bytes->size(), coefficients_.data(), block,
                                   wanted, resume != nullptr ? &resume->state : nullptr);
                cache_.update(key, state, bytes_);
                askInterrupt(interrupt_);

                dither.column = static_cast<std::uint32_t>(wanted.x0);
                dither.row = static_cast<std::uint32_t>(wanted.y0);
                float* out = leaf.row(b, static_cast<std::uint32_t>(wanted.y0 - rect.y0)) +
                             (wanted.x0 - rect.x0);
                qg2Dequantise(coefficients_.data(), width, height, out, leaf.getStride(), step,
                              dithered ? &dither : nullptr);
            }
        }
    }

    QG2DBInfo& dbInfo_;
    std::int32_t level_;
    QG2BlockCache& cache_;
    QG2BandCache& bands_;
    KVIInterruptDelegate* interrupt_;
    QG2DecodeCounts& counts_;
    std::vector<std::uint32_t> regions_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::int32_t> coefficients_;
};

} // namespace

void qg2DecodeSubband(QG2Subband& tree, QG2DBInfo& dbInfo, std::int32_t level, QG2BlockCache& cache,
                      QG2BandCache& bands, KVIInterruptDelegate* interrupt,
                      QG2DecodeCounts& counts) {
    LeafDecoder decoder(dbInfo, level, cache, bands, interrupt, counts);
    tree.forEachLeaf([&](QG2Subband& leaf) { decoder.decode(leaf); });
}

} // namespace Korvel
