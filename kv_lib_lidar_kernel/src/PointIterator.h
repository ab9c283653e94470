#pragma once
// The iterator that a point reader's createIterator returns: the query box, the thinning
// fraction and the progress delegate. A decoder derives from it and supplies getNextPoints.

#include "Object.h"

#include <cstdint>

namespace Korvel {

class PointData;
class PointInfo;
class ProgressDelegate;

class PointIterator : public Object {
public:
    PointIterator();

    // Stores the box and fraction, starts the thinning at accumulator 1 - f and limit
    // 1 - f / 2, and keeps the delegate (borrowed). The info must hold "X", "Y" and "Z"
    // channels of 64-bit floats.
    void init(const double* bounds, double fraction, const PointInfo& pointInfo,
              ProgressDelegate* delegate);

    // Fills points from index 0 up to the output's capacity; returns how many, 0 at the end.
    virtual std::uint64_t getNextPoints(PointData& points);

    const double* getBounds() const { return bounds_; }
    double getFraction() const { return fraction_; }
    double getAccumulator() const { return accumulator_; }
    double getLimit() const { return limit_; }
    ProgressDelegate* getDelegate() const { return delegate_; }

protected:
    ~PointIterator() override;

    double bounds_[6];
    double fraction_ = 0.0;
    double accumulator_ = 0.0;
    double limit_ = 0.0;
    ProgressDelegate* delegate_ = nullptr;
};

} // namespace Korvel
