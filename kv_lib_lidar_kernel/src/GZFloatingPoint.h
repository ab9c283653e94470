#pragma once
// Floating-point subblocks stored as raw deflate data (no zlib or gzip wrapper) of their
// big-endian bytes. T is float or double.

#include "SubblockReader.h"

#include <zlib.h>

#include <cstdint>

namespace Korvel {

template <class T> class SubblockReader::GZFloatingPoint : public SubblockReader {
public:
    GZFloatingPoint(std::uint32_t datatype, std::uint32_t transform, const char* channelName,
                    std::uint64_t subblockSize)
        : SubblockReader(datatype, transform, channelName, subblockSize) {}
    ~GZFloatingPoint() override;

protected:
    void decode(void* buffer, std::uint64_t count) override;
    void init() override;
    std::uint64_t readSubblockHeader(BufferedIOReader& headerReader) override;

private:
    z_stream stream_{};
    bool streamOpen_ = false;
};

extern template class SubblockReader::GZFloatingPoint<float>;
extern template class SubblockReader::GZFloatingPoint<double>;

} // namespace Korvel
