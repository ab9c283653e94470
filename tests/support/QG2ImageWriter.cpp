#include "QG2ImageWriter.h"

#include "ClassicalMetadataWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

namespace quarn_test {
namespace {

// The format's lifting constants, as the single-precision values it stores.
const double kC1 = std::bit_cast<float>(0x3EE31354u); // 0.44350684
const double kC2 = std::bit_cast<float>(0x3F620676u); // 0.8829111
const double kC3 = std::bit_cast<float>(0x3D5901AEu); // 0.052980117
const double kC4 = std::bit_cast<float>(0x3FCB0674u); // 1.5861344
constexpr double kLowFactor = 1.1496044397354126;
constexpr double kHighFactor = 0.8698644206960049;

std::size_t mirror(std::int64_t i, std::int64_t n) {
    const std::int64_t period = 2 * (n - 1);
    std::int64_t m = i % period;
    if (m < 0) m += period;
    return static_cast<std::size_t>(m > n - 1 ? period - m : m);
}

// One lifting step over the samples of one parity: x[i] += sign c (x[i - 1] + x[i + 1]).
void step(std::vector<double>& x, int parity, double c) {
    const auto n = static_cast<std::int64_t>(x.size());
    for (std::int64_t i = parity; i < n; i += 2)
        x[static_cast<std::size_t>(i)] += c * (x[mirror(i - 1, n)] + x[mirror(i + 1, n)]);
}

// Natural order in, lows then highs out.
void forward1D(std::vector<double>& x) {
    if (x.size() < 2) return;
    step(x, 1, -kC4);
    step(x, 0, -kC3);
    step(x, 1, kC2);
    step(x, 0, kC1);
    std::vector<double> split;
    for (int parity = 0; parity < 2; ++parity)
        for (std::size_t i = parity; i < x.size(); i += 2)
            split.push_back(x[i]);
    x = std::move(split);
}

// Lows then highs in, natural order out.
void inverse1D(std::vector<double>& x) {
    if (x.size() < 2) return;
    const std::size_t lows = (x.size() + 1) / 2;
    std::vector<double> merged(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        merged[i] = i % 2 == 0 ? x[i / 2] : x[lows + i / 2];
    step(merged, 0, -kC1);
    step(merged, 1, -kC2);
    step(merged, 0, kC3);
    step(merged, 1, kC4);
    x = std::move(merged);
}

// The 1-D transform of the rows (or columns) of the top-left w x h part of a Mallat layout.
template <class Fn>
void pass(std::vector<double>& a, std::uint32_t stride, std::uint32_t w, std::uint32_t h, bool rows,
          Fn&& transform) {
    std::vector<double> line;
    for (std::uint32_t j = 0; j < (rows ? h : w); ++j) {
        line.clear();
        for (std::uint32_t i = 0; i < (rows ? w : h); ++i)
            line.push_back(rows ? a[std::size_t{j} * stride + i] : a[std::size_t{i} * stride + j]);
        transform(line);
        for (std::uint32_t i = 0; i < (rows ? w : h); ++i)
            (rows ? a[std::size_t{j} * stride + i] : a[std::size_t{i} * stride + j]) = line[i];
    }
}

QG2Plane cut(const std::vector<double>& a, std::uint32_t stride, std::uint32_t x0, std::uint32_t y0,
             std::uint32_t x1, std::uint32_t y1) {
    QG2Plane p{x1 - x0, y1 - y0, {}};
    for (std::uint32_t y = y0; y < y1; ++y)
        for (std::uint32_t x = x0; x < x1; ++x)
            p.samples.push_back(a[std::size_t{y} * stride + x]);
    return p;
}

void paste(std::vector<double>& a, std::uint32_t stride, std::uint32_t x0, std::uint32_t y0,
           const QG2Plane& p) {
    for (std::uint32_t y = 0; y < p.height; ++y)
        for (std::uint32_t x = 0; x < p.width; ++x)
            a[std::size_t{y + y0} * stride + x0 + x] = p.at(x, y);
}

std::vector<std::uint32_t> halvings(std::uint32_t size, std::uint32_t levels) {
    std::vector<std::uint32_t> sizes{size};
    for (std::uint32_t j = 0; j < levels; ++j)
        sizes.push_back((sizes.back() + 1) / 2);
    return sizes;
}

// The bounds of a grid of at most parts pieces over size.
std::vector<std::uint32_t> cuts(std::uint32_t size, std::uint32_t parts) {
    std::vector<std::uint32_t> bounds;
    for (std::uint32_t k = 0; k <= parts; ++k) {
        const auto b = static_cast<std::uint32_t>(std::uint64_t{size} * k / parts);
        if (bounds.empty() || b != bounds.back()) bounds.push_back(b);
    }
    return bounds;
}

std::int32_t quantise(double c) {
    const double magnitude = std::min(std::floor(std::fabs(c) + 0.44), 32767.0);
    return static_cast<std::int32_t>(c < 0 ? -magnitude : magnitude);
}

} // namespace

std::vector<QG2Plane> qg2Forward97(const QG2Plane& image, std::uint32_t levels) {
    std::vector<double> a = image.samples;
    const std::vector<std::uint32_t> ws = halvings(image.width, levels);
    const std::vector<std::uint32_t> hs = halvings(image.height, levels);
    for (std::uint32_t j = 0; j < levels; ++j) {
        pass(a, image.width, ws[j], hs[j], true, forward1D);
        pass(a, image.width, ws[j], hs[j], false, forward1D);
    }
    std::vector<QG2Plane> subbands{cut(a, image.width, 0, 0, ws[levels], hs[levels])};
    for (std::uint32_t j = levels; j >= 1; --j) {
        subbands.push_back(cut(a, image.width, ws[j], 0, ws[j - 1], hs[j]));
        subbands.push_back(cut(a, image.width, 0, hs[j], ws[j], hs[j - 1]));
        subbands.push_back(cut(a, image.width, ws[j], hs[j], ws[j - 1], hs[j - 1]));
    }
    return subbands;
}

QG2Plane qg2Inverse97(const std::vector<QG2Plane>& subbands, std::uint32_t levels,
                      std::uint32_t skip, std::uint32_t magnify) {
    // Sizes per level, from the coarsest low band and the high bands beside it.
    std::vector<std::uint32_t> ws(levels + 1), hs(levels + 1);
    ws[levels] = subbands[0].width;
    hs[levels] = subbands[0].height;
    for (std::uint32_t j = levels; j >= 1; --j) {
        const std::size_t first = 1 + 3 * std::size_t{levels - j};
        ws[j - 1] = ws[j] + subbands[first].width;
        hs[j - 1] = hs[j] + subbands[first + 1].height;
    }
    const std::uint32_t width = ws[skip] << magnify, height = hs[skip] << magnify;
    std::vector<double> a(std::size_t{width} * height, 0.0);
    paste(a, width, 0, 0, subbands[0]);
    for (std::uint32_t j = levels; j > skip; --j) {
        const std::size_t first = 1 + 3 * std::size_t{levels - j};
        paste(a, width, ws[j], 0, subbands[first]);
        paste(a, width, 0, hs[j], subbands[first + 1]);
        paste(a, width, ws[j], hs[j], subbands[first + 2]);
        pass(a, width, ws[j - 1], hs[j - 1], false, inverse1D);
        pass(a, width, ws[j - 1], hs[j - 1], true, inverse1D);
    }
    for (std::uint32_t m = 1; m <= magnify; ++m) {
        pass(a, width, ws[skip] << m, hs[skip] << m, false, inverse1D);
        pass(a, width, ws[skip] << m, hs[skip] << m, true, inverse1D);
    }
    return QG2Plane{width, height, std::move(a)};
}

double qg2SubbandScale(std::uint32_t subband, std::uint32_t levels) {
    if (subband == 0) return std::pow(kLowFactor * kLowFactor, levels);
    // Subband 3k + 1 + o is of level levels - k, reached through levels - k - 1 low-low steps.
    const std::uint32_t k = (subband - 1) / 3, orientation = (subband - 1) % 3;
    const double last = orientation == 2 ? kHighFactor * kHighFactor : kHighFactor * kLowFactor;
    return std::pow(kLowFactor * kLowFactor, levels - k - 1) * last;
}

QG2HuffmanTable qg2OptimalTable(const std::vector<std::uint64_t>& counts) {
    // Annex K.2: merge the two least frequent (the larger symbol first among equals), with one
    // reserved symbol so that no code is all ones.
    constexpr std::size_t kReserved = 256;
    std::vector<std::uint64_t> freq(counts);
    freq.resize(kReserved + 1, 0);
    freq[kReserved] = 1;
    std::vector<int> size(freq.size(), 0), others(freq.size(), -1);
    for (;;) {
        int v1 = -1, v2 = -1;
        for (int v = 0; v < static_cast<int>(freq.size()); ++v)
            if (freq[v] > 0 && (v1 < 0 || freq[v] <= freq[v1])) v1 = v;
        for (int v = 0; v < static_cast<int>(freq.size()); ++v)
            if (v != v1 && freq[v] > 0 && (v2 < 0 || freq[v] <= freq[v2])) v2 = v;
        if (v2 < 0) break;
        freq[v1] += freq[v2];
        freq[v2] = 0;
        for (++size[v1]; others[v1] >= 0; ++size[v1])
            v1 = others[v1];
        others[v1] = v2;
        for (++size[v2]; others[v2] >= 0; ++size[v2])
            v2 = others[v2];
    }
    // Counts skewed beyond the standard's 32-bit data sizes can make longer codes here.
    const int deepest = std::max(32, *std::max_element(size.begin(), size.end()));
    std::vector<int> bits(static_cast<std::size_t>(deepest) + 1, 0);
    for (int s : size)
        if (s > 0) ++bits[s];
    // Annex K.3: no code longer than 16 bits, then the reserved code goes.
    for (int i = deepest; i > 16; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0)
                --j;
            bits[i] -= 2;
            bits[i - 1] += 1;
            bits[j + 1] += 2;
            bits[j] -= 1;
        }
    }
    int longest = 16;
    while (bits[longest] == 0)
        --longest;
    bits[longest] -= 1;
    QG2HuffmanTable table;
    for (int i = 1; i <= 16; ++i)
        table.bits[i - 1] = static_cast<std::uint8_t>(bits[i]);
    // Symbols by code length, then by value (Annex K.4); lengths above 16 were shortened in the
    // order of the symbols' own lengths.
    std::vector<int> order;
    for (int length = 1; length <= deepest; ++length)
        for (std::size_t v = 0; v < kReserved; ++v)
            if (size[v] == length) order.push_back(static_cast<int>(v));
    for (int v : order)
        table.huffval.push_back(static_cast<std::uint8_t>(v));
    return table;
}

