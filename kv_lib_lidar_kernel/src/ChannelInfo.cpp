#include "ChannelInfo.h"

#include "DataType.h"

namespace Korvel {

std::uint32_t channelBits(std::uint32_t datatype, int bits) {
    return bits < 1 ? 8 * datatypeSize(datatype) : static_cast<std::uint32_t>(bits);
}

ChannelInfo::ChannelInfo(const ChannelInfo& other) {
    set(other.name_, other.datatype_, static_cast<int>(other.bits_));
}

ChannelInfo& ChannelInfo::operator=(const ChannelInfo& other) {
    if (this != &other) set(other.name_, other.datatype_, static_cast<int>(other.bits_));
    return *this;
}

ChannelInfo::~ChannelInfo() {
    XFREE(name_);
}

void ChannelInfo::set(const char* name, std::uint32_t datatype, int bits) {
    char* copy = XSTRDUP(name);
    XFREE(name_);
    name_ = copy;
    datatype_ = datatype;
    bits_ = channelBits(datatype, bits);
}

} // namespace Korvel
