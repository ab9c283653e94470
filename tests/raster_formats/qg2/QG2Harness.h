#pragma once
// The generation-2 decoder driven as the read protocol drives it (one window of the caller's
// buffer per strip), and the tests' own double-precision decode of a written image to compare it
// with: dequantisation with each subband's step, the plain inverse wavelet of the image writer,
// and the output conversion written out in double precision.

#include "QG2ImageWriter.h"
#include "TestStreams.h"
#include "buffers/KVISceneBuffer.h"
#include "model/KVIColorSpace.h"
#include "model/KVIDataType.h"
#include "qg2/QG2Decoder.h"
#include "qg2/QG2DitherTile.h"
#include "qg2/QG2FileDBInfo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace qg2test {

using namespace Korvel;
using quarn_test::QG2Image;
using quarn_test::QG2ImageSpec;
using quarn_test::QG2Plane;

inline std::uint32_t colorSpaceOf(std::uint32_t bands) {
    return bands == 1 ? KVI_COLORSPACE_GREY : bands == 3 ? KVI_COLORSPACE_RGB : KVI_COLORSPACE_CMYK;
}

// A decode's pixels, each band width x height samples as floats, and what it did.
struct Decoded {
    KVStatus status = KV_OK;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::vector<float>> bands;
    QG2DecodeCounts counts;
    std::vector<std::size_t> cacheAfterStrip;
    // The most coded bytes the block cache kept after a strip.
    std::uint64_t bytesKept = 0;

    float at(std::uint32_t band, std::uint32_t x, std::uint32_t y) const {
        return bands[band][std::size_t{y} * width + x];
    }
    bool operator==(const Decoded& o) const {
        return status == o.status && width == o.width && height == o.height && bands == o.bands;
    }
};

struct DecodeOptions {
    std::uint32_t stripHeight = 64;
    std::uint32_t dataType = KVI_DATATYPE_UINT8;
    bool dither = false;
    KVIInterruptDelegate* interrupt = nullptr;
    // The block cache's byte limit, when not the decoder's own.
    std::optional<std::uint64_t> keptByteLimit;
    // Called on the stream before decoding (to make it fail).
    std::function<void(quarn_test::VectorStream&)> prepare;
};

inline Decoded decode(const std::vector<std::uint8_t>& bytes, const KVIRect& rect,
                      std::int32_t level, const DecodeOptions& options = {}) {
    Decoded d;
    quarn_test::VectorStream stream(bytes, false);
    QG2FileDBInfo info(&stream, options.dither, false, false);
    d.status = info.readHeader();
    if (d.status != KV_OK) return d;
    if (options.prepare) options.prepare(stream);
    QG2Decoder decoder(&info, options.interrupt);
    decoder.setKeptByteLimit(options.keptByteLimit);
    d.status = decoder.initialize();
    if (d.status == KV_OK) d.status = decoder.decodeBegin(rect, level, options.stripHeight);
    if (d.status != KV_OK) return d;
    const KVIRect clipped = decoder.getClippedRect();
    d.width = static_cast<std::uint32_t>(clipped.width());
    d.height = static_cast<std::uint32_t>(clipped.height());
    const auto bands = static_cast<std::uint16_t>(info.getNumBands());
    const KVIPixel pixel(colorSpaceOf(bands), bands, options.dataType);
    KVISceneBuffer buffer(pixel, std::max(d.width, 1u), std::max(d.height, 1u));
    for (std::uint32_t k = 0; k < decoder.getNumStrips() && d.status == KV_OK; ++k) {
        const std::uint32_t y = k * options.stripHeight;
        KVISceneBuffer window(buffer, 0, y, d.width, std::min(options.stripHeight, d.height - y));
        d.status = decoder.decodeStrip(window);
        d.cacheAfterStrip.push_back(decoder.getBlockCache().size());
        d.bytesKept = std::max(d.bytesKept, decoder.getBlockCache().bytesKept());
    }
    d.counts = decoder.getCounts();
    const KVStatus ended = decoder.decodeEnd();
    if (d.status == KV_OK) d.status = ended;
    if (d.status != KV_OK) return d;
    for (std::uint16_t b = 0; b < bands; ++b) {
        std::vector<float> samples;
        for (std::uint32_t y = 0; y < d.height; ++y) {
            const std::uint8_t* row = buffer.getWindowBandData(b) + std::size_t{y} *
                                                                        buffer.getTotalWidth() *
                                                                        buffer.getBytesPerSample(b);
            for (std::uint32_t x = 0; x < d.width; ++x) {
                if (options.dataType == KVI_DATATYPE_UINT8) samples.push_back(row[x]);
                if (options.dataType == KVI_DATATYPE_UINT16) {
                    std::uint16_t v;
                    std::memcpy(&v, row + 2 * x, 2);
                    samples.push_back(v);
                }
                if (options.dataType == KVI_DATATYPE_FLOAT32) {
                    float v;
                    std::memcpy(&v, row + 4 * x, 4);
                    samples.push_back(v);
                }
            }
        }
        d.bands.push_back(std::move(samples));
    }
    return d;
}

