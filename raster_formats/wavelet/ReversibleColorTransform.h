#pragma once
// The reversible colour transform of the first three bands: five lifting steps with 14-bit
// fixed-point constants, each exactly invertible, so that liftColorInverse undoes
// liftColorForward on 32-bit integers. The codes name which of the two runs; the decoder runs
// the one that undoes the stored code.

#include <cstddef>
#include <cstdint>

namespace Korvel {

namespace ColorTransformCode {
inline constexpr std::uint32_t None = 1;
inline constexpr std::uint32_t Inverse = 4;       // runs liftColorInverse
inline constexpr std::uint32_t InverseSecond = 7; // the same, a second code
inline constexpr std::uint32_t Forward = 10;      // runs liftColorForward
inline constexpr std::uint32_t ForwardSecond = 13;
inline constexpr std::uint32_t Invalid = 254;
} // namespace ColorTransformCode

// Each transforms count sample triples in place: planes[0], planes[1] and planes[2] hold bands
// 0, 1 and 2, consecutive samples stride apart.
void liftColorForward(std::int32_t* const* planes, std::size_t stride, std::size_t count);
void liftColorInverse(std::int32_t* const* planes, std::size_t stride, std::size_t count);

// The code that undoes a code: 1 for 1, 4 and 10 swapped, 7 and 13 swapped, 254 for any other.
std::uint32_t inverseColorTransformCode(std::uint32_t code);

// Runs the transform that a code names; nothing for 1, for an unknown code, or for fewer than
// three bands.
void applyColorTransform(std::uint32_t code, std::int32_t* const* planes, std::uint16_t bands,
                         std::size_t stride, std::size_t count);

// The two evaluations of the fixed-point rounding R(p) = floor((p + 8192) / 16384), which give
// the same value wherever both apply.
namespace ColorRounding {
// R(p) by one signed division; p must lie within [-2^30 - 8192, 2^30 - 8192).
std::int32_t direct(std::int32_t p);
// R(k x), and R(k1 x1 - k2 x2), by splitting each x into x / 2^14 and its remainder; exact
// whenever the result fits 32 bits, and wrapping (never undefined) otherwise.
std::int32_t split(std::int32_t k, std::int32_t x);
std::int32_t split(std::int32_t k1, std::int32_t x1, std::int32_t k2, std::int32_t x2);
} // namespace ColorRounding

} // namespace Korvel
