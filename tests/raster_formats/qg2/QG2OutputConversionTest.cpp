// Planes to scene-buffer samples: the worked values, the YIQ matrix from its bit patterns, the
// four-band conversion, and what the conversion refuses.

#include "qg2/QG2OutputConversion.h"
#include "model/KVIColorSpace.h"
#include "model/KVIDataType.h"
#include "qg2/QG2Status.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

namespace Korvel {
namespace {

Array2D<float> planesOf(const std::vector<std::vector<float>>& bands) {
    Array2D<float> planes(static_cast<std::uint32_t>(bands.size()),
                          static_cast<std::uint32_t>(bands[0].size()), 1);
    planes.allocate();
    for (std::uint32_t b = 0; b < bands.size(); ++b)
        std::memcpy(planes.plane(b), bands[b].data(), bands[b].size() * sizeof(float));
    return planes;
}

// The samples of one row, converted to double.
std::vector<std::vector<double>> convert(const std::vector<std::vector<float>>& bands,
                                         std::uint32_t dataType, KVStatus expected = KV_OK) {
    const Array2D<float> planes = planesOf(bands);
    const auto n = static_cast<std::uint16_t>(bands.size());
    const auto width = static_cast<std::uint32_t>(bands[0].size());
    KVISceneBuffer buffer(KVIPixel(n == 1 ? KVI_COLORSPACE_GREY : KVI_COLORSPACE_RGB, n, dataType),
                          width, 1);
    EXPECT_EQ(qg2ConvertToSceneBuffer(buffer, n, width, 1, planes), expected);
    std::vector<std::vector<double>> out(n);
    for (std::uint16_t b = 0; b < n; ++b) {
        const std::uint8_t* data = buffer.getWindowBandData(b);
        for (std::uint32_t x = 0; x < width; ++x) {
            if (dataType == KVI_DATATYPE_UINT8) out[b].push_back(data[x]);
            if (dataType == KVI_DATATYPE_UINT16)
                out[b].push_back(reinterpret_cast<const std::uint16_t*>(data)[x]);
            if (dataType == KVI_DATATYPE_FLOAT32)
                out[b].push_back(reinterpret_cast<const float*>(data)[x]);
        }
    }
    return out;
}

TEST(QG2OutputConversion, OneBandRoundsAndClamps) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(convert({{255.4f, 255.6f, -0.6f, 0.49f, 0.5f, 1e30f, nan}}, KVI_DATATYPE_UINT8)[0],
              (std::vector<double>{255, 255, 0, 0, 1, 255, 0}));
    EXPECT_EQ(convert({{65534.6f, 70000.0f, -3.0f, 2.5f}}, KVI_DATATYPE_UINT16)[0],
              (std::vector<double>{65535, 65535, 0, 3}));
    // Float output keeps the + 0.5 and clamps only negatives (and NaN) to 0.
    EXPECT_EQ(convert({{1.25f, -0.6f, 300.0f, nan}}, KVI_DATATYPE_FLOAT32)[0],
              (std::vector<double>{1.75, 0.0, 300.5, 0.0}));
}

TEST(QG2OutputConversion, ThreeBandsUseTheYiqMatrix) {
    // The matrix from its bit patterns, each output (Y + a I) + b Q in single precision.
    const float a[3][2] = {{std::bit_cast<float>(0x3F71F9AEu), std::bit_cast<float>(0x3F21F9AEu)},
                           {std::bit_cast<float>(0xBE9425EDu), std::bit_cast<float>(0xBF1A12F7u)},
                           {std::bit_cast<float>(0xBF8CBDA1u), std::bit_cast<float>(0x3FDB425Fu)}};
    const std::vector<float> y{100.0f, 17.3f, 250.0f}, i{10.5f, -3.25f, 40.0f},
        q{-7.75f, 12.0f, 30.0f};
    const auto out = convert({y, i, q}, KVI_DATATYPE_FLOAT32);
    for (int c = 0; c < 3; ++c)
        for (std::size_t x = 0; x < y.size(); ++x)
            EXPECT_EQ(out[c][x], ((y[x] + a[c][0] * i[x]) + a[c][1] * q[x]) + 0.5f) << c << x;
    // The same in 8 bits, truncated and held to 255.
    const auto bytes = convert({y, i, q}, KVI_DATATYPE_UINT8);
    EXPECT_EQ(bytes[0][2], 255);
    EXPECT_EQ(bytes[2][0], std::trunc(((100.0f + a[2][0] * 10.5f) + a[2][1] * -7.75f) + 0.5f));
}

TEST(QG2OutputConversion, FourBandsTakeTheCommonPartIntoTheFourth) {
    // Y = 100, I = Q = 0: R = G = B = 100, so Cy = Ma = Ye = (255 - 100) x 2 = 310, m = 310.
    // K = 200: d = 110; outputs 310.5 - 110 = 200 (held to 255: 200), and 110.
    auto out = convert({{100.0f}, {0.0f}, {0.0f}, {200.0f}}, KVI_DATATYPE_UINT8);
    EXPECT_EQ(out[0][0], 200);
    EXPECT_EQ(out[3][0], 110);
    // K above m: d = 0, the fourth band 0 and the others Cy + 0.5 held to 255.
    out = convert({{100.0f}, {0.0f}, {0.0f}, {400.0f}}, KVI_DATATYPE_UINT8);
    EXPECT_EQ(out[3][0], 0);
    EXPECT_EQ(out[0][0], 255);
    // 16 bits: max 65535; K below 0 counts as 0, so d = m.
    out = convert({{65000.0f}, {0.0f}, {0.0f}, {-5.0f}}, KVI_DATATYPE_UINT16);
    EXPECT_EQ(out[3][0], 1070);
    EXPECT_EQ(out[0][0], 0);
}

TEST(QG2OutputConversion, RefusesWhatItCannotWrite) {
    convert({{1.0f}, {1.0f}, {1.0f}, {1.0f}}, KVI_DATATYPE_FLOAT32, KV_QG2_FOUR_BANDS_FLOAT);
    convert({{1.0f}}, KVI_DATATYPE_SINT16, KV_UNSUPPORTED_DATA_TYPE);
    convert({{1.0f}}, KVI_DATATYPE_FLOAT64, KV_UNSUPPORTED_DATA_TYPE);
    // Two bands: nothing written, no failure.
    const auto two = convert({{100.0f}, {100.0f}}, KVI_DATATYPE_UINT8);
    EXPECT_EQ(two[0][0] + two[1][0], 0);
    // A buffer of fewer bands, or a window too small, is refused.
    const Array2D<float> planes = planesOf({{1.0f, 2.0f}, {1.0f, 2.0f}, {1.0f, 2.0f}});
    KVISceneBuffer grey(KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8), 2, 1);
    EXPECT_EQ(qg2ConvertToSceneBuffer(grey, 3, 2, 1, planes), KV_PIXEL_BAND_COUNT_MISMATCH);
    KVISceneBuffer narrow(KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8), 1, 1);
    EXPECT_EQ(qg2ConvertToSceneBuffer(narrow, 3, 2, 1, planes), KV_SCENE_BUFFER_MISMATCH);
    KVISceneBuffer wide(KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8), 3, 1);
    EXPECT_EQ(qg2ConvertToSceneBuffer(wide, 3, 3, 1, planes), KV_BAD_ARGUMENT);
}

} // namespace
} // namespace Korvel
