#pragma once
// Mix-in: the stage holds its own width and height, 0 x 0 unless set.

#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class KVIOverrideDimensionsData {
protected:
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
};

template <class Base>
class KVIOverrideDimensions : public Base, protected KVIOverrideDimensionsData {
public:
    using Base::Base;

    std::uint32_t getWidth() const override { return width_; }
    std::uint32_t getHeight() const override { return height_; }
    KVStatus setDimensions(std::uint32_t width, std::uint32_t height) {
        width_ = width;
        height_ = height;
        return KV_OK;
    }

protected:
    ~KVIOverrideDimensions() override = default;
};

} // namespace Korvel
