#include "PointInfo.h"

#include "DataType.h"
#include "Error.h"

#include <cstring>
#include <initializer_list>
#include <memory>

namespace Korvel {

PointInfo::PointInfo(const PointInfo& other) {
    *this = other;
}

PointInfo& PointInfo::operator=(const PointInfo& other) {
    if (this == &other) return *this;
    // Build the copy first so that a failure leaves this point info as it was.
    std::unique_ptr<ChannelInfo[]> channels(
        other.numChannels_ > 0 ? new ChannelInfo[other.numChannels_] : nullptr);
    for (std::uint64_t i = 0; i < other.numChannels_; ++i)
        channels[i] = other.channels_[i];
    delete[] channels_;
    channels_ = channels.release();
    numChannels_ = other.numChannels_;
    return *this;
}

PointInfo::~PointInfo() {
    delete[] channels_;
}

void PointInfo::init(std::uint64_t count) {
    ChannelInfo* channels = count > 0 ? new ChannelInfo[count] : nullptr;
    delete[] channels_;
    channels_ = channels;
    numChannels_ = count;
}

const ChannelInfo& PointInfo::channelAt(std::uint64_t index) const {
    if (index >= numChannels_)
        KORVEL_FAIL("PointData", "Korvel::PointInfo::getChannel", ErrorCode::Generic,
                    "bad channel index");
    return channels_[index];
}

ChannelInfo& PointInfo::channelAt(std::uint64_t index) {
    return const_cast<ChannelInfo&>(static_cast<const PointInfo*>(this)->channelAt(index));
}

const ChannelInfo* PointInfo::getChannel(const char* name) const {
    if (name == nullptr) return nullptr;
    for (std::uint64_t i = 0; i < numChannels_; ++i) {
        const char* channelName = channels_[i].getName();
        if (channelName != nullptr && std::strcmp(channelName, name) == 0) return &channels_[i];
    }
    return nullptr;
}

bool PointInfo::hasValidXYZ() const {
    for (const char* name : {"X", "Y", "Z"}) {
        const ChannelInfo* channel = getChannel(name);
        if (channel == nullptr || channel->getDatatype() != DATATYPE_FLOAT64) return false;
    }
    return true;
}

} // namespace Korvel
