#pragma once
// One band of one region of a subband: the contents of its block directory (the Huffman table,
// the quantisation step and the block size) and the grid of blocks that covers the region. The
// blocks' bytes come from the derived class (FileBand reads them from the file).
//
// Block directory: 0xFF 0xAA; BITS (16 bytes); HUFFVAL (as many bytes as BITS counts); the step
// (big-endian 32-bit float); block width and block height (u32); one u32 file offset per block,
// ceil(region height / block height) rows of ceil(region width / block width), row by row.

#include "QG2HuffmanTree.h"
#include "model/KVIRect.h"
#include "support/KVStatus.h"

#include <array>
#include <cstdint>
#include <vector>

namespace Korvel {

class QG2Band {
public:
    QG2Band(const QG2Band&) = delete;
    QG2Band& operator=(const QG2Band&) = delete;
    virtual ~QG2Band();

    // The region the band covers, in subband coordinates.
    const KVIRect& getRegion() const { return region_; }
    const std::array<std::uint8_t, 16>& getBits() const { return bits_; }
    const std::vector<std::uint8_t>& getHuffVal() const { return huffval_; }
    float getStep() const { return step_; }
    std::uint32_t getBlockWidth() const { return blockWidth_; }
    std::uint32_t getBlockHeight() const { return blockHeight_; }
    std::uint32_t getBlocksAcross() const { return blocksAcross_; }
    std::uint32_t getBlocksDown() const { return blocksDown_; }
    std::uint32_t getBlockCount() const { return blockCount_; }
    // Block index (row-major from 0) to its rectangle: from its corner to one block size on,
    // clipped to the region. Empty for an index beyond the grid.
    KVIRect getBlockRect(std::uint32_t index) const;

    // The band's Huffman tree (QG2HuffmanTree::build).
    KVStatus buildTree(QG2HuffmanTree& tree) const;
    // The coded bytes of a block; none for a block without bytes. KV_BAD_ARGUMENT for an index
    // beyond the grid.
    KVStatus readBlock(std::uint32_t index, std::vector<std::uint8_t>& bytes) {
        return readBlockFrom(index, 0, bytes);
    }
    // As readBlock, but only the bytes from position from of the block on are read; those before
    // it are left zero (a decode that continues from a resume state never looks back).
    virtual KVStatus readBlockFrom(std::uint32_t index, std::uint64_t from,
                                   std::vector<std::uint8_t>& bytes) = 0;

protected:
    explicit QG2Band(const KVIRect& region) : region_(region) {}
    // Takes the directory's fields and lays out the block grid. KV_QG2_BAD_STRUCTURE for a block
    // size of 0 or a grid of more than 2^32 - 1 blocks.
    KVStatus setDirectory(const std::array<std::uint8_t, 16>& bits,
                          std::vector<std::uint8_t> huffval, float step, std::uint32_t blockWidth,
                          std::uint32_t blockHeight);
    // The number of blocks a directory with this block size would list (0 for a block size of 0).
    std::uint64_t blocksFor(std::uint32_t blockWidth, std::uint32_t blockHeight) const;

private:
    KVIRect region_;
    std::array<std::uint8_t, 16> bits_{};
    std::vector<std::uint8_t> huffval_;
    float step_ = 0.0f;
    std::uint32_t blockWidth_ = 0;
    std::uint32_t blockHeight_ = 0;
    std::uint32_t blocksAcross_ = 0;
    std::uint32_t blocksDown_ = 0;
    std::uint32_t blockCount_ = 0;
};

} // namespace Korvel
