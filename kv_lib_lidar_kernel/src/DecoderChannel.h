#pragma once
// The record of one channel of a wavelet-coded group, as the decoder information keeps it: the
// channel's description and, per subband, the windows of the file that hold the subband's
// subblock headers and coded data.

#include "IO.h"
#include "KernelChannelInfo.h"
#include "XAlloc.h"

#include <cstdint>

namespace Korvel {

// The two windows of one subband. A subband chunk of version 1 gives only data (headers has no
// IO): each subblock header then lies in the data window directly before its subblock's data.
// Subband 0 is the coarsest low band; subband k >= 1 the high band that stage k adds.
struct SubbandLocation {
    KORVEL_XALLOC_OPERATORS

    IO::Location headers;
    IO::Location data;
};

struct DecoderChannel {
    KORVEL_XALLOC_OPERATORS

    DecoderChannel() = default;
    DecoderChannel(const DecoderChannel&) = delete;
    DecoderChannel& operator=(const DecoderChannel&) = delete;
    ~DecoderChannel() { delete[] subbands; }

    KernelChannelInfo info;
    SubbandLocation* subbands = nullptr; // owned, numSubbands entries
    std::uint32_t numSubbands = 0;
};

} // namespace Korvel
