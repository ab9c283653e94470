#pragma once
// A block of points held by channel: one ChannelData per channel of the point info it was made
// from, with direct access to the X, Y and Z values.

#include "ChannelData.h"
#include "XAlloc.h"

#include <cstdint>

namespace Korvel {

class PointInfo;

class PointData {
public:
    KORVEL_XALLOC_OPERATORS

    PointData() = default;
    PointData(const PointData&) = delete;
    PointData& operator=(const PointData&) = delete;
    ~PointData();

    // One channel per channel of the info, each with capacity values. The info must hold
    // channels "X", "Y" and "Z" of 64-bit floats.
    void init(const PointInfo& info, std::uint64_t capacity);

    std::uint64_t getNumChannels() const { return numChannels_; }
    std::uint64_t getNumSamples() const { return numSamples_; }
    // The channel at index; an index beyond the channels throws "bad channel index".
    const ChannelData& getChannel(std::uint64_t index) const;
    ChannelData& getChannel(std::uint64_t index);

    const double* getX() const { return x_; }
    const double* getY() const { return y_; }
    const double* getZ() const { return z_; }
    double* getX() { return x_; }
    double* getY() { return y_; }
    double* getZ() { return z_; }

    // Copies count points channel by channel; both must have the same channels.
    static void copy(PointData& dst, std::uint64_t dstOffset, const PointData& src,
                     std::uint64_t srcOffset, std::uint64_t count);

private:
    void clear();

    std::uint64_t numChannels_ = 0;
    ChannelData* channels_ = nullptr;
    std::uint64_t numSamples_ = 0;
    double* x_ = nullptr;
    double* y_ = nullptr;
    double* z_ = nullptr;
};

} // namespace Korvel
