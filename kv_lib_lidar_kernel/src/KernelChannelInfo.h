#pragma once
// The description of one channel of a wavelet-coded group, as the wavelet header stores it:
//
//   16 bytes  name, zero-padded (a 16-character name has no terminator)
//   u16       datatype of the channel's values
//   u8        transform code
//   u32       subblock size (samples per subblock)
//   i64, i64  minimum and maximum of the values
//   2 x f64   offset and scale, only when exactly one of datatype and coded type is floating point
//
// The coded type is the datatype for floating-point transforms; for integer transforms the
// smallest signed type that holds the values' bits plus the transform's headroom.

#include "BufferedIOReader.h"
#include "XAlloc.h"

#include <cstdint>

namespace Korvel {

class KernelChannelInfo {
public:
    KORVEL_XALLOC_OPERATORS

    static constexpr std::size_t NameBytes = 16;
    // The stored record without offset and scale.
    static constexpr std::int64_t MinimumRecordBytes = 16 + 2 + 1 + 4 + 8 + 8;

    KernelChannelInfo() = default;
    KernelChannelInfo(const KernelChannelInfo& other);
    KernelChannelInfo& operator=(const KernelChannelInfo& other);
    ~KernelChannelInfo();

    // Reads one record, which must end at or before the file offset end; a short one throws
    // "bad read -- channel info" with errorCode. A transform code that is not known throws
    // "bad transform type".
    void load(BufferedIOReader& reader, std::int64_t end, std::uint32_t errorCode);

    const char* getName() const { return name_; }
    std::uint32_t getDatatype() const { return datatype_; }
    std::uint32_t getCodedType() const { return codedType_; }
    std::uint32_t getTransform() const { return transform_; }
    std::uint32_t getBits() const { return bits_; }
    std::uint32_t getSubblockSize() const { return subblockSize_; }
    std::int64_t getMinimum() const { return minimum_; }
    std::int64_t getMaximum() const { return maximum_; }
    double getOffset() const { return offset_; }
    double getScale() const { return scale_; }

private:
    char* name_ = nullptr;
    std::uint32_t datatype_ = 0;
    std::uint32_t codedType_ = 0;
    std::uint32_t transform_ = 0;
    std::uint32_t bits_ = 0;
    std::uint32_t subblockSize_ = 0;
    std::int64_t minimum_ = 0;
    std::int64_t maximum_ = 0;
    double offset_ = 0.0;
    double scale_ = 1.0;
};

} // namespace Korvel