// ---- the tests' own decode, in double precision -------------------------------------------------

constexpr double kLevelScale = 1.32159042358398438; // the single-precision 1.3215904
constexpr double kLevelGain = 1.5133281569763917;

// The planes a decode at a level gives before the output conversion: each band's subbands
// dequantised with step / (K^2r s) (s: the subband's scale from a root at that level), less the
// dither in band 0 when it is on, then the plain inverse.
inline std::vector<QG2Plane> referencePlanes(const QG2ImageSpec& spec, const QG2Image& image,
                                             std::int32_t level, bool dither) {
    const std::uint32_t levels = spec.levels;
    std::vector<QG2Plane> planes;
    for (std::size_t b = 0; b < spec.bands.size(); ++b) {
        std::vector<QG2Plane> subbands;
        for (std::uint32_t i = 0; i < image.quantised.size(); ++i) {
            const double scale =
                quarn_test::qg2SubbandScale(i, levels) *
                std::pow(kLevelScale / (1.1496044397354126 * 1.1496044397354126), level);
            const double step = spec.steps[b] / (std::pow(kLevelGain, level) * scale);
            QG2Plane p = image.sizes[i];
            for (std::uint32_t y = 0; y < p.height; ++y) {
                for (std::uint32_t x = 0; x < p.width; ++x) {
                    const std::int32_t q = image.quantised[i][b][std::size_t{y} * p.width + x];
                    double v = q == 0 ? 0.0 : (q > 0 ? q + 0.06 : q - 0.06) * step;
                    if (dither && b == 0)
                        v -= step * QG2DitherTile::value(std::uint64_t{y} + spec.ditherRow,
                                                         std::uint64_t{x} + spec.ditherColumn);
                    p.samples.push_back(v);
                }
            }
            subbands.push_back(std::move(p));
        }
        planes.push_back(quarn_test::qg2Inverse97(subbands, levels,
                                                  static_cast<std::uint32_t>(std::max(level, 0)),
                                                  static_cast<std::uint32_t>(std::max(-level, 0))));
    }
    return planes;
}

// The output conversion in double precision: pixel (x, y) of each output band.
inline std::vector<double> referencePixel(const std::vector<QG2Plane>& planes, std::uint32_t x,
                                          std::uint32_t y, std::uint32_t dataType) {
    const double max = dataType == KVI_DATATYPE_UINT8    ? 255.0
                       : dataType == KVI_DATATYPE_UINT16 ? 65535.0
                                                         : std::numeric_limits<float>::max();
    const auto out = [&](double v) {
        v = std::clamp(v, 0.0, max);
        return dataType == KVI_DATATYPE_FLOAT32 ? v : std::trunc(v);
    };
    const double Y = planes[0].at(x, y);
    if (planes.size() == 1) return {out(Y + 0.5)};
    const double I = planes[1].at(x, y), Q = planes[2].at(x, y);
    const double r = Y + 0.94521606 * I + 0.63271606 * Q;
    const double g = Y - 0.28935185 * I - 0.6018519 * Q;
    const double b = Y - 1.099537 * I + 1.712963 * Q;
    if (planes.size() == 3) return {out(r + 0.5), out(g + 0.5), out(b + 0.5)};
    const double cy = std::clamp((max - r) * 2, 0.0, 2 * max);
    const double ma = std::clamp((max - g) * 2, 0.0, 2 * max);
    const double ye = std::clamp((max - b) * 2, 0.0, 2 * max);
    const double m = std::min({cy, ma, ye});
    const double d = m - std::clamp(planes[3].at(x, y), 0.0, m);
    return {out(cy + 0.5 - d), out(ma + 0.5 - d), out(ye + 0.5 - d), out(d + 0.5)};
}

} // namespace qg2test
