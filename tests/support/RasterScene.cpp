#include "RasterScene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace quarn_test {

namespace {

using Colour = std::array<double, 3>;

Colour mix(const Colour& a, const Colour& b, double t) {
    return {a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t};
}

} // namespace

std::vector<std::int32_t> landscapeBand(std::uint32_t width, std::uint32_t height, unsigned band,
                                        unsigned bands, std::uint32_t seed, std::int32_t low,
                                        std::int32_t high, unsigned grain) {
    constexpr double kTau = 6.283185307179586;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> phase(0.0, 1.0);
    const double p1 = phase(random), p2 = phase(random), p3 = phase(random);
    const double sunX = 0.55 + 0.3 * phase(random), sunY = 0.12 + 0.1 * phase(random);
    std::mt19937 noise(seed * 7919u + band);
    std::vector<std::int32_t> plane(std::size_t(width) * height);
    const double span = double(high) - low;
    for (std::uint32_t y = 0; y < height; ++y) {
        const double t = (y + 0.5) / height;
        for (std::uint32_t x = 0; x < width; ++x) {
            const double u = (x + 0.5) / width;
            const double ridge = 0.42 + 0.08 * std::sin(kTau * (1.3 * u + p1)) +
                                 0.04 * std::sin(kTau * (3.7 * u + p2)) +
                                 0.012 * std::sin(kTau * (13.0 * u + p3));
            const double shore = 0.72 + 0.01 * std::sin(kTau * (2.0 * u + p2));
            Colour c;
            if (t < ridge) {
                c = mix({0.22, 0.42, 0.82}, {0.82, 0.88, 0.95}, std::min(t / 0.55, 1.0));
                const double dx = (u - sunX) * width / height, dy = t - sunY;
                const double glow = std::exp(-(dx * dx + dy * dy) / 0.004);
                c = mix(c, {1.0, 0.93, 0.7}, std::min(1.0, glow * 1.4));
            } else if (t < shore) {
                const double depth = (t - ridge) / std::max(shore - ridge, 1e-6);
                const double rock = 0.5 + 0.25 * std::sin(kTau * 37.0 * u + 9.0 * t) *
                                              std::sin(kTau * 23.0 * t + 5.0 * u);
                c = mix({0.36, 0.46, 0.32}, {0.16, 0.26, 0.14}, depth);
                c = mix(c, {0.45, 0.42, 0.38}, 0.35 * rock);
            } else {
                const double ripple =
                    std::sin(kTau * (60.0 * t * t + 0.8 * std::sin(kTau * 3.0 * u)));
                c = mix({0.18, 0.3, 0.5}, {0.5, 0.6, 0.72}, 0.3 + 0.15 * ripple);
            }
            double v = 0.0;
            if (bands == 1)
                v = 0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2];
            else if (band < 3)
                v = c[band];
            else
                v = 0.5 * (c[band % 3] + c[(band + 1) % 3]);
            v += (int(noise() % (2 * grain + 1)) - int(grain)) / 255.0;
            plane[std::size_t(y) * width + x] =
                std::int32_t(std::lround(low + std::clamp(v, 0.0, 1.0) * span));
        }
    }
    return plane;
}

std::vector<std::vector<std::int32_t>> landscape(std::uint32_t width, std::uint32_t height,
                                                 unsigned bands, std::uint32_t seed,
                                                 std::int32_t low, std::int32_t high,
                                                 unsigned grain) {
    std::vector<std::vector<std::int32_t>> planes;
    for (unsigned b = 0; b < bands; ++b)
        planes.push_back(landscapeBand(width, height, b, bands, seed, low, high, grain));
    return planes;
}

} // namespace quarn_test
