#include "PointData.h"

#include "Error.h"
#include "PointInfo.h"

#include <cstring>
#include <memory>

namespace Korvel {

PointData::~PointData() {
    clear();
}

void PointData::clear() {
    delete[] channels_;
    channels_ = nullptr;
    numChannels_ = 0;
    numSamples_ = 0;
    x_ = y_ = z_ = nullptr;
}

void PointData::init(const PointInfo& info, std::uint64_t capacity) {
    clear();
    if (!info.hasValidXYZ())
        KORVEL_FAIL("PointData", "Korvel::PointData::init", ErrorCode::PointData,
                    "must have x, y, and z channels");
    const std::uint64_t count = info.getNumChannels();
    std::unique_ptr<ChannelData[]> channels(new ChannelData[count]);
    for (std::uint64_t i = 0; i < count; ++i)
        channels[i].init(info.getChannel(i), capacity);
    channels_ = channels.release();
    numChannels_ = count;
    numSamples_ = capacity;
    // The first channel of each name, as the point info finds them.
    for (std::uint64_t i = count; i-- > 0;) {
        const char* name = channels_[i].getName();
        double* values = static_cast<double*>(channels_[i].getData());
        if (name == nullptr) continue;
        if (std::strcmp(name, "X") == 0)
            x_ = values;
        else if (std::strcmp(name, "Y") == 0)
            y_ = values;
        else if (std::strcmp(name, "Z") == 0)
            z_ = values;
    }
}

const ChannelData& PointData::getChannel(std::uint64_t index) const {
    if (index >= numChannels_)
        KORVEL_FAIL("PointData", "Korvel::PointData::getChannel", ErrorCode::Generic,
                    "bad channel index");
    return channels_[index];
}

ChannelData& PointData::getChannel(std::uint64_t index) {
    return const_cast<ChannelData&>(static_cast<const PointData*>(this)->getChannel(index));
}

void PointData::copy(PointData& dst, std::uint64_t dstOffset, const PointData& src,
                     std::uint64_t srcOffset, std::uint64_t count) {
    if (dst.numChannels_ != src.numChannels_)
        KORVEL_FAIL("PointData", "Korvel::PointData::copy", ErrorCode::PointData,
                    "number of channels must the same");
    for (std::uint64_t i = 0; i < dst.numChannels_; ++i)
        ChannelData::copy(dst.channels_[i], dstOffset, src.channels_[i], srcOffset, count);
}

} // namespace Korvel
