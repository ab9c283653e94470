#pragma once
// The source of one subband: decodes the subband's subblocks one at a time through the channel's
// SubblockReader into a buffer of one subblock and hands out their samples. Runs of empty
// subblocks are followed without reading: a seek into a run yields zeros, a seek beyond it skips
// the remaining headers, and a seek backwards rewinds both byte readers to the subband's start.

#include "SubbandSource.h"

#include <cstdint>

namespace Korvel {

template <class T> class SubbandSource::SubbandReaderImp : public SubbandSource {
public:
    // See createSubbandReader; records the byte readers' current positions as the subband's start.
    SubbandReaderImp(SubblockReader& subblocks, std::uint64_t level, bool isHighBand,
                     BufferedIOReader* headerReader, BufferedIOReader* dataReader,
                     std::uint64_t length);
    ~SubbandReaderImp() override;

    void start(std::int64_t position) override;
    void seek(std::int64_t position) override;
    std::uint64_t read(void* samples, std::uint64_t n) override;
    void release() override;

    // Empty subblocks still owed after the current one.
    std::uint64_t getPendingEmpty() const { return pendingEmpty_; }

private:
    // Sets count, remaining and index for the subblock that holds position, or an empty
    // subblock past the end when position is at or beyond the length. Returns the subblock.
    std::uint64_t locate(std::uint64_t position);
    void rewind();

    SubblockReader& subblocks_;
    BufferedIOReader* headerReader_;
    std::int64_t headerStart_;
    BufferedIOReader* dataReader_;
    std::int64_t dataStart_;
    std::uint64_t remaining_ = 0;
    std::uint64_t pendingEmpty_ = 0;
    T* buffer_ = nullptr;
    std::uint64_t index_ = 0;
    std::uint64_t count_ = 0;
};

} // namespace Korvel
