// What the two information paths share: the rounding of a ratio.

#include "QuarnInfoPaths.h"

#include <cmath>
#include <cstdint>

DWORD roundedRatio(float quotient) {
    double rounded = static_cast<double>(quotient) + 0.5;
    if (std::isnan(rounded)) return 0;
    if (rounded >= 2147483648.0) return 0x7FFFFFFF;
    if (rounded <= -2147483649.0) return 0x80000000;
    return static_cast<DWORD>(static_cast<std::int32_t>(rounded));
}
