#pragma once
// Magnifications, resolution levels and the movement of pixel coordinates between levels.
// Magnification 1.0 is full resolution and level 0; each level halves it: level 1 is 0.5,
// level -1 is 2.0.

#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

// -log2(mag).
double magToLevelReal(double mag);
// The nearest level: floor(-log2(mag) + 0.5). A magnification of 0 or below gives the largest
// level, an infinite one the smallest, NaN level 0.
std::int32_t magToLevel(double mag);
// 2 to the power -level.
double levelToMag(std::int32_t level);

// A coordinate at level 0 moved to a level (a negative level magnifies). shiftCeil rounds away
// from zero, shiftFloor toward minus infinity. A result beyond 32 bits is held at the nearest
// 32-bit value; shiftOverflows tells beforehand.
std::int32_t shiftCeil(std::int32_t value, std::int32_t level);
std::int32_t shiftFloor(std::int32_t value, std::int32_t level);
// Whether magnifying value to a negative level may leave the 32-bit range (|value| >=
// 2^(31 + level)); never for level 0 or above.
bool shiftOverflows(std::int32_t value, std::int32_t level);

// A power-of-two magnification near mag, held within [minMag, maxMag] (an image's range). mag is
// rounded up to the next power of two unless it lies within a quarter level above the one below.
// A magnification that is not positive gives minMag.
double snapMagnification(double mag, double minMag, double maxMag);

// The size of a width x height image at a magnification, each side rounded up. KV_BAD_ARGUMENT
// (and 0 x 0) when mag is negative or not finite, or a side does not fit in 32 bits.
KVStatus scaleDimensions(std::uint32_t width, std::uint32_t height, double mag,
                         std::uint32_t& outWidth, std::uint32_t& outHeight);

} // namespace Korvel
