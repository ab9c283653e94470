#pragma once
// A source of one channel's samples in point order, decoded on demand with bounded memory. A
// channel's chain for L levels has one subband reader per subband (subblocks decoded through the
// channel's SubblockReader) and one pipeline stage per inverse-transform stage: stage k takes
// stage k - 1 (or the reader of subband 0) as its low band and the reader of subband k as its
// high band, and interleaves them as output samples 2i (low) and 2i + 1 (high) after undoing
// the two lifting steps. The top of the chain yields the level's signal.
//
// Samples are of the coded datatype: 513 (16-bit), 1025 (32-bit), 2049 (64-bit signed), 1027
// (float) or 2051 (double).

#include "XAlloc.h"

#include <cstdint>

namespace Korvel {

class BufferedIOReader;
class SubblockReader;

class SubbandSource {
public:
    KORVEL_XALLOC_OPERATORS

    template <class T> class SubbandReaderImp;
    template <class T> class PipelineStageImp;

    // A reader of length samples of one subband. Its header and data byte readers are positioned
    // at the subband's first subblock; they may be one reader (headers inside the data). The
    // source owns them once created (a failed creation leaves them with the caller) and shares,
    // without owning, the subblock reader, whose datatype, transform, channel name and subblock
    // size it takes.
    static SubbandSource* createSubbandReader(SubblockReader& reader, std::uint64_t level,
                                              bool isHighBand, BufferedIOReader* headerReader,
                                              BufferedIOReader* dataReader, std::uint64_t length);
    // A stage with windows of windowSize band samples over a low and a high source of the same
    // channel. It owns both sources once created (a failed creation leaves them with the caller).
    static SubbandSource* createPipeStage(std::uint64_t windowSize, SubbandSource* low,
                                          SubbandSource* high);

    SubbandSource(const SubbandSource&) = delete;
    SubbandSource& operator=(const SubbandSource&) = delete;
    virtual ~SubbandSource();

    // Prepares to produce samples from position; called once, first.
    virtual void start(std::int64_t position) = 0;
    // Moves to another position.
    virtual void seek(std::int64_t position) = 0;
    // Writes up to n samples from the current position; fewer only at the end of the signal.
    virtual std::uint64_t read(void* samples, std::uint64_t n) = 0;
    // Frees the buffers and closes the byte readers of this source and of those it reads.
    virtual void release() = 0;

    std::uint32_t getDatatype() const { return datatype_; }
    std::uint32_t getTransform() const { return transform_; }
    const char* getChannelName() const { return channelName_; }
    std::uint64_t getLevel() const { return level_; }
    bool isHighBand() const { return isHighBand_ != 0; }
    // Samples per subblock for a reader, the window size for a stage.
    std::uint64_t getBlockLength() const { return blockLength_; }
    // The number of samples the source produces in all.
    std::uint64_t getLength() const { return length_; }

protected:
    SubbandSource(std::uint32_t datatype, std::uint32_t transform, const char* channelName,
                  std::uint64_t level, bool isHighBand, std::uint64_t blockLength,
                  std::uint64_t length);

    std::uint32_t datatype_;
    std::uint32_t transform_;
    const char* channelName_;
    std::uint64_t level_;
    std::uint8_t isHighBand_;
    std::uint64_t blockLength_;
    std::uint64_t length_;
};

} // namespace Korvel
