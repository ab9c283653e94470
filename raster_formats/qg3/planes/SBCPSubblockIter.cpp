#include "qg3/planes/SBCPSubblockIter.h"

#include "qg3/container/QG3ImageInfo.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

bool SBCPSubblockIter<0>::init(const QG3ImageInfo& info) {
    if (!info.subbands) return false;
    if (kvGuard([&] { counts_.assign(info.numSubbands, 0); }) != KV_OK) return false;
    for (std::size_t s = 0; s < counts_.size(); ++s)
        counts_[s] = info.subbands[s].subblockCount();
    reset();
    return true;
}

void SBCPSubblockIter<0>::reset() {
    enterSubband(0);
}

void SBCPSubblockIter<0>::enterSubband(std::uint32_t s) {
    while (s < counts_.size() && counts_[s] == 0)
        ++s;
    if (s >= counts_.size()) {
        setEnd();
        return;
    }
    subband_ = static_cast<std::uint8_t>(s);
    subblock_ = 0;
}

void SBCPSubblockIter<0>::advance(std::uint64_t count) {
    // Whole subbands are jumped, so that a count of any size costs one step per subband.
    while (count > 0 && !atEnd()) {
        const std::uint64_t left = counts_[subband_] - std::uint64_t(subblock_);
        if (count < left) {
            subblock_ += static_cast<std::uint32_t>(count);
            return;
        }
        count -= left;
        enterSubband(subband_ + 1u);
    }
}

} // namespace Korvel
