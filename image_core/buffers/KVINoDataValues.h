#pragma once
// The no-data pixel of a merge as plain values of the buffer's sample type: a pixel counts as
// no data when each of the first count bands equals its value. The values are the first bytes of
// each band's sample (one for the 8-bit types, two for the 16-bit ones, the float itself).

#include "model/KVIPixel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace Korvel {

template <typename T> class KVINoDataValues {
public:
    // Compares the pixel's bands, at most maxBands of them (the bands of the buffer it describes).
    // Throws std::bad_alloc when memory runs out.
    KVINoDataValues(const KVIPixel& noData, std::uint16_t maxBands)
        : count_(std::min(noData.getNumBands(), maxBands)), values_(count_) {
        for (std::uint16_t b = 0; b < count_; ++b)
            std::memcpy(&values_[b], noData.getSampleValueAddr(b), sizeof(T));
    }

    std::uint16_t getCount() const { return count_; }

    // Whether column x of the band rows holds a pixel that is not no data: some band differs from
    // its value (for the floating types: is not equal, so a NaN value never matches).
    bool differs(const T* const* rows, std::uint32_t x) const {
        for (std::uint16_t b = 0; b < count_; ++b)
            if (!(rows[b][x] == values_[b])) return true;
        return false;
    }
    // The squared distance of column x from the values: each difference formed in the type's
    // integer arithmetic (single precision for the floating types), the squares summed in double.
    double distance2(const T* const* rows, std::uint32_t x) const {
        double sum = 0.0;
        for (std::uint16_t b = 0; b < count_; ++b) {
            double d = 0.0;
            if constexpr (std::is_floating_point_v<T>)
                d = static_cast<double>(static_cast<float>(values_[b] - rows[b][x]));
            else
                d = static_cast<double>(std::int64_t{values_[b]} - std::int64_t{rows[b][x]});
            sum += d * d;
        }
        return sum;
    }

private:
    std::uint16_t count_;
    std::vector<T> values_;
};

} // namespace Korvel
