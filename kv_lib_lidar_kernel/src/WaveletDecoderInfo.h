#pragma once
// The decoder information of a wavelet-coded group: reads the group's wavelet header, index and
// subband chunks, keeps the channel records, bounds and index, and selects the runs of points
// that a query box touches at a level of the transform.

#include "BaseDecoderInfo.h"
#include "DecoderChannel.h"

#include <cstdint>

namespace Korvel {

class BufferedIOReader;

// A run of consecutive points of a level's signal.
struct BlockRange {
    std::int64_t start;
    std::int64_t count;
};

class WaveletDecoderInfo : public BaseDecoderInfo {
public:
    WaveletDecoderInfo() = default;
    ~WaveletDecoderInfo() override;

    // Reads chunks 2 (wavelet header), 3 (index) and one chunk 4 (subband) per channel and
    // subband, channel-major, at the reader's position; remaining is the count of group bytes not
    // yet framed, carried on to the chunks after these.
    void init(BufferedIOReader& reader, std::int64_t& remaining);

    const DecoderChannel& getChannel(const char* name) const override;
    const DecoderChannel& getChannel(std::uint64_t index) const override;
    // The number of points in the ranges that queryBlocks selects at the fraction's level.
    double estimateNumPoints(const double* bounds, double fraction) const override;
    PointIterator* createIterator(const double* bounds, double fraction, const PointInfo& pointInfo,
                                  ProgressDelegate* delegate) override;

    // The level whose signal a fraction decodes: floor(-log2 fraction), 0 for fractions above
    // one and for those whose level cannot be computed (0, negative, NaN), at most levels - 1.
    std::uint32_t getLevel(double fraction) const;
    // The runs of points of the level's signal that the box touches, sorted and merged where
    // they lie no more than the largest subblock size apart. ranges is an XALLOC array owned by
    // the caller (null when the count returned is 0).
    std::uint64_t queryBlocks(std::uint32_t level, const double* bounds, BlockRange*& ranges) const;

    std::uint32_t getNumLevels() const { return numLevels_; }
    std::int64_t getBlockSize() const { return blockSize_; }

private:
    std::uint32_t numLevels_ = 0;
    DecoderChannel* channels_ = nullptr;
    std::int64_t blockSize_ = 0;
};

} // namespace Korvel
