#include "QG2DitherTile.h"

#include <array>

namespace Korvel {
namespace {

constexpr std::uint32_t kCells = QG2DitherTile::kSize * QG2DitherTile::kSize;

constexpr std::array<float, kCells> makeTile() {
    std::array<float, kCells> tile{};
    std::uint32_t x = 0x51A7D17Eu;
    for (std::uint32_t i = 0; i < kCells; ++i) {
        x = 1664525u * x + 1013904223u;
        tile[i] = static_cast<float>(x >> 8) * (1.0f / 33554432.0f) - 0.25f;
    }
    return tile;
}

constexpr std::array<float, kCells> kTile = makeTile();

} // namespace

float QG2DitherTile::value(std::uint64_t row, std::uint64_t column) {
    return kTile[(row % kSize) * kSize + column % kSize];
}

const float* QG2DitherTile::row(std::uint64_t row) {
    return kTile.data() + (row % kSize) * kSize;
}

} // namespace Korvel
