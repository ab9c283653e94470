#pragma once
// Mix-in: the stage holds its own background and no-data pixels.

#include "support/KVStatus.h"

#include <memory>

namespace Korvel {

class KVIPixel;

class KVIOverrideBackgroundPixelData {
protected:
    KVIOverrideBackgroundPixelData();
    ~KVIOverrideBackgroundPixelData();

    const KVIPixel* heldBackgroundPixel() const { return background_.get(); }
    const KVIPixel* heldNoDataPixel() const { return noData_.get(); }
    // A copy, or none for null.
    KVStatus storeBackgroundPixel(const KVIPixel* pixel);
    KVStatus storeNoDataPixel(const KVIPixel* pixel);

private:
    std::unique_ptr<KVIPixel> background_;
    std::unique_ptr<KVIPixel> noData_;
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
