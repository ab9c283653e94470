#pragma once
// The abstract source of points. Bounds are six doubles: X minimum, X maximum, Y minimum,
// Y maximum, Z minimum, Z maximum. Every query has an empty default.

#include "Object.h"

#include <cstdint>

namespace Korvel {

class Metadata;
class PointInfo;
class PointIterator;
class ProgressDelegate;

class PointSource : public Object {
public:
    PointSource() = default;

    virtual const PointInfo& getPointInfo() const;
    virtual std::int64_t getNumPoints() const;
    // Null when there is none.
    virtual const char* getWKT() const;
    virtual void loadMetadata(Metadata& metadata);
    // Six doubles, or null.
    virtual const double* getBounds() const;
    // Three doubles (X, Y, Z), or null when the points are not quantised.
    virtual const double* getScale() const;
    virtual const double* getOffset() const;
    virtual std::uint64_t getNumClassNames() const;
    virtual const char* const* getClassNames() const;
    // An estimate of the points that an iterator over the box and fraction yields.
    virtual double getNumPointsInQuery(const double* bounds, double fraction) const;
    // A new iterator with one reference, or null.
    virtual PointIterator* createIterator(const double* bounds, double fraction,
                                          const PointInfo& pointInfo, ProgressDelegate* delegate);
    virtual const char* getVersionString() const;

protected:
    ~PointSource() override;
};

} // namespace Korvel
