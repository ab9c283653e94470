// The transform classification and the inverse lifting kernels. Each kernel pair is checked
// against a plain whole-signal inverse written here, after a plain forward lifting of a random
// signal, on windows of several sizes and start positions.

#include "TransformUtils.h"
#include "DataType.h"
#include "Error.h"
#include "LidarTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

using namespace Korvel;
namespace TU = Korvel::TransformUtils;

namespace {

// The plain lifting steps over whole bands, each band extended by repeating its edge samples:
// integers in 64 bits with floor shifts (the test values never wrap), floats in T in the
// documented order.
template <class T> struct Plain {
    static T at(const std::vector<T>& band, std::int64_t k) {
        return band[std::clamp<std::int64_t>(k, 0, static_cast<std::int64_t>(band.size()) - 1)];
    }
    static T predict(const std::vector<T>& e, std::int64_t k, bool fourTap) {
        const T m = at(e, k - 1), a = at(e, k), b = at(e, k + 1), p = at(e, k + 2);
        if constexpr (std::is_floating_point_v<T>)
            return fourTap ? (T(9) * a + T(9) * b - (p + m)) * T(0.0625) : T(0.5) * a + T(0.5) * b;
        else
            return static_cast<T>(fourTap ? (9 * (std::int64_t{a} + b) - m - p + 14) >> 4
                                          : (std::int64_t{a} + b) >> 1);
    }
    static T update(const std::vector<T>& h, std::int64_t k, bool fourTap) {
        const T m = at(h, k - 2), a = at(h, k - 1), b = at(h, k), p = at(h, k + 1);
        if constexpr (std::is_floating_point_v<T>)
            return fourTap ? (T(9) * a + T(9) * b - (p + m)) * T(0.03125)
                           : T(0.25) * a + T(0.25) * b;
        else
            return static_cast<T>(fourTap ? (9 * (std::int64_t{a} + b) - m - p + 30) >> 5
                                          : (std::int64_t{a} + b + 2) >> 2);
    }
};

template <class T> void checkKernels(std::uint32_t datatype, std::uint32_t code, int length) {
    SCOPED_TRACE("datatype " + std::to_string(datatype) + " transform " + std::to_string(code) +
                 " length " + std::to_string(length));
    const std::uint32_t kind = code % 20; // 1, 3, 10, 11 or 13
    const bool predicts = kind != 10, updates = kind == 1 || kind == 3;
    const bool fourTap = kind == 3 || kind == 13;
    std::mt19937 random(code * 131 + length);
    std::vector<T> signal(length);
    for (T& sample : signal)
        sample = std::is_floating_point_v<T>
                     ? static_cast<T>(std::uniform_real_distribution<double>(-1000, 1000)(random))
                     : static_cast<T>(std::uniform_int_distribution<int>(-500, 500)(random));

    // Forward: high = odd - P(even), then low = even + U(high).
    std::vector<T> even, odd;
    for (int i = 0; i < length; ++i)
        (i % 2 == 0 ? even : odd).push_back(signal[i]);
    std::vector<T> high = odd, low = even;
    for (std::size_t k = 0; k < high.size() && predicts; ++k)
        high[k] = static_cast<T>(odd[k] - Plain<T>::predict(even, k, fourTap));
    for (std::size_t k = 0; k < low.size() && updates; ++k)
        low[k] = static_cast<T>(even[k] + Plain<T>::update(high, k, fourTap));

    // Plain inverse of the whole signal: even = low - U(high), then odd = high + P(even).
    std::vector<T> lowOut = low, highOut = high;
    for (std::size_t k = 0; k < low.size() && updates; ++k)
        lowOut[k] = static_cast<T>(low[k] - Plain<T>::update(high, k, fourTap));
    for (std::size_t k = 0; k < high.size() && predicts; ++k)
        highOut[k] = static_cast<T>(Plain<T>::predict(lowOut, k, fourTap) + high[k]);
    for (int i = 0; i < length; ++i) {
        const T back = i % 2 == 0 ? lowOut[i / 2] : highOut[i / 2];
        if constexpr (std::is_floating_point_v<T>)
            ASSERT_NEAR(back, signal[i], 1e-2) << i;
        else
            ASSERT_EQ(back, signal[i]) << i;
    }

    TU::PredictKernel predict = nullptr;
    TU::UpdateKernel update = nullptr;
    TU::getInverseWavelet(datatype, code, predict, update);
    // Windows of band positions [b, b + n), with odd and even starts, visited forward and then
    // backward. A window holds 4 extended positions on each side; the update runs on the window
    // and 2 positions around it (not beyond the band), the low band outside it is the updated
    // edge sample, then the predict runs on the window.
    const auto H = static_cast<std::int64_t>(high.size());
    const auto L = static_cast<std::int64_t>(low.size());
    std::vector<std::pair<std::int64_t, std::int64_t>> windows;
    for (std::int64_t n : {1, 2, 3, 4, 5, 7, 8, 13})
        for (std::int64_t b : {std::int64_t{0}, std::int64_t{1}, std::int64_t{2}, std::int64_t{5},
                               std::int64_t{9}, H - n})
            if (b >= 0 && b + n <= H) windows.push_back({b, n});
    for (std::size_t w = 0; w < 2 * windows.size(); ++w) {
        const auto [b, n] = windows[w < windows.size() ? w : 2 * windows.size() - 1 - w];
        std::vector<T> lowWindow(n + 8), highWindow(n + 8);
        for (std::int64_t j = 0; j < n + 8; ++j) {
            lowWindow[j] = Plain<T>::at(low, b - 4 + j);
            highWindow[j] = Plain<T>::at(high, b - 4 + j);
        }
        const std::int64_t u0 = std::max<std::int64_t>(b - 2, 0);
        const std::int64_t u1 = std::min<std::int64_t>(b + n + 2, L);
        update(&lowWindow[u0 - b + 4], u1 - u0, &highWindow[u0 - b + 4]);
        for (std::int64_t j = 0; j < n + 8; ++j)
            if (b - 4 + j < 0 || b - 4 + j >= L)
                lowWindow[j] = lowWindow[std::clamp<std::int64_t>(b - 4 + j, 0, L - 1) - b + 4];
        predict(&lowWindow[4], 0, &highWindow[4], n);
        for (std::int64_t k = 0; k < n; ++k) {
            ASSERT_EQ(lowWindow[k + 4], lowOut[b + k]) << "window " << b << "+" << n;
            ASSERT_EQ(highWindow[k + 4], highOut[b + k]) << "window " << b << "+" << n;
        }
    }
}

} // namespace

