#pragma once
// A band of a generation-2 file: reads its block directory and, on request, its blocks. A block
// ends where the next block begins; the last one at the next block directory of the subband, or
// at the subband's end.

#include "QG2Band.h"

#include <cstdint>

namespace Korvel {

class QG2FileSubbandInfo;

class FileBand : public QG2Band {
public:
    // Valid while the subband information lives; reads through its stream.
    FileBand(const QG2FileSubbandInfo& subband, const KVIRect& region,
             std::uint32_t directoryOffset);

    // Reads the directory. KV_QG2_BAD_STRUCTURE without the 0xFF 0xAA marker, for BITS counting
    // more than 256 codes or a block size of 0; KV_QG2_SHORT_READ when the directory or its block
    // offsets reach beyond the stream; KV_QG2_SEEK_FAILED.
    KVStatus read();
    // KV_QG2_BAD_STRUCTURE for a block that ends before it begins, KV_QG2_SHORT_READ for one that
    // ends beyond the stream, KV_OUT_OF_MEMORY.
    KVStatus readBlockFrom(std::uint32_t index, std::uint64_t from,
                           std::vector<std::uint8_t>& bytes) override;

private:
    const QG2FileSubbandInfo& subband_;
    std::uint32_t directoryOffset_;
    std::uint64_t tablePosition_ = 0;
};

} // namespace Korvel
