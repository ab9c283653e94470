#pragma once
// Walks the subblocks of an image in the order its plane data describes them. The current
// subblock and subband are the end marker (0xFFFFFFFF, 255) once the walk is done.

#include "qg3/planes/QG3SubblockKey.h"

#include <cstdint>

namespace Korvel {

class QG3ImageInfo;

class QG3SubblockIter {
public:
    QG3SubblockIter() = default;
    QG3SubblockIter(const QG3SubblockIter&) = delete;
    QG3SubblockIter& operator=(const QG3SubblockIter&) = delete;
    virtual ~QG3SubblockIter() = default;

    // Takes what the walk needs from the image (which need not outlive the iterator) and
    // resets; false when that cannot be had.
    virtual bool init(const QG3ImageInfo& info) = 0;
    // Back to the first subblock.
    virtual void reset() = 0;
    // count subblocks on, in one step however large count is; past the last, the end marker.
    virtual void advance(std::uint64_t count) = 0;

    bool atEnd() const { return subblock_ == QG3SubblockKey::kNoSubblock; }
    std::uint32_t subblock() const { return subblock_; }
    std::uint8_t subband() const { return subband_; }

protected:
    void setEnd() {
        subblock_ = QG3SubblockKey::kNoSubblock;
        subband_ = QG3SubblockKey::kNoSubband;
    }

    std::uint32_t subblock_ = QG3SubblockKey::kNoSubblock;
    std::uint8_t subband_ = QG3SubblockKey::kNoSubband;
};

} // namespace Korvel
