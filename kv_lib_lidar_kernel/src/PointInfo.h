#pragma once
// The ordered channel descriptions of a point.

#include "ChannelInfo.h"
#include "XAlloc.h"

#include <concepts>
#include <cstdint>

namespace Korvel {

class PointInfo {
public:
    KORVEL_XALLOC_OPERATORS

    PointInfo() = default;
    PointInfo(const PointInfo& other);
    PointInfo& operator=(const PointInfo& other);
    ~PointInfo();

    // Replaces the channels by count empty channel infos.
    void init(std::uint64_t count);

    std::uint64_t getNumChannels() const { return numChannels_; }
    // The channel at index; an index beyond the channels throws "bad channel index".
    template <std::integral Index> const ChannelInfo& getChannel(Index index) const {
        return channelAt(static_cast<std::uint64_t>(index));
    }
    template <std::integral Index> ChannelInfo& getChannel(Index index) {
        return channelAt(static_cast<std::uint64_t>(index));
    }
    // The first channel named exactly name, or null.
    const ChannelInfo* getChannel(const char* name) const;
    bool hasChannel(const char* name) const { return getChannel(name) != nullptr; }

    // Channels named exactly "X", "Y" and "Z" (first match of each), each a 64-bit float.
    bool hasValidXYZ() const;

private:
    const ChannelInfo& channelAt(std::uint64_t index) const;
    ChannelInfo& channelAt(std::uint64_t index);

    std::uint64_t numChannels_ = 0;
    ChannelInfo* channels_ = nullptr;
};

} // namespace Korvel
