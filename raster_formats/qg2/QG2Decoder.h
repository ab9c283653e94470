#pragma once
// The generation-2 decoder of one image: decodes a rectangle at a level, strip by strip, into a
// caller's scene buffer. Each strip builds the subband tree of its rows (QG2Subband), decodes the
// coded blocks its leaves need (QG2DecodeSubband), synthesises the tree (QG2Synthesis) and
// converts the result (QG2OutputConversion). Between strips the decoder keeps the next strip's
// tree and the overlap of the two (the coefficient rows both need, already decoded), so that a
// strip decodes only the rows below the overlap, and the block cache, so that a block spanning
// two strips continues where it stopped (from its bytes kept in the cache, within a limit of a few
// bytes per sample of a strip): every coefficient row is decoded once, each coded byte is read
// about once, and memory is bounded by the strip, not the image. The band cache keeps the bands
// met (their directories and Huffman trees) from strip to strip.

#include "Array2D.h"
#include "QG2BlockCache.h"
#include "QG2DecodeSubband.h"
#include "buffers/KVISceneBuffer.h"
#include "model/KVIRect.h"
#include "stages/KVIImageStage.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace Korvel {

class QG2DBInfo;
class QG2Subband;

class QG2Decoder {
public:
    // The database information and the interrupt delegate are not owned; the information must
    // outlive the decoder.
    explicit QG2Decoder(QG2DBInfo* dbInfo, KVIInterruptDelegate* interrupt = nullptr);
    QG2Decoder(const QG2Decoder&) = delete;
    QG2Decoder& operator=(const QG2Decoder&) = delete;
    virtual ~QG2Decoder();

    // Asked before and after each block and after each batch of synthesised columns; a nonzero
    // answer stops the strip with KV_QG2_INTERRUPTED.
    void setInterruptDelegate(KVIInterruptDelegate* interrupt) { interrupt_ = interrupt; }

    // KV_BAD_ARGUMENT without database information.
    KVStatus initialize();
    // The most coded bytes the block cache keeps for blocks that span strips, from the next
    // decodeBegin on. By default 2 bytes per sample of a strip (columns x strip height x bands),
    // and no less than 256 KB; a block whose bytes do not fit is read again from where it stopped.
    void setKeptByteLimit(std::optional<std::uint64_t> limit) { keptByteLimit_ = limit; }

    // Starts decoding a rectangle (inclusive, in the image's coordinates at the level; the empty
    // rectangle is accepted) at a level (negative: magnifying) in strips of stripHeight rows.
    // With shared use (QG2DBInfo::isShared) the information's lock is taken first and held until
    // decodeEnd, so that reads through one decoder follow one another; then trees left from an
    // earlier decode go. KV_QG2_OUTSIDE_REGION for a rectangle not
    // wholly inside the stored region at that level (the region lies at its level offset),
    // KV_BAD_ARGUMENT for a strip height of 0, KV_QG2_BAD_SUBBAND_RECT for an image size beyond
    // 31 bits at that level; the lock's status.
    KVStatus decodeBegin(const KVIRect& rect, std::int32_t level, std::uint32_t stripHeight);
    // Decodes the next strip into the top left of the buffer's window: the rectangle's columns
    // (clipped to the image at the level) and the strip's rows. A strip beyond the rectangle, or
    // an image whose band count is not 1, 3 or 4, writes nothing. Statuses: the stream's open and
    // close statuses; the tree, block and interrupt statuses raised inside; KV_OUT_OF_MEMORY;
    // KV_QG2_UNEXPECTED_EXCEPTION; the output conversion's. After a failure every later strip of
    // the decode gives the same status.
    KVStatus decodeStrip(KVISceneBuffer& buffer);
    // Ends the decode: the trees and the block cache are emptied and the lock released.
    KVStatus decodeEnd();

    // The rectangle clipped to the image at the level, and its number of strips.
    const KVIRect& getClippedRect() const { return clipped_; }
    std::uint32_t getNumStrips() const { return numStrips_; }
    const QG2BlockCache& getBlockCache() const { return cache_; }
    // What the block decoding did since the decode began.
    const QG2DecodeCounts& getCounts() const { return counts_; }

private:
    // Gives up this decode's hold on the lock; status comes back.
    KVStatus release(KVStatus status);
    // The clipped rectangle, the number of strips and the block cache's limit for a rectangle.
    void layOut(const KVIRect& rect);
    KVStatus decodeStripRows(KVISceneBuffer& buffer, const KVIRect& strip);
    KVIRect stripRect(std::uint64_t index) const;
    std::unique_ptr<QG2Subband> buildTree(const KVIRect& rect);
    void destroyTrees();

    QG2DBInfo* dbInfo_;
    KVIInterruptDelegate* interrupt_;
    std::int32_t level_ = 0;
    std::uint32_t stripHeight_ = 1;
    KVIRect clipped_;
    std::uint32_t numStrips_ = 0;
    std::uint64_t strip_ = 0;
    bool locked_ = false;
    KVStatus failed_ = KV_OK;
    std::optional<std::uint64_t> keptByteLimit_;
    // The trees' planes come from here; declared before the trees, so it outlives them.
    PlanePool<float> pool_;
    std::unique_ptr<QG2Subband> current_;
    std::unique_ptr<QG2Subband> next_;
    std::unique_ptr<QG2Subband> overlap_;
    QG2BlockCache cache_;
    QG2BandCache bands_;
    QG2DecodeCounts counts_;
};

} // namespace Korvel
