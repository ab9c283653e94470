#pragma once
// Reads the chunks of a wavelet-coded group: the wavelet header with its channel records, the
// index with its R-tree, and the subband chunks, whose sections are recorded, not read.
//
//   wavelet header: u8 version (1, 2), u64 points, u16 levels - 1, u16 channels, channel records
//   index:          u8 version (1: memory R-tree, 2: disk R-tree), u32 block size, the tree
//   subband:        u8 version (1, 2, 3), u16 channel, u16 subband; versions 2 and 3: u64 data
//                   length A, u64 headers length B; then the data section and the headers
//                   section (version 1: the whole rest is data and the headers lie inside it)

#include "BaseChunkReader.h"

#include <cstdint>

namespace Korvel {

class KernelChannelInfo;
class RTree;

class WaveletChunkReader : public BaseChunkReader {
public:
    using BaseChunkReader::BaseChunkReader;

    // The wavelet header body. channels is a new array of numChannels records, owned by the
    // caller (delete[]). Leaves the reader at the end of the body.
    void readHeader(std::uint64_t bodyLength, std::int64_t& numPoints, std::uint32_t& numLevels,
                    std::uint64_t& numChannels, KernelChannelInfo*& channels);
    // The index body; returns the new R-tree, owned by the caller.
    RTree* readIndex(std::uint64_t bodyLength, std::int64_t& blockSize);
    // The subband body of the expected channel and subband: records the headers section (empty
    // for version 1) and the data section, and moves the reader to the end of the body.
    void readSubband(std::uint64_t bodyLength, std::uint32_t expectedChannel,
                     std::uint32_t expectedSubband, IO::Location& headers, IO::Location& data);
};

} // namespace Korvel
