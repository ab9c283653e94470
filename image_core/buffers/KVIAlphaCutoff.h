#pragma once
// The alpha level at or below which a pixel of a merge counts as transparent. With the blend flag
// set it is the type's lowest value, so any alpha above it shows; clear, it is the middle of the
// range, truncated toward zero for the integer types (127 for u8, 0 for s8, 32767 for u16, 0 for
// s16, 0.5 for float).

#include "model/KVIPixel.h"
#include "model/KVISampleRange.h"

#include <cmath>
#include <cstdint>
#include <type_traits>

namespace Korvel {

template <typename T> struct KVIAlphaCutoff {
    // pixel has alpha (its last band).
    KVIAlphaCutoff(const KVIPixel& pixel, bool blend)
        : numBands(pixel.getNumBands()),
          alphaBand(static_cast<std::uint16_t>(pixel.getNumBands() > 0 ? numBands - 1 : 0)) {
        const double w = blend ? 1.0 : 0.5;
        const double lo = static_cast<double>(KVISampleRange<T>::lo);
        const double hi = static_cast<double>(KVISampleRange<T>::hi);
        if constexpr (std::is_floating_point_v<T>)
            cutoff = static_cast<T>((1.0 - w) * hi + w * lo);
        else
            cutoff = static_cast<T>(std::trunc((1.0 - w) * hi + w * lo));
    }

    // Whether an alpha sample shows: above the cut-off; for the floating types anything but at
    // or below it, so a NaN alpha shows.
    bool shows(T alpha) const {
        if constexpr (std::is_floating_point_v<T>)
            return !(cutoff >= alpha);
        else
            return alpha > cutoff;
    }
    // How far an alpha lies above the cut-off, squared: the difference formed in the type's
    // integer arithmetic (single precision for the floating types), squared in double.
    double distance2(T alpha) const {
        if constexpr (std::is_floating_point_v<T>) {
            const auto d = static_cast<double>(static_cast<float>(alpha - cutoff));
            return d * d;
        } else {
            const auto d = static_cast<double>(std::int64_t{alpha} - std::int64_t{cutoff});
            return d * d;
        }
    }

    std::uint16_t numBands;
    std::uint16_t alphaBand;
    T cutoff{};
};

} // namespace Korvel
