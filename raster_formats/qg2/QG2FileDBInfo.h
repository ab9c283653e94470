#pragma once
// The database information of a generation-2 file, read from its stream. Big-endian throughout:
//
//   "qrnd", 3 version bytes, u32 bands, u32 levels L, u32 width, u32 height,
//   (3L + 1) u32 subband offsets,
//   optional segments, in this order, each introduced by 0xFF and a code:
//     0xD0  u32 metadata offset
//     0xD2  u32 x0, y0, x1, y1 (the stored region, inclusive), u32 level offset
//     0xD3  no body; the position after it is recorded
//
// Versions read: a first byte of 0, or 1 with a second byte of 0 or 1.

#include "QG2DBInfo.h"

namespace Korvel {

class QG2FileDBInfo : public QG2DBInfo {
public:
    // The stream is not owned. readHeader must succeed before the information is used.
    QG2FileDBInfo(KVIOStreamInf* stream, bool dither, bool keepOpen, bool shared);
    ~QG2FileDBInfo() override;

    // Opens the stream, reads the header, its segments and the information of every subband,
    // closes the stream (unless it is kept open). The first failure is returned:
    // KV_QG2_BAD_MAGIC, KV_QG2_BAD_VERSION, KV_QG2_SHORT_READ, KV_QG2_SEEK_FAILED,
    // KV_QG2_BAD_STRUCTURE (no pixels, more than 31 levels, an inverted region, a level offset
    // above 31, or a subband information that is malformed), KV_OUT_OF_MEMORY.
    KVStatus readHeader();
    // The header and its segments alone, from the stream as it stands (neither opened nor
    // closed), with the statuses of readHeader: what a reader needs before the subbands, such as
    // the metadata offset and the stream's length. readHeader walks the header through this.
    KVStatus readFileHeader();
    // The rest of readHeader after a readFileHeader that succeeded: opens the stream, reads the
    // information of every subband, closes the stream (unless it is kept open).
    KVStatus readSubbands();
    // The stream's length as readFileHeader found it.
    std::uint64_t getStreamLength() const { return streamLength_; }
    KVStatus clone(std::unique_ptr<QG2DBInfo>& copy) override;

    // Levels beyond this leave nothing to halve in a 32-bit size.
    static constexpr std::uint32_t kMaxLevels = 31;
    // Region-grid cells that all subbands of one file may take together.
    static constexpr std::uint64_t kMaxGridCells = std::uint64_t{1} << 22;

private:
    KVStatus parseSubbands();

    std::unique_ptr<KVIOStreamInf> ownedStream_;
    std::uint64_t streamLength_ = 0;
};

} // namespace Korvel
