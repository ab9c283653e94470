#pragma once
// What a decoder knows of a coded group of points: the point count, the channels, the bounds and
// the spatial index, with the point estimate and iterator creation over them. Not
// reference-counted: its owner deletes it.

#include "XAlloc.h"

#include <cstdint>

namespace Korvel {

struct DecoderChannel;
class PointInfo;
class PointIterator;
class ProgressDelegate;
class RTree;

class BaseDecoderInfo {
public:
    KORVEL_XALLOC_OPERATORS

    // Bounds start empty: each minimum +infinity, each maximum -infinity.
    BaseDecoderInfo();
    BaseDecoderInfo(const BaseDecoderInfo&) = delete;
    BaseDecoderInfo& operator=(const BaseDecoderInfo&) = delete;
    // Deletes the spatial index.
    virtual ~BaseDecoderInfo();

    // The channel named exactly name; none throws "could not find channel '<name>'".
    virtual const DecoderChannel& getChannel(const char* name) const = 0;
    virtual const DecoderChannel& getChannel(std::uint64_t index) const = 0;
    // The points that an iterator over the box and fraction would decode.
    virtual double estimateNumPoints(const double* bounds, double fraction) const = 0;
    // A new iterator with one reference.
    virtual PointIterator* createIterator(const double* bounds, double fraction,
                                          const PointInfo& pointInfo,
                                          ProgressDelegate* delegate) = 0;

    std::int64_t getNumPoints() const { return numPoints_; }
    std::uint64_t getNumChannels() const { return numChannels_; }
    std::uint64_t getMaxSubblockSize() const { return maxSubblockSize_; }
    // X minimum, X maximum, Y minimum, Y maximum, Z minimum, Z maximum.
    const double* getBounds() const { return bounds_; }
    const RTree* getIndex() const { return index_; }

protected:
    std::int64_t numPoints_ = 0;
    std::uint64_t numChannels_ = 0;
    std::uint64_t maxSubblockSize_ = 0;
    double bounds_[6];
    RTree* index_ = nullptr;
};

} // namespace Korvel
