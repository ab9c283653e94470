#include "support/KVMagnification.h"

#include "support/KVSaturate.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Korvel {

namespace {

// Shifts beyond these change nothing more: a 32-bit value is gone after 32 to the right and
// beyond the 32-bit range after 31 to the left, and 64-bit arithmetic holds either.
constexpr std::int64_t kMaxRightShift = 40;
constexpr std::int64_t kMaxLeftShift = 31;

// v x 2^-level for v >= 0, rounding up.
std::int64_t ceilNonNegative(std::int64_t v, std::int32_t level) {
    if (level < 1) return v << std::min(-std::int64_t(level), kMaxLeftShift);
    return ((v - 1) >> std::min(std::int64_t(level), kMaxRightShift)) + 1;
}

// v x 2^-level, rounding toward minus infinity; the arithmetic shift does that for negative v.
std::int64_t floorAny(std::int64_t v, std::int32_t level) {
    if (level < 1) {
        const std::int64_t shift = std::min(-std::int64_t(level), kMaxLeftShift);
        return v < 0 ? -((-v) << shift) : v << shift;
    }
    return v >> std::min(std::int64_t(level), kMaxRightShift);
}

} // namespace

double magToLevelReal(double mag) {
    return -(std::log(mag) / std::log(2.0));
}

std::int32_t magToLevel(double mag) {
    if (std::isnan(mag)) return 0;
    if (mag <= 0.0) return std::numeric_limits<std::int32_t>::max();
    return saturateToInt32(std::floor(magToLevelReal(mag) + 0.5));
}

double levelToMag(std::int32_t level) {
    return std::pow(2.0, -static_cast<double>(level));
}

std::int32_t shiftCeil(std::int32_t value, std::int32_t level) {
    const std::int64_t v = value;
    return saturateToInt32(v < 0 ? -ceilNonNegative(-v, level) : ceilNonNegative(v, level));
}

std::int32_t shiftFloor(std::int32_t value, std::int32_t level) {
    return saturateToInt32(floorAny(value, level));
}

bool shiftOverflows(std::int32_t value, std::int32_t level) {
    if (level >= 0) return false;
    if (level <= -31) return value != 0;
    const std::int64_t magnitude = value < 0 ? -std::int64_t(value) : std::int64_t(value);
    return magnitude >= (std::int64_t(1) << (31 + level));
}

double snapMagnification(double mag, double minMag, double maxMag) {
    if (!(mag > 0.0)) return minMag;
    const double level = std::floor(magToLevelReal(mag) + 0.25);
    const double candidate = std::pow(2.0, -level);
    if (minMag > candidate) return minMag;
    if (maxMag <= candidate) return maxMag;
    return candidate;
}

KVStatus scaleDimensions(std::uint32_t width, std::uint32_t height, double mag,
                         std::uint32_t& outWidth, std::uint32_t& outHeight) {
    outWidth = 0;
    outHeight = 0;
    if (!std::isfinite(mag) || mag < 0.0) return KV_BAD_ARGUMENT;
    const double w = std::ceil(width * mag);
    const double h = std::ceil(height * mag);
    constexpr double kLimit = std::numeric_limits<std::uint32_t>::max();
    if (w > kLimit || h > kLimit) return KV_BAD_ARGUMENT;
    outWidth = static_cast<std::uint32_t>(static_cast<std::int64_t>(w));
    outHeight = static_cast<std::uint32_t>(static_cast<std::int64_t>(h));
    return KV_OK;
}

} // namespace Korvel
