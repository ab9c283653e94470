#pragma once
// A single-precision source position of the resamplers split into the index of the sample (or
// row) at or before it and the fraction beyond that index: index = the position truncated toward
// zero, fraction = position - index, so a position between -1 and 0 gives index 0 and a negative
// fraction.

#include <algorithm>
#include <cfloat>
#include <cmath>
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

// The position after `count` additions of `step`, each rounded to single precision as a running
// position is, bit for bit, in time that does not grow with count. Within one binade an addition
// adds the same multiple of the binade's unit every time, once a tie's rounding has settled
// (after at most one addition): when two additions in a row inside a binade add the same amount
// d, the additions that follow until the sum nears the binade's top add d each, and are taken
// together (exactly, in double). Additions near a binade's top, below the smallest normal value
// or of a step that is not positive go one at a time.
inline float kviAdvance(float position, float step, std::uint64_t count) {
    while (count > 0) {
        const float a = position + step;
        if (count < 3 || !(step > 0.0f) || !(a >= FLT_MIN) || !std::isfinite(a)) {
            position = a;
            --count;
            continue;
        }
        const float b = a + step;
        const float c = b + step;
        count -= 3;
        position = c;
        int binade = 0;
        int binadeOfC = 0;
        std::frexp(a, &binade);
        std::frexp(c, &binadeOfC);
        const float d = b - a;
        if (binade != binadeOfC || c - b != d || !std::isfinite(c)) continue;
        if (d == 0.0f) return c;
        // From c, an addition that ends below the binade's top less one unit adds d: take the
        // whole run but one.
        const double limit = std::ldexp(1.0, binade) - std::ldexp(1.0, binade - 24);
        const double run = std::floor((limit - c) / d) - 1.0;
        if (run < 1.0) continue;
        const auto taken = static_cast<std::uint64_t>(std::min(run, static_cast<double>(count)));
        position = static_cast<float>(double{c} + static_cast<double>(taken) * double{d});
        count -= taken;
    }
    return position;
}

// index held within first ... last.
inline std::int64_t kviClampIndex(std::int64_t index, std::int64_t first, std::int64_t last) {
    return index < first ? first : (index > last ? last : index);
}

} // namespace Korvel
