#include "Subblock.h"

#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3Status.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace Korvel {

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// The image size n at the window's level, by ceiling division, as 32-bit arithmetic would
// compute it; false when that overflows.
bool sizeAtLevel(std::uint32_t size, std::uint8_t level, std::int64_t& n) {
    if (level >= 31) return false;
    const std::int64_t rounded = std::int64_t(size) + (std::int64_t(1) << level) - 1;
    if (rounded > kInt32Max) return false;
    n = rounded >> level;
    return true;
}

// The window [a, e] of one axis at the window's level mapped to a subband s levels further down,
// with the margin that the synthesis reads: one more sample before the start of a high-pass
// axis, one after the end, bounded by the last sample of the axis.
void mapAxis(std::int64_t a, std::int64_t e, std::int64_t n, std::int64_t s, bool highPass,
             std::int64_t& start, std::int64_t& end) {
    if (s <= 0) {
        // The subband lies at or above the window's level: the window as it stands.
        start = a;
        end = e;
        return;
    }
    start = std::max<std::int64_t>((a >> s) - (highPass ? 1 : 0), 0);
    if (e == 0) {
        end = 0;
        return;
    }
    const std::int64_t m = n - (highPass ? std::int64_t(1) << (s - 1) : 0);
    end = std::min(((e - 1) >> s) + 1, (m - 1) >> s);
}

// [start, end] of the subband moved to the subblock at origin and clipped to its size.
void clipToSubblock(std::int64_t start, std::int64_t end, std::int64_t origin, std::int64_t size,
                    std::int32_t& lo, std::int32_t& hi) {
    const std::int64_t l = std::max<std::int64_t>(start - origin, 0);
    const std::int64_t h = std::min<std::int64_t>(end - origin, size - 1);
    if (l > h) {
        lo = 1;
        hi = 0;
    } else {
        lo = static_cast<std::int32_t>(l);
        hi = static_cast<std::int32_t>(h);
    }
}

} // namespace

KVStatus makeSubblockGeometry(const QG3ImageInfo& info, std::uint8_t subband,
                              std::uint32_t subblock, SubblockGeometry& geometry) {
    if (!info.subbands || subband >= info.numSubbands) return KV_QG3_NOT_FOUND;
    const QG3Subband& band = info.subbands[subband];
    if (subblock >= std::uint64_t(band.rows) * band.columns) return KV_QG3_NOT_FOUND;

    std::int64_t nx = 0;
    std::int64_t ny = 0;
    if (!sizeAtLevel(info.width, info.cropLevel, nx) ||
        !sizeAtLevel(info.height, info.cropLevel, ny))
        return KV_QG3_GEOMETRY_OVERFLOW;

    SubblockGeometry g;
    g.bandCount = info.bandSet.getSetCount();
    g.subband = subband;
    g.subblock = subblock;
    info.getSubblockSize(subband, subblock, g.width, g.height);

    // Subband 0 counts as level 0; subbands 4m + 1 to 4m + 4 are of level m. Indices 4m + 2 and
    // 4m + 4 are high-pass in x, 4m + 3 and 4m + 4 in y.
    const unsigned level = subband == 0 ? 0 : (subband - 1u) / 4u;
    const unsigned role = subband == 0 ? 0 : (subband - 1u) % 4u;
    const std::int64_t s = std::int64_t(info.numLevels) - level - info.cropLevel;
    std::int64_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    mapAxis(info.cropX0, info.cropX1, nx, s, role == 1 || role == 3, x0, x1);
    mapAxis(info.cropY0, info.cropY1, ny, s, role == 2 || role == 3, y0, y1);

    std::uint32_t row = 0;
    std::uint32_t column = 0;
    info.getSubblockPosition(subband, subblock, row, column);
    clipToSubblock(x0, x1, std::int64_t(column) * info.subblockSize, g.width, g.decoded.x0,
                   g.decoded.x1);
    clipToSubblock(y0, y1, std::int64_t(row) * info.subblockSize, g.height, g.decoded.y0,
                   g.decoded.y1);
    geometry = g;
    return KV_OK;
}

Subblock::Subblock(const SubblockGeometry& geometry)
    : geometry_(geometry), zeroCoding_(zeroCodingTableOf(geometry.subband)) {
    stateStride_ = std::size_t(geometry.width) + 4;
    const std::uint64_t cells = std::uint64_t(stateStride_) * (std::uint64_t(geometry.height) + 4);
    if (cells > kMaxStateCells) throw KVUtilException(KV_QG3_BAD_FORMAT);
    stateCells_ = static_cast<std::size_t>(cells);
    const std::size_t bands = std::max<std::size_t>(geometry.bandCount, 1);
    firstPlane_.reset(new (std::nothrow) std::uint8_t[bands]);
    lastPlane_.reset(new (std::nothrow) std::uint8_t[bands]);
    state_.reset(new (std::nothrow) std::uint32_t[stateCells_]);
    if (!firstPlane_ || !lastPlane_ || !state_) throw KVUtilException(KV_OUT_OF_MEMORY);
    std::memset(firstPlane_.get(), 31, bands);
    std::memset(lastPlane_.get(), 0, bands);
    clearState();
}

Subblock::~Subblock() = default;

void Subblock::clearState() {
    std::memset(state_.get(), 0, stateCells_ * sizeof(std::uint32_t));
}

void Subblock::nextBand() {
    ++currentBand_;
    std::uint8_t smallest = 32;
    for (std::uint16_t b = 0; b < geometry_.bandCount; ++b)
        smallest = std::min(smallest, firstPlane_[b]);
    currentPlane_ = smallest;
    mask_ = smallest < 32 ? 0x80000000u >> smallest : 0;
}

} // namespace Korvel
