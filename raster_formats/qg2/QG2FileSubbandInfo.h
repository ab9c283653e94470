#pragma once
// The subband information of a generation-2 file, read at the subband's offset:
//   0xFF 0xAC, u8 column dither offset, u8 row dither offset, u32 N (regions),
//   N records of (bands + 4) u32: one block-directory offset per band, then x0, y0, x1, y1.
// Its coded data ends at the offset handed in (the next subband's, or the metadata's, or the
// stream's length minus 2).

#include "QG2Status.h"
#include "QG2SubbandInfo.h"
#include "streams/KVIOBodyReader.h"
#include "streams/KVIOStreamInf.h"

#include <cstdint>

namespace Korvel {

class QG2FileSubbandInfo : public QG2SubbandInfo {
public:
    // The stream is not owned and must be open whenever this reads.
    QG2FileSubbandInfo(KVIOStreamInf* stream, std::uint64_t streamLength, std::uint32_t bands,
                       std::uint64_t offset, std::uint64_t end);

    // Reads the information. KV_QG2_BAD_STRUCTURE without the 0xFF 0xAC marker, for an inverted
    // region, regions that overlap, or records beyond the budget; KV_QG2_SHORT_READ when the
    // records reach beyond the stream; KV_QG2_SEEK_FAILED; KV_OUT_OF_MEMORY.
    KVStatus read(QG2InfoBudget& budget);
    // A FileBand whose directory has been read (FileBand::read's statuses).
    KVStatus createBand(std::uint32_t region, std::uint32_t band,
                        std::unique_ptr<QG2Band>& out) override;

    // The whole stream as a body of its length, with the generation-2 statuses.
    KVIOBodyReader streamReader() const {
        return {stream_, 0, static_cast<std::int64_t>(streamLength_), KV_QG2_SHORT_READ,
                KV_QG2_SEEK_FAILED};
    }
    // Where the last block of a directory, starting at start, ends: at the nearest block
    // directory of this subband that begins after it, else at the subband's end.
    std::uint64_t lastBlockEnd(std::uint64_t start) const;

private:
    KVIOStreamInf* stream_;
    std::uint64_t streamLength_;
    std::uint64_t offset_;
    std::uint64_t end_;
    std::vector<std::uint32_t> sortedDirectories_;
};

} // namespace Korvel
