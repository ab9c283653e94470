#pragma once
// The point iterator of a wavelet-coded group. It decodes the runs of points that a query box
// selects through the spatial index, block by block: each requested channel has a chain of
// subband sources (subband readers and inverse-wavelet stages) whose top yields the channel's
// samples at the level that the fraction chooses. Of the decoded points it hands out those inside
// the box (every face inclusive), thinned to the fraction that the level leaves.
//
// With a fraction f the level is l = floor(-log2 f), at most levels - 1: only the first
// levels - l subbands of each channel are decoded, which gives the ceil(N / 2^l) points of the
// level-l signal, and those are thinned by f * 2^l. Memory is bounded by one block of W points
// (W the largest subblock size of the group) plus the windows of the chains.

#include "PointData.h"
#include "PointIterator.h"
#include "WaveletDecoderInfo.h"

#include <cstdint>

namespace Korvel {

class SubbandSource;
class SubblockReader;

class WaveletDecoder : public PointIterator {
public:
    // Levels beyond these are refused: shifts of 64-bit counts end there, and each level adds
    // a stage to every channel's chain.
    static constexpr std::uint32_t MaxLevels = 64;
    // The most that the work block, the windows and the subblock buffers of one decoder may
    // take together, whatever sizes a file states.
    static constexpr std::uint64_t MaxBufferBytes = std::uint64_t(1) << 30;
    // The byte buffers over each subband's windows in the file.
    static constexpr std::int64_t ReaderBufferSize = 16384;

    // A decoder for the box at the fraction with the channels of pointInfo (which must hold
    // "X", "Y" and "Z" as 64-bit floats and only channels of the group), with one reference. Its
    // chains are built and started at the first selected point. Each channel converts by its
    // stored datatype: it may be asked for in any datatype of the kind it converts to (that of
    // its coded samples, or floating point for a floating-point channel coded as integers);
    // asked for in the other kind, the first getNextPoints throws the conversion's error (40007).
    static WaveletDecoder* create(const WaveletDecoderInfo& info, const double* bounds,
                                  double fraction, const PointInfo& pointInfo,
                                  ProgressDelegate* delegate);

    // Fills points from index 0 with up to its capacity of points inside the box; returns how
    // many, 0 when the iteration is over. A delegate that answers cancelled after a block ends
    // the call with "operation cancelled." (40006).
    std::uint64_t getNextPoints(PointData& points) override;

    // Decodes the next n points of every channel into the work block; returns how many.
    std::uint64_t decodeBlock(std::uint64_t n);

    std::uint32_t getNumLevelsUsed() const { return numLevelsUsed_; }
    std::uint64_t getWindowSize() const { return windowSize_; }
    std::int64_t getNumPointsAtLevel() const { return numPointsAtLevel_; }
    std::uint64_t getNumRanges() const { return numRanges_; }

protected:
    ~WaveletDecoder() override;

private:
    struct Channel;

    WaveletDecoder() = default;

    void buildPipeline(Channel& channel, std::int64_t position);
    // Decodes the next block of the ranges into the work block; false when none is left.
    bool nextBlock();
    // Whether the work block's point i lies in the box and the thinning keeps it.
    bool passes(std::uint64_t i);

    std::uint32_t numLevelsUsed_ = 0;
    std::uint64_t numChannels_ = 0;
    Channel* channels_ = nullptr;
    std::uint64_t windowSize_ = 0;
    std::int64_t numPointsAtLevel_ = 0;
    std::uint64_t numRanges_ = 0;
    BlockRange* ranges_ = nullptr;
    std::uint64_t rangeIndex_ = 0;
    PointData work_;
    ChannelData scratch_;
    std::uint64_t cur_ = 0;
    std::uint64_t end_ = 0;
};

} // namespace Korvel
