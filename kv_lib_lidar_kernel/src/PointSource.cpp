#include "PointSource.h"

#include "PointInfo.h"

namespace Korvel {

PointSource::~PointSource() = default;

const PointInfo& PointSource::getPointInfo() const {
    static const PointInfo empty;
    return empty;
}

std::int64_t PointSource::getNumPoints() const {
    return 0;
}

const char* PointSource::getWKT() const {
    return nullptr;
}

void PointSource::loadMetadata(Metadata&) {}

const double* PointSource::getBounds() const {
    return nullptr;
}

const double* PointSource::getScale() const {
    return nullptr;
}

const double* PointSource::getOffset() const {
    return nullptr;
}

std::uint64_t PointSource::getNumClassNames() const {
    return 0;
}

const char* const* PointSource::getClassNames() const {
    return nullptr;
}

double PointSource::getNumPointsInQuery(const double*, double) const {
    return 0.0;
}

PointIterator* PointSource::createIterator(const double*, double, const PointInfo&,
                                           ProgressDelegate*) {
    return nullptr;
}

const char* PointSource::getVersionString() const {
    return nullptr;
}

} // namespace Korvel
