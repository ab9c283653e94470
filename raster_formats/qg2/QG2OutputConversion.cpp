#include "QG2OutputConversion.h"

#include "QG2Status.h"
#include "model/KVIDataTypeDispatch.h"

#include <algorithm>
#include <limits>
#include <type_traits>

namespace Korvel {
namespace {

template <class T> constexpr float kMax = std::numeric_limits<T>::max();

// v held within [0, high]; a NaN gives 0.
float clampTo(float v, float high) {
    if (!(v > 0.0f)) return 0.0f;
    return v > high ? high : v;
}

// A sample as a 32-bit value: integer samples truncated toward zero (a 32-bit integer holds every
// value the clamp leaves, and narrows to the same sample), float samples as they are.
template <class T> using Sample = std::conditional_t<std::is_integral_v<T>, std::int32_t, float>;

template <class T> Sample<T> toSample(float v) {
    return static_cast<Sample<T>>(clampTo(v, kMax<T>));
}

struct Rgb {
    float r, g, b;
};

Rgb fromYiq(float y, float i, float q) {
    return {(y + QG2YiqToRgb::kRedI * i) + QG2YiqToRgb::kRedQ * q,
            (y + QG2YiqToRgb::kGreenI * i) + QG2YiqToRgb::kGreenQ * q,
            (y + QG2YiqToRgb::kBlueI * i) + QG2YiqToRgb::kBlueQ * q};
}

template <class T> T* bandRow(KVISceneBuffer& buffer, std::uint16_t band, std::uint32_t row) {
    return reinterpret_cast<T*>(buffer.getWindowBandData(band)) +
           std::size_t{row} * buffer.getTotalWidth();
}

template <class T>
void convertRow(KVISceneBuffer& buffer, std::uint32_t bands, std::uint32_t width, std::uint32_t row,
                const Array2D<float>& planes) {
    if (bands == 1) {
        const float* in = planes.row(0, row);
        T* out = bandRow<T>(buffer, 0, row);
        for (std::uint32_t x = 0; x < width; ++x)
            out[x] = static_cast<T>(toSample<T>(in[x] + 0.5f));
        return;
    }
    // The rows in locals of their own: a store of 8-bit samples could otherwise alter an array
    // holding them, which would keep the compiler from running several samples at once.
    const float* y = planes.row(0, row);
    const float* i = planes.row(1, row);
    const float* q = planes.row(2, row);
    T* red = bandRow<T>(buffer, 0, row);
    T* green = bandRow<T>(buffer, 1, row);
    T* blue = bandRow<T>(buffer, 2, row);
    if (bands == 3) {
        // In chunks: the samples as 32-bit values first, then narrowed, each loop of one sample
        // width so that the compiler runs several samples at once.
        constexpr std::size_t kChunk = 256;
        Sample<T> r[kChunk], g[kChunk], b[kChunk];
        for (std::size_t x0 = 0; x0 < width; x0 += kChunk) {
            const std::size_t n = std::min<std::size_t>(kChunk, width - x0);
            const float *yc = y + x0, *ic = i + x0, *qc = q + x0;
            for (std::size_t x = 0; x < n; ++x) {
                const Rgb c = fromYiq(yc[x], ic[x], qc[x]);
                r[x] = toSample<T>(c.r + 0.5f);
                g[x] = toSample<T>(c.g + 0.5f);
                b[x] = toSample<T>(c.b + 0.5f);
            }
            T *rc = red + x0, *gc = green + x0, *bc = blue + x0;
            for (std::size_t x = 0; x < n; ++x) {
                rc[x] = static_cast<T>(r[x]);
                gc[x] = static_cast<T>(g[x]);
                bc[x] = static_cast<T>(b[x]);
            }
        }
        return;
    }
    if constexpr (std::is_integral_v<T>) {
        const float* k = planes.row(3, row);
        T* black = bandRow<T>(buffer, 3, row);
        constexpr float max = kMax<T>;
        for (std::uint32_t x = 0; x < width; ++x) {
            const Rgb c = fromYiq(y[x], i[x], q[x]);
            const float cyan = clampTo((max - c.r) * 2.0f, 2.0f * max);
            const float magenta = clampTo((max - c.g) * 2.0f, 2.0f * max);
            const float yellow = clampTo((max - c.b) * 2.0f, 2.0f * max);
            const float m = std::min(std::min(cyan, magenta), yellow);
            const float d = m - clampTo(k[x], m);
            red[x] = static_cast<T>(toSample<T>(cyan + 0.5f - d));
            green[x] = static_cast<T>(toSample<T>(magenta + 0.5f - d));
            blue[x] = static_cast<T>(toSample<T>(yellow + 0.5f - d));
            black[x] = static_cast<T>(toSample<T>(d + 0.5f));
        }
    }
}

} // namespace

KVStatus qg2ConvertToSceneBuffer(KVISceneBuffer& buffer, std::uint32_t bands, std::uint32_t width,
                                 std::uint32_t height, const Array2D<float>& planes) {
    if (bands != 1 && bands != 3 && bands != 4) return KV_OK;
    const std::uint32_t type = buffer.getPixelProps().getDataType();
    if (type != KVI_DATATYPE_UINT8 && type != KVI_DATATYPE_UINT16 && type != KVI_DATATYPE_FLOAT32)
        return KV_UNSUPPORTED_DATA_TYPE;
    if (bands == 4 && type == KVI_DATATYPE_FLOAT32) return KV_QG2_FOUR_BANDS_FLOAT;
    if (buffer.getNumBands() < bands) return KV_PIXEL_BAND_COUNT_MISMATCH;
    if (buffer.getWindowWidth() < width || buffer.getWindowHeight() < height)
        return KV_SCENE_BUFFER_MISMATCH;
    if (width == 0 || height == 0) return KV_OK;
    if (planes.getNumPlanes() < bands || planes.getWidth() < width || planes.getHeight() < height)
        return KV_BAD_ARGUMENT;
    for (std::uint32_t b = 0; b < bands; ++b)
        if (!planes.hasPlane(b)) return KV_BAD_ARGUMENT;
    withSampleType(type, [&](auto zero) {
        using T = decltype(zero);
        if constexpr (std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::uint16_t> ||
                      std::is_same_v<T, float>)
            for (std::uint32_t row = 0; row < height; ++row)
                convertRow<T>(buffer, bands, width, row, planes);
    });
    return KV_OK;
}

} // namespace Korvel
