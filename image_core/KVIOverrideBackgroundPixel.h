#pragma once
// Mix-in: the stage holds its own background and no-data pixels.

#include "KVIPixel.h"
#include "KVStatus.h"

#include <optional>

namespace Korvel {

class KVIOverrideBackgroundPixelData {
protected:
    KVIOverrideBackgroundPixelData();
    ~KVIOverrideBackgroundPixelData();

    const KVIPixel* heldBackgroundPixel() const { return background_ ? &*background_ : nullptr; }
    const KVIPixel* heldNoDataPixel() const { return noData_ ? &*noData_ : nullptr; }
    // A copy, or none for null.
    KVStatus storeBackgroundPixel(const KVIPixel* pixel);
    KVStatus storeNoDataPixel(const KVIPixel* pixel);

private:
    // Held by value: a copy of up to four bands allocates nothing.
    std::optional<KVIPixel> background_;
    std::optional<KVIPixel> noData_;
};

template <class Base>
class KVIOverrideBackgroundPixel : public Base, protected KVIOverrideBackgroundPixelData {
public:
    using Base::Base;

    const KVIPixel* getBackgroundPixel() const override { return heldBackgroundPixel(); }
    const KVIPixel* getNoDataPixel() const override { return heldNoDataPixel(); }
    KVStatus setBackgroundPixel(const KVIPixel* pixel) override {
        return storeBackgroundPixel(pixel);
    }
    KVStatus setNoDataPixel(const KVIPixel* pixel) override { return storeNoDataPixel(pixel); }

protected:
    ~KVIOverrideBackgroundPixel() override = default;
};

} // namespace Korvel
