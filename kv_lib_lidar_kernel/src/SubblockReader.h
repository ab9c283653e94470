#pragma once
// Reads the subblocks of a channel's subbands one at a time: a header from the subband's header
// stream (a run of empty subblocks, or the plane range and length of coded data), then the coded
// bytes from its data stream, decoded into samples. One reader serves all subbands of a channel.
//
// Header streams, big-endian:
//   integer, MQ-coded:        u16 v; v < 2048: v + 1 empty subblocks; else v packs the plane
//                             range, followed per plane (top to lowest) by u8 layer and u16
//                             length, or, without a wavelet transform, by one u32 length
//   floating-point, MQ or GZ: u32 v; v < 2048: v + 1 empty subblocks; else v - 2048 data bytes
//
// Every length is checked against the decoding buffers and the bytes left in the streams, so a
// damaged subblock throws Korvel::Error (code 40207, 40230 for zlib) instead of reading or
// writing beyond them.

#include "BufferedIOReader.h"
#include "XAlloc.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class SubblockReader {
public:
    KORVEL_XALLOC_OPERATORS

    // The largest subblock size (samples) accepted, which bounds the decoding buffers of a
    // channel to a few tens of megabytes whatever a file claims.
    static constexpr std::uint64_t MaxSubblockSize = std::uint64_t(1) << 20;

    template <class T, class U> class MQInteger;
    template <class T, class U> class MQFloatingPoint;
    template <class T> class GZFloatingPoint;

    // A reader for the coded datatype (513, 1025, 2049, 1027 or 2051) and transform, with its
    // buffers allocated. The caller owns it and deletes it. channelName is not copied.
    static SubblockReader* create(std::uint32_t datatype, std::uint32_t transform,
                                  const char* channelName, std::uint64_t subblockSize);

    SubblockReader(const SubblockReader&) = delete;
    SubblockReader& operator=(const SubblockReader&) = delete;
    virtual ~SubblockReader();

    // Fills buffer with the next subblock's count samples (count at most the subblock size).
    // pending: empty subblocks still owed from a run; returns the new pending count.
    std::uint64_t loadSubblock(BufferedIOReader& headerReader, BufferedIOReader& dataReader,
                               void* buffer, std::uint64_t count, std::uint64_t pending);
    // Skips k subblocks and loads the one after them; returns the pending count.
    std::uint64_t skipSubblocks(BufferedIOReader& headerReader, BufferedIOReader& dataReader,
                                std::uint64_t k, void* buffer, std::uint64_t count);
    // Reads the plane lengths of an integer subblock's header; returns their sum.
    std::uint64_t readPlaneLengths(BufferedIOReader& headerReader);

    std::uint32_t getDatatype() const { return datatype_; }
    std::uint32_t getTransform() const { return transform_; }
    const char* getChannelName() const { return channelName_; }
    std::uint64_t getSubblockSize() const { return subblockSize_; }
    std::uint8_t getSampleWidth() const { return sampleWidth_; }
    // The most recent header: plane range and coded length.
    int getTopPlane() const { return topPlane_; }
    int getLowestPlane() const { return lowestPlane_; }
    int getRawTopPlane() const { return rawTopPlane_; }
    std::uint64_t getDataLength() const { return dataLength_; }

protected:
    struct Free {
        void operator()(void* block) const { XFREE(block); }
    };
    template <class E> using Owned = std::unique_ptr<E[], Free>;
    template <class E> static Owned<E> allocate(std::uint64_t count) {
        return Owned<E>(static_cast<E*>(XALLOC(static_cast<std::size_t>(count * sizeof(E)))));
    }

    // One entry per possible plane of an integer subblock.
    struct PlaneEntry {
        std::uint16_t length;
        std::uint16_t layer;
    };

    SubblockReader(std::uint32_t datatype, std::uint32_t transform, const char* channelName,
                   std::uint64_t subblockSize);

    // Decodes dataBuffer into count samples.
    virtual void decode(void* buffer, std::uint64_t count) = 0;
    // Allocates the buffers; called once by create.
    virtual void init() = 0;
    // 0 for a coded subblock (dataLength set), else the number of empty subblocks of a run.
    virtual std::uint64_t readSubblockHeader(BufferedIOReader& headerReader) = 0;

    // The u32 header of both floating-point families; function names the caller in errors.
    std::uint64_t readFloatingPointHeader(BufferedIOReader& headerReader, const char* function);
    // Refuses a coded length of 0 or beyond dataBuffer.
    void checkDataLength(const char* function) const;
    void allocateDataBuffer(std::uint64_t capacity);

    std::uint32_t datatype_;
    std::uint32_t transform_;
    const char* channelName_;
    std::uint64_t subblockSize_;
    std::uint8_t sampleWidth_;
    bool isWaveletTransform_;
    Owned<unsigned char> dataBuffer_;
    std::uint64_t dataCapacity_ = 0;
    std::uint64_t dataLength_ = 0;
    int topPlane_ = -1;
    int lowestPlane_ = -1;
    int rawTopPlane_ = -1;
    Owned<PlaneEntry> planeTable_;
};

} // namespace Korvel
