#pragma once
// Floating-point subblocks whose IEEE 754 bit patterns are MQ-coded bit by bit, least
// significant first, one context per bit position. T is float or double, U the unsigned
// integer of its width.

#include "SubblockReader.h"

#include <cstdint>

namespace Korvel {

template <class T, class U> class SubblockReader::MQFloatingPoint : public SubblockReader {
public:
    MQFloatingPoint(std::uint32_t datatype, std::uint32_t transform, const char* channelName,
                    std::uint64_t subblockSize)
        : SubblockReader(datatype, transform, channelName, subblockSize) {}

protected:
    void decode(void* buffer, std::uint64_t count) override;
    void init() override;
    std::uint64_t readSubblockHeader(BufferedIOReader& headerReader) override;
};

extern template class SubblockReader::MQFloatingPoint<float, unsigned int>;
extern template class SubblockReader::MQFloatingPoint<double, std::uint64_t>;

} // namespace Korvel
