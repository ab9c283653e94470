#include "RasterForwardWavelet.h"

#include <stdexcept>

namespace quarn_test {

std::int64_t rasterRoundQuarter(std::int64_t s) {
    std::int64_t q = s / 4;
    if (q * 4 > s) --q; // floor
    const std::int64_t r = s - 4 * q;
    return r < 2 ? q : r > 2 ? q + 1 : (q % 2 == 0 ? q : q + 1);
}

std::int64_t rasterRoundHalf(std::int64_t s) {
    std::int64_t q = s / 2;
    if (q * 2 > s) --q;
    return s - 2 * q == 0 ? q : (q % 2 == 0 ? q : q + 1);
}

namespace {

using Signal = std::vector<std::int64_t>;

// Index k of a signal of n samples, mirrored at both ends about the end samples.
std::size_t mirror(std::int64_t k, std::size_t n) {
    const auto last = static_cast<std::int64_t>(n) - 1;
    return static_cast<std::size_t>(k < 0 ? -k : k > last ? 2 * last - k : k);
}

Signal forward1D(const Signal& x) {
    const std::size_t n = x.size();
    if (n < 2) return x;
    Signal y = x;
    for (std::size_t k = 1; k < n; k += 2)
        y[k] = x[k] - rasterRoundHalf(x[mirror(k - 1, n)] + x[mirror(k + 1, n)]);
    for (std::size_t k = 0; k < n; k += 2)
        y[k] = x[k] + rasterRoundQuarter(y[mirror(std::int64_t(k) - 1, n)] + y[mirror(k + 1, n)]);
    return y;
}

Signal inverse1D(const Signal& y) {
    const std::size_t n = y.size();
    if (n < 2) return y;
    Signal x = y;
    for (std::size_t k = 0; k < n; k += 2)
        x[k] = y[k] - rasterRoundQuarter(y[mirror(std::int64_t(k) - 1, n)] + y[mirror(k + 1, n)]);
    for (std::size_t k = 1; k < n; k += 2)
        x[k] = y[k] + rasterRoundHalf(x[mirror(k - 1, n)] + x[mirror(k + 1, n)]);
    return x;
}

// A whole image as 64-bit samples, row by row.
struct Grid {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Signal v;
    std::int64_t& at(std::uint32_t x, std::uint32_t y) { return v[std::size_t(y) * width + x]; }
};

// Runs a one-dimensional transform over every row (or every column) of g.
void transformLines(Grid& g, bool columns, Signal (*transform)(const Signal&)) {
    const std::uint32_t lines = columns ? g.width : g.height;
    const std::uint32_t length = columns ? g.height : g.width;
    Signal s(length);
    for (std::uint32_t line = 0; line < lines; ++line) {
        auto at = [&](std::uint32_t i) -> std::int64_t& {
            return columns ? g.at(line, i) : g.at(i, line);
        };
        for (std::uint32_t i = 0; i < length; ++i)
            s[i] = at(i);
        const Signal t = transform(s);
        for (std::uint32_t i = 0; i < length; ++i)
            at(i) = t[i];
    }
}

// The subband of the samples at columns px, px + 2, ... and rows py, py + 2, ... of g.
RasterSubband takeBand(Grid& g, std::uint32_t px, std::uint32_t py) {
    RasterSubband band;
    band.width = (g.width - px + 1) / 2;
    band.height = (g.height - py + 1) / 2;
    for (std::uint32_t y = py; y < g.height; y += 2)
        for (std::uint32_t x = px; x < g.width; x += 2)
            band.samples.push_back(static_cast<std::int32_t>(g.at(x, y)));
    return band;
}

void putBand(Grid& g, const RasterSubband& band, std::uint32_t px, std::uint32_t py) {
    if (band.width != (g.width - px + 1) / 2 || band.height != (g.height - py + 1) / 2)
        throw std::invalid_argument("subband size does not fit the level");
    for (std::uint32_t y = 0; y < band.height; ++y)
        for (std::uint32_t x = 0; x < band.width; ++x)
            g.at(px + 2 * x, py + 2 * y) = band.at(x, y);
}

} // namespace

RasterSubbands rasterForwardWavelet(const std::vector<std::int32_t>& plane, std::uint32_t width,
                                    std::uint32_t height, std::uint8_t levels,
                                    unsigned refinementBits) {
    if (plane.size() != std::size_t(width) * height || width == 0 || height == 0)
        throw std::invalid_argument("plane does not match its size");
    RasterSubbands subbands(4u * levels + 1u);
    Grid g{width, height, Signal(plane.begin(), plane.end())};
    for (int m = levels - 1; m >= 0; --m) {
        // Rows, then columns.
        transformLines(g, false, forward1D);
        transformLines(g, true, forward1D);
        RasterSubband low = takeBand(g, 0, 0);
        subbands[4 * m + 2] = takeBand(g, 1, 0);
        subbands[4 * m + 3] = takeBand(g, 0, 1);
        subbands[4 * m + 4] = takeBand(g, 1, 1);
        // The low bits stay in the refinement; the rest is the next coarser image.
        Grid coarser{low.width, low.height, Signal(low.samples.size())};
        for (std::size_t i = 0; i < low.samples.size(); ++i) {
            const std::int32_t v = low.samples[i];
            const std::int32_t kept = v - ((v >> refinementBits) << refinementBits);
            low.samples[i] = kept;
            coarser.v[i] = v - kept;
        }
        subbands[4 * m + 1] = std::move(low);
        g = std::move(coarser);
    }
    subbands[0] = {g.width, g.height, std::vector<std::int32_t>(g.v.begin(), g.v.end())};
    return subbands;
}

std::vector<RasterSubbands>
rasterForwardWavelet(const std::vector<std::vector<std::int32_t>>& planes, std::uint32_t width,
                     std::uint32_t height, std::uint8_t levels, unsigned refinementBits) {
    std::vector<RasterSubbands> out;
    for (const auto& plane : planes)
        out.push_back(rasterForwardWavelet(plane, width, height, levels, refinementBits));
    return out;
}

RasterSubband rasterInverseWavelet(const RasterSubbands& subbands, std::uint8_t levels,
                                   std::uint8_t skipped) {
    if (subbands.size() != 4u * levels + 1u || skipped > levels)
        throw std::invalid_argument("subband count does not match the levels");
    auto addInto = [](Grid& g, const RasterSubband& band) {
        if (band.width != g.width || band.height != g.height)
            throw std::invalid_argument("refinement size does not match its low band");
        for (std::size_t i = 0; i < g.v.size(); ++i)
            g.v[i] += band.samples[i];
    };
    const RasterSubband& coarsest = subbands[0];
    Grid image{coarsest.width, coarsest.height,
               Signal(coarsest.samples.begin(), coarsest.samples.end())};
    const int run = levels - skipped;
    for (int m = 0; m < run; ++m) {
        addInto(image, subbands[4 * m + 1]);
        Grid g{subbands[4 * m + 1].width + subbands[4 * m + 2].width,
               subbands[4 * m + 1].height + subbands[4 * m + 3].height,
               {}};
        g.v.assign(std::size_t(g.width) * g.height, 0);
        if (image.width != (g.width + 1) / 2 || image.height != (g.height + 1) / 2)
            throw std::invalid_argument("low band size does not fit the level");
        for (std::uint32_t y = 0; y < image.height; ++y)
            for (std::uint32_t x = 0; x < image.width; ++x)
                g.at(2 * x, 2 * y) = image.at(x, y);
        putBand(g, subbands[4 * m + 2], 1, 0);
        putBand(g, subbands[4 * m + 3], 0, 1);
        putBand(g, subbands[4 * m + 4], 1, 1);
        // Columns, then rows.
        transformLines(g, true, inverse1D);
        transformLines(g, false, inverse1D);
        image = std::move(g);
    }
    if (skipped > 0) addInto(image, subbands[4 * run + 1]);
    RasterSubband out{image.width, image.height, {}};
    out.samples.reserve(image.v.size());
    for (std::int64_t v : image.v)
        out.samples.push_back(static_cast<std::int32_t>(v));
    return out;
}

} // namespace quarn_test
