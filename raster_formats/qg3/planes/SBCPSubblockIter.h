#pragma once
// Subband-by-subband order (planeset kind 5): subband 0 first, in each subband its subblocks row
// by row. Only variant 0 exists.

#include "qg3/planes/QG3SubblockIter.h"

#include <vector>

namespace Korvel {

template <int Variant> class SBCPSubblockIter;

template <> class SBCPSubblockIter<0> : public QG3SubblockIter {
public:
    bool init(const QG3ImageInfo& info) override;
    void reset() override;
    void advance(std::uint64_t count) override;

private:
    // From subblock 0 of subband s, passing over subbands without subblocks.
    void enterSubband(std::uint32_t s);

    std::vector<std::uint32_t> counts_; // subblocks per subband
};

} // namespace Korvel
