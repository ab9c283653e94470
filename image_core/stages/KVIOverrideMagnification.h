#pragma once
// Mix-in: the stage holds its own magnification range, [1.0, 1.0] unless set.

#include "support/KVStatus.h"

namespace Korvel {

class KVIOverrideMagnificationData {
protected:
    double minMagnification_ = 1.0;
    double maxMagnification_ = 1.0;
};

template <class Base>
class KVIOverrideMagnification : public Base, protected KVIOverrideMagnificationData {
public:
    using Base::Base;

    double getMinMagnification() const override { return minMagnification_; }
    double getMaxMagnification() const override { return maxMagnification_; }
    KVStatus setMagnification(double minMagnification, double maxMagnification) {
        minMagnification_ = minMagnification;
        maxMagnification_ = maxMagnification;
        return KV_OK;
    }

protected:
    ~KVIOverrideMagnification() override = default;
};

} // namespace Korvel
