#pragma once
// A generated landscape for coded test images, samples and benchmarks: sky with a sun, a ridge
// of hills, a lake with ripples, fine texture and a little noise. Natural-looking enough that
// the wavelet has smooth fields, edges and detail to code; the same picture for the same seed.

#include <cstdint>
#include <vector>

namespace quarn_test {

// Band `band` of `bands` (one band is the luminance; three are red, green and blue; further
// bands mix them) of a width x height landscape, scaled to [low, high], row by row, with noise of
// up to `grain` 255ths of the range either way.
std::vector<std::int32_t> landscapeBand(std::uint32_t width, std::uint32_t height, unsigned band,
                                        unsigned bands, std::uint32_t seed, std::int32_t low,
                                        std::int32_t high, unsigned grain = 3);
// Every band of it.
std::vector<std::vector<std::int32_t>> landscape(std::uint32_t width, std::uint32_t height,
                                                 unsigned bands, std::uint32_t seed,
                                                 std::int32_t low = 0, std::int32_t high = 255,
                                                 unsigned grain = 3);

} // namespace quarn_test