TEST(TransformUtils, ClassifiesEveryCode) {
    // code, wavelet, integer, float, MQ, GZ, padding (0: none), headroom
    const std::uint32_t table[][8] = {
        {1, 1, 1, 0, 1, 0, 1, 3},  {3, 1, 1, 0, 1, 0, 2, 6},  {10, 1, 1, 0, 1, 0, 1, 0},
        {11, 1, 1, 0, 1, 0, 1, 3}, {13, 1, 1, 0, 1, 0, 2, 6}, {21, 1, 0, 1, 1, 0, 1, 3},
        {23, 1, 0, 1, 1, 0, 2, 6}, {30, 1, 0, 1, 1, 0, 1, 0}, {31, 1, 0, 1, 1, 0, 1, 3},
        {33, 1, 0, 1, 1, 0, 2, 6}, {61, 1, 0, 1, 0, 1, 1, 3}, {63, 1, 0, 1, 0, 1, 2, 6},
        {70, 1, 0, 1, 0, 1, 1, 0}, {71, 1, 0, 1, 0, 1, 1, 3}, {73, 1, 0, 1, 0, 1, 2, 6},
        {80, 0, 1, 0, 1, 0, 0, 2}, {90, 0, 0, 1, 1, 0, 0, 2}, {110, 0, 0, 1, 0, 1, 0, 2},
    };
    for (const auto& row : table) {
        const std::uint32_t got[] = {
            TU::isWavelet(row[0]),  TU::isInteger(row[0]), TU::isFloatingPoint(row[0]),
            TU::isMQ(row[0]),       TU::isGZ(row[0]),      row[6] ? TU::getPadding(row[0]) : 0,
            TU::getHeadroom(row[0])};
        EXPECT_TRUE(std::equal(got, got + 7, row + 1)) << row[0];
    }

    for (std::uint32_t code : {0u, 2u, 20u, 100u, 257u}) {
        const Error error = quarn_test::kernelError([code] { TU::isMQ(code); });
        EXPECT_STREQ(error.what(), "bad transform type");
        EXPECT_STREQ(error.getFunction(), "Korvel::TransformUtils::isMQ");
        EXPECT_EQ(error.getCode(), 0xFFFFFFFFu);
    }
    const Error padding = quarn_test::kernelError([] { TU::getPadding(80); });
    EXPECT_STREQ(padding.what(), "bad transform type");
    EXPECT_STREQ(padding.getFunction(), "Korvel::TransformUtils::getPadding");
}

