#pragma once
// A single-precision source position of the resamplers split into the index of the sample (or
// row) at or before it and the fraction beyond that index: index = the position truncated toward
// zero, fraction = position - index, so a position between -1 and 0 gives index 0 and a negative
// fraction.

#include <algorithm>
#include <cstdint>

namespace Korvel {

struct KVIResamplePosition {
    std::int64_t index;
    float fraction;
};

// Any position beyond +-2^40 addresses an end sample or row of every source (which holds fewer
// than 2^32 of them), so positions are held there: the conversion to an integer stays defined and
// no result changes. A NaN position is held at the lower limit.
inline KVIResamplePosition kviLocate(float position) {
    constexpr float kLimit = 1099511627776.0f;
    const float held = std::max(-kLimit, std::min(position, kLimit));
    const auto index = static_cast<std::int64_t>(held);
    return {index, held - static_cast<float>(index)};
}

// index held within first ... last.
inline std::int64_t kviClampIndex(std::int64_t index, std::int64_t first, std::int64_t last) {
    return index < first ? first : (index > last ? last : index);
}

} // namespace Korvel
