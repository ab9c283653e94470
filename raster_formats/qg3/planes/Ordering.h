#pragma once
// The geometry an order of subblocks is made for: subblock size, wavelet levels and image size.

#include <cstdint>

namespace Korvel {

class Ordering {
public:
    Ordering(std::uint16_t subblockSize, std::uint8_t levels, std::uint32_t height,
             std::uint32_t width)
        : subblockSize_(subblockSize), levels_(levels), height_(height), width_(width) {}
    Ordering(const Ordering&) = delete;
    Ordering& operator=(const Ordering&) = delete;
    virtual ~Ordering() = default;

protected:
    std::uint16_t subblockSize_;
    std::uint8_t levels_;
    std::uint32_t height_;
    std::uint32_t width_;
};

} // namespace Korvel
