#pragma once
// The values of one channel for a block of points, with the copies and conversions between
// channels. Every operation checks its ranges against the channels' capacities.

#include "XAlloc.h"

#include <cstdint>

namespace Korvel {

class ChannelInfo;

class ChannelData {
public:
    KORVEL_XALLOC_OPERATORS

    ChannelData() = default;
    ChannelData(const ChannelData&) = delete;
    ChannelData& operator=(const ChannelData&) = delete;
    ~ChannelData();

    // Takes the info's name, datatype and bits and allocates capacity values (none for 0). An
    // unknown datatype throws.
    void init(const ChannelInfo& info, std::uint64_t capacity);

    const char* getName() const { return name_; }
    std::uint32_t getDatatype() const { return datatype_; }
    std::uint32_t getBits() const { return bits_; }
    std::uint64_t getNumSamples() const { return numSamples_; }
    const void* getData() const { return data_; }
    void* getData() { return data_; }

    // Copies count values of the same datatype byte for byte.
    static void copy(ChannelData& dst, std::uint64_t dstOffset, const ChannelData& src,
                     std::uint64_t srcOffset, std::uint64_t count);
    // Between an integer and a floating-point channel: integer to float is
    // value * scale + offset; float to integer is floor((value - offset) / scale + 0.5).
    static void convert(ChannelData& dst, std::uint64_t dstOffset, const ChannelData& src,
                        std::uint64_t srcOffset, double offset, double scale, std::uint64_t count);
    // Between two integer or two floating-point channels, by plain casts.
    static void convert(ChannelData& dst, std::uint64_t dstOffset, const ChannelData& src,
                        std::uint64_t srcOffset, std::uint64_t count);

private:
    char* name_ = nullptr;
    std::uint32_t datatype_ = 0;
    std::uint32_t bits_ = 0;
    std::uint64_t numSamples_ = 0;
    void* data_ = nullptr;
};

} // namespace Korvel
