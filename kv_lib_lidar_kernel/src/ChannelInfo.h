#pragma once
// The description of one channel of a point: its name, datatype code and significant bits.

#include "XAlloc.h"

#include <cstdint>

namespace Korvel {

class ChannelInfo {
public:
    KORVEL_XALLOC_OPERATORS

    ChannelInfo() = default;
    ChannelInfo(const ChannelInfo& other);
    ChannelInfo& operator=(const ChannelInfo& other);
    ~ChannelInfo();

    // Copies the name; bits below 1 become 8 times the datatype's byte size.
    void set(const char* name, std::uint32_t datatype, int bits);

    const char* getName() const { return name_; }
    std::uint32_t getDatatype() const { return datatype_; }
    std::uint32_t getBits() const { return bits_; }

private:
    char* name_ = nullptr;
    std::uint32_t datatype_ = 0;
    std::uint32_t bits_ = 0;
};

// The bits of a channel: the given count, or the datatype's full width when it is below 1.
std::uint32_t channelBits(std::uint32_t datatype, int bits);

} // namespace Korvel