TEST(TransformUtils, KernelsGiveTheWorkedValues) {
    TU::PredictKernel predict = nullptr;
    TU::UpdateKernel update = nullptr;
    // Transform 3, 16 bits: 100 - ((9 * 20 - 10 - 10 + 30) >> 5) = 95.
    TU::getInverseWavelet(DATATYPE_SINT16, 3, predict, update);
    std::int16_t low16[5] = {0, 0, 100, 0, 0}, high16[5] = {10, 10, 10, 10, 10};
    update(&low16[2], 1, &high16[2]);
    EXPECT_EQ(low16[2], 95);
    // Transform 1, 16 bits: the sum 30000 + 30000 wraps to -5536 before the halving.
    TU::getInverseWavelet(DATATYPE_SINT16, 1, predict, update);
    std::int16_t lowWrap[2] = {30000, 30000}, highWrap[1] = {0};
    predict(lowWrap, 0, highWrap, 1);
    EXPECT_EQ(highWrap[0], -2768);
    // Transform 1, 32 bits: high -3 and 0 subtract (-3 + 2) >> 2 = -1.
    TU::getInverseWavelet(DATATYPE_SINT32, 1, predict, update);
    std::int32_t low32[2] = {0, 40}, high32[2] = {-3, 0};
    update(&low32[1], 1, &high32[1]);
    EXPECT_EQ(low32[1], 41);

    const Error datatype = quarn_test::kernelError(
        [&] { TU::getInverseWavelet(DATATYPE_UINT16, 1, predict, update); });
    EXPECT_STREQ(datatype.what(), "unkown datatype");
    EXPECT_EQ(datatype.getCode(), 40007u);
    const Error wavelet = quarn_test::kernelError(
        [&] { TU::getInverseWavelet(DATATYPE_SINT32, 80, predict, update); });
    EXPECT_STREQ(wavelet.what(), "unkown wavelet type");
    EXPECT_STREQ(wavelet.getFunction(), "Korvel::TransformUtils::getInverseWavelet");
}

TEST(TransformUtils, KernelsInvertThePlainForwardLifting) {
    for (std::uint32_t code :
         {1u, 3u, 10u, 11u, 13u, 21u, 23u, 30u, 31u, 33u, 61u, 63u, 70u, 71u, 73u})
        for (int length : {61, 64}) {
            checkKernels<std::int16_t>(DATATYPE_SINT16, code, length);
            checkKernels<std::int32_t>(DATATYPE_SINT32, code, length);
            checkKernels<std::int64_t>(DATATYPE_SINT64, code, length);
            checkKernels<float>(DATATYPE_FLOAT32, code, length);
            checkKernels<double>(DATATYPE_FLOAT64, code, length);
        }
}
