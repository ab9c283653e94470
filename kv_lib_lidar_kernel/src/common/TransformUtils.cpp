#include "TransformUtils.h"

#include "Error.h"

namespace Korvel::TransformUtils {

namespace {

enum : unsigned { Wavelet = 1, Integer = 2, FloatingPoint = 4, MQ = 8, GZ = 16 };

struct Transform {
    std::uint32_t code;
    unsigned flags;
    std::uint32_t padding; // 0: no stages
    std::uint32_t headroom;
};

constexpr unsigned WaveletMQInteger = Wavelet | Integer | MQ;
constexpr unsigned WaveletMQFloat = Wavelet | FloatingPoint | MQ;
constexpr unsigned WaveletGZFloat = Wavelet | FloatingPoint | GZ;

constexpr Transform Transforms[] = {
    {1, WaveletMQInteger, 1, 3},  {3, WaveletMQInteger, 2, 6},    {10, WaveletMQInteger, 1, 0},
    {11, WaveletMQInteger, 1, 3}, {13, WaveletMQInteger, 2, 6},   {21, WaveletMQFloat, 1, 3},
    {23, WaveletMQFloat, 2, 6},   {30, WaveletMQFloat, 1, 0},     {31, WaveletMQFloat, 1, 3},
    {33, WaveletMQFloat, 2, 6},   {61, WaveletGZFloat, 1, 3},     {63, WaveletGZFloat, 2, 6},
    {70, WaveletGZFloat, 1, 0},   {71, WaveletGZFloat, 1, 3},     {73, WaveletGZFloat, 2, 6},
    {80, Integer | MQ, 0, 2},     {90, FloatingPoint | MQ, 0, 2}, {110, FloatingPoint | GZ, 0, 2},
};

// The table row of a code; an unknown code throws in the name of the asking function.
const Transform& lookup(std::uint32_t code, const char* function) {
    for (const Transform& transform : Transforms)
        if (transform.code == code) return transform;
    KORVEL_FAIL("TransformUtils", function, ErrorCode::Generic, "bad transform type");
}

} // namespace

bool isWavelet(std::uint32_t transform) {
    return (lookup(transform, "Korvel::TransformUtils::isWavelet").flags & Wavelet) != 0;
}

bool isInteger(std::uint32_t transform) {
    return (lookup(transform, "Korvel::TransformUtils::isInteger").flags & Integer) != 0;
}

bool isFloatingPoint(std::uint32_t transform) {
    return (lookup(transform, "Korvel::TransformUtils::isFloatingPoint").flags & FloatingPoint) !=
           0;
}

bool isMQ(std::uint32_t transform) {
    return (lookup(transform, "Korvel::TransformUtils::isMQ").flags & MQ) != 0;
}

bool isGZ(std::uint32_t transform) {
    return (lookup(transform, "Korvel::TransformUtils::isGZ").flags & GZ) != 0;
}

std::uint32_t getPadding(std::uint32_t transform) {
    const char* const function = "Korvel::TransformUtils::getPadding";
    const Transform& row = lookup(transform, function);
    if (row.padding == 0)
        KORVEL_FAIL("TransformUtils", function, ErrorCode::Generic, "bad transform type");
    return row.padding;
}

std::uint32_t getHeadroom(std::uint32_t transform) {
    return lookup(transform, "Korvel::TransformUtils::getHeadroom").headroom;
}

} // namespace Korvel::TransformUtils