QG2Image writeQG2Image(const QG2ImageSpec& spec) {
    if (spec.bands.empty() || spec.steps.size() != spec.bands.size())
        throw std::invalid_argument("one step per band");
    const std::uint32_t bands = static_cast<std::uint32_t>(spec.bands.size());
    const std::uint32_t subbandCount = 3 * spec.levels + 1;
    QG2Image image;
    image.quantised.assign(subbandCount, {});
    for (std::uint32_t b = 0; b < bands; ++b) {
        const std::vector<QG2Plane> subbands = qg2Forward97(spec.bands[b], spec.levels);
        for (std::uint32_t i = 0; i < subbandCount; ++i) {
            const double scale = qg2SubbandScale(i, spec.levels) / spec.steps[b];
            std::vector<std::int32_t> q;
            for (double u : subbands[i].samples)
                q.push_back(quantise(u * scale));
            image.quantised[i].push_back(std::move(q));
            if (b == 0) image.sizes.push_back(QG2Plane{subbands[i].width, subbands[i].height, {}});
        }
    }

    QG2FileLayout layout;
    layout.bands = bands;
    layout.levels = spec.levels;
    layout.width = spec.bands[0].width;
    layout.height = spec.bands[0].height;
    layout.region = spec.region;
    for (std::uint32_t i = 0; i < subbandCount; ++i) {
        const QG2Plane& size = image.sizes[i];
        if (size.width == 0 || size.height == 0) {
            layout.subbands.push_back(std::nullopt);
            continue;
        }
        QG2SubbandLayout subband{spec.ditherColumn, spec.ditherRow, {}};
        const std::vector<std::uint32_t> xs = cuts(size.width, spec.regionsAcross);
        const std::vector<std::uint32_t> ys = cuts(size.height, spec.regionsDown);
        for (std::size_t ry = 0; ry + 1 < ys.size(); ++ry) {
            for (std::size_t rx = 0; rx + 1 < xs.size(); ++rx) {
                QG2RegionLayout region{xs[rx], ys[ry], xs[rx + 1] - 1, ys[ry + 1] - 1, {}};
                for (std::uint32_t b = 0; b < bands; ++b) {
                    // The region's blocks, row by row, each its coefficients in raster order.
                    std::vector<std::vector<QG2Symbol>> blocks;
                    std::vector<std::uint64_t> counts(256, 0);
                    for (std::uint32_t y = region.y0; y <= region.y1; y += spec.blockHeight) {
                        for (std::uint32_t x = region.x0; x <= region.x1; x += spec.blockWidth) {
                            std::vector<std::int32_t> raster;
                            for (std::uint32_t v = y;
                                 v <= std::min(y + spec.blockHeight - 1, region.y1); ++v)
                                for (std::uint32_t u = x;
                                     u <= std::min(x + spec.blockWidth - 1, region.x1); ++u)
                                    raster.push_back(
                                        image.quantised[i][b][std::size_t{v} * size.width + u]);
                            blocks.push_back(qg2Symbols(raster));
                            for (const QG2Symbol& s : blocks.back())
                                ++counts[s.value];
                        }
                    }
                    QG2BandLayout band;
                    band.table = qg2OptimalTable(counts);
                    band.step = spec.steps[b];
                    band.blockWidth = spec.blockWidth;
                    band.blockHeight = spec.blockHeight;
                    for (const auto& symbols : blocks)
                        band.blocks.push_back(qg2EncodeBlock(band.table, symbols));
                    region.bands.push_back(std::move(band));
                }
                subband.regions.push_back(std::move(region));
            }
        }
        layout.subbands.push_back(std::move(subband));
    }
    if (spec.noDither || spec.geo) {
        ClassicalMetadataWriter block;
        if (spec.noDither) block.scalar("IMAGE::NO_DITHER", cm::U8, std::uint8_t{1});
        if (const auto& g = spec.geo) {
            block.vector("IMAGE::XY_ORIGIN", cm::F64, std::vector<double>{(*g)[0], (*g)[1]});
            block.scalar("IMAGE::X_RESOLUTION", cm::F64, (*g)[2]);
            block.scalar("IMAGE::Y_RESOLUTION", cm::F64, (*g)[3]);
        }
        layout.d0 = true;
        layout.metadata = {0xFF, 0xD1};
        const std::vector<std::uint8_t>& bytes = block.eom().bytes();
        layout.metadata.insert(layout.metadata.end(), bytes.begin(), bytes.end());
    }
    image.file = writeQG2File(layout);
    return image;
}

} // namespace quarn_test
