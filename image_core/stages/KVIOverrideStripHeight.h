#pragma once
// Mix-in: the stage holds its own strip height, 16 rows unless set.

#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class KVIOverrideStripHeightData {
protected:
    std::uint32_t stripHeight_ = 16;
};

template <class Base>
class KVIOverrideStripHeight : public Base, protected KVIOverrideStripHeightData {
public:
    using Base::Base;

    std::uint32_t getStripHeight() const override { return stripHeight_; }
    // A strip of no rows could never finish a read: 0 is refused and the height kept.
    KVStatus setStripHeight(std::uint32_t height) override {
        if (height == 0) return KV_BAD_ARGUMENT;
        stripHeight_ = height;
        return KV_OK;
    }

protected:
    ~KVIOverrideStripHeight() override = default;
};

} // namespace Korvel
