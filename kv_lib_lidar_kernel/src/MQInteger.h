#pragma once
// Integer subblocks coded as sign and magnitude bit-planes: the upper planes with the MQ decoder
// and context modelling, the lower planes as raw bits that start where the MQ decoder's intake
// stopped. T is the signed sample type, U its unsigned counterpart.

#include "SubblockReader.h"

#include <cstdint>

namespace Korvel {

template <class T, class U> class SubblockReader::MQInteger : public SubblockReader {
public:
    MQInteger(std::uint32_t datatype, std::uint32_t transform, const char* channelName,
              std::uint64_t subblockSize)
        : SubblockReader(datatype, transform, channelName, subblockSize) {}

    // The highest plane of a sample, and the largest header value.
    static constexpr int MaxPlane = static_cast<int>(8 * sizeof(T)) - 1;
    static constexpr std::uint32_t MaxHeader =
        2048 + MaxPlane * (MaxPlane + 1) * (MaxPlane + 5) / 6 + MaxPlane * (MaxPlane + 5) / 2 + 2;

protected:
    void decode(void* buffer, std::uint64_t count) override;
    void init() override;
    std::uint64_t readSubblockHeader(BufferedIOReader& headerReader) override;

private:
    // Planes top down to bottom, each bit from the source; returns the source as it ends.
    template <class Bits> Bits decodePlanes(Bits bits, int top, int bottom, std::uint64_t n);

    // Both with a zero border element on each side of the subblock's samples.
    Owned<unsigned char> signs_;
    Owned<U> magnitudes_;
};

extern template class SubblockReader::MQInteger<short, unsigned short>;
extern template class SubblockReader::MQInteger<int, unsigned int>;
extern template class SubblockReader::MQInteger<std::int64_t, std::uint64_t>;

} // namespace Korvel
