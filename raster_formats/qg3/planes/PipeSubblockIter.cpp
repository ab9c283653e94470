#include "qg3/planes/PipeSubblockIter.h"

#include "qg3/container/QG3ImageInfo.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

bool PipeSubblockIter::init(const QG3ImageInfo& info) {
    if (!info.subbands) return false;
    ordering_ = OrderingPipe::create(info.subblockSize, info.numLevels, info.height, info.width);
    if (!ordering_ || ordering_->getTotal() != info.totalSubblocks) return false;
    if (kvGuard([&] { columns_.assign(info.numSubbands, 0); }) != KV_OK) return false;
    for (std::size_t s = 0; s < columns_.size(); ++s)
        columns_[s] = info.subbands[s].columns;
    total_ = info.totalSubblocks;
    reset();
    return true;
}

void PipeSubblockIter::reset() {
    sequence_ = 0;
    place();
}

void PipeSubblockIter::advance(std::uint64_t count) {
    if (atEnd()) return;
    sequence_ = count >= total_ - sequence_ ? total_ : sequence_ + count;
    place();
}

void PipeSubblockIter::place() {
    std::uint8_t subband = 0;
    std::uint16_t row = 0;
    std::uint16_t column = 0;
    if (sequence_ >= total_ ||
        !ordering_->locate(static_cast<std::uint32_t>(sequence_), subband, row, column)) {
        setEnd();
        return;
    }
    subband_ = subband;
    subblock_ = std::uint32_t(row) * columns_[subband] + column;
}

} // namespace Korvel
