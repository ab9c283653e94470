#include "qg3/container/QG3ImageInfo.h"

#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3Status.h"
#include "support/KVMagnification.h"
#include "support/KVSaturate.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <tuple>

namespace Korvel {

namespace {

constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();

std::unique_ptr<float[]> copyFloats(const std::unique_ptr<float[]>& from, std::uint32_t count) {
    if (!from || count == 0) return nullptr;
    std::unique_ptr<float[]> to(kvThrowOutOfMemory([count] { return new float[count]; }));
    std::memcpy(to.get(), from.get(), count * sizeof(float));
    return to;
}

bool floatsEqual(const float* a, const float* b, std::uint32_t count) {
    if (a == b) return true;
    if (a == nullptr || b == nullptr) return false;
    for (std::uint32_t i = 0; i < count; ++i)
        if (!(a[i] == b[i])) return false; // NaN is never equal
    return true;
}

// Every field that a copy takes over as it is and a comparison compares; the band set, the band
// scales and the subband table (which a copy computes afresh) are handled on their own.
constexpr auto kPlainFields = std::make_tuple(
    &QG3ImageInfo::imageNumber, &QG3ImageInfo::numLevels, &QG3ImageInfo::width,
    &QG3ImageInfo::height, &QG3ImageInfo::subblockSize, &QG3ImageInfo::estimateFactor,
    &QG3ImageInfo::dataType, &QG3ImageInfo::sampleMin, &QG3ImageInfo::sampleMax,
    &QG3ImageInfo::colorSpace, &QG3ImageInfo::auxCodeA, &QG3ImageInfo::colorTransform,
    &QG3ImageInfo::auxCodeB, &QG3ImageInfo::auxCodeC, &QG3ImageInfo::auxCodeD,
    &QG3ImageInfo::auxCountA, &QG3ImageInfo::auxCountB, &QG3ImageInfo::cropX0,
    &QG3ImageInfo::cropY0, &QG3ImageInfo::cropX1, &QG3ImageInfo::cropY1, &QG3ImageInfo::cropLevel,
    &QG3ImageInfo::isCropped, &QG3ImageInfo::hasItemValue, &QG3ImageInfo::itemValueWidth,
    &QG3ImageInfo::hasItemWord, &QG3ImageInfo::planesetKind, &QG3ImageInfo::planesetLayout);

// ceil(size / 2^level) for size >= 1.
std::int64_t sizeAtLevel(std::int64_t size, unsigned level) {
    return size < 1 ? 0 : ((size - 1) >> std::min(level, 62u)) + 1;
}

} // namespace

QG3ImageInfo::QG3ImageInfo(const QG3ImageInfo& other)
    : bandSet(other.bandSet), bandScale(copyFloats(other.bandScale, other.bandSet.getBitCount())),
      bandOffset(copyFloats(other.bandOffset, other.bandSet.getBitCount())) {
    std::apply([&](auto... field) { ((this->*field = other.*field), ...); }, kPlainFields);
    // A record without a table (never computed) stays without one.
    if (other.subbands) {
        const KVStatus status = computeSubbands();
        if (status != KV_OK)
            throw KVUtilException(status == KV_QG3_OUT_OF_MEMORY ? KV_OUT_OF_MEMORY : status);
    }
}

bool QG3ImageInfo::isEqual(const QG3ImageInfo& o) const {
    return std::apply([&](auto... field) { return ((this->*field == o.*field) && ...); },
                      kPlainFields) &&
           numSubbands == o.numSubbands && bandSet == o.bandSet &&
           floatsEqual(bandScale.get(), o.bandScale.get(), bandSet.getBitCount()) &&
           floatsEqual(bandOffset.get(), o.bandOffset.get(), bandSet.getBitCount());
}

KVStatus QG3ImageInfo::computeSubbands() {
    if (subblockSize == 0 || numLevels > QG3_MAX_LEVELS || width == 0 || height == 0 ||
        width > kMaxSide || height > kMaxSide)
        return KV_QG3_BAD_FORMAT;

    const std::uint32_t count = 4u * numLevels + 1u;
    std::unique_ptr<QG3Subband[]> table;
    KV_RETURN_IF_FAILED(kvGuard([&] { table.reset(new QG3Subband[count]); }, KV_QG3_OUT_OF_MEMORY));

    // Finest level first: each split of a w x h band gives low-low, high-low, low-high and
    // high-high, stored from the top of the table down.
    std::uint32_t w = width;
    std::uint32_t h = height;
    for (std::uint32_t k = 4u * numLevels; k > 0; k -= 4) {
        const std::uint32_t halfW = (w + 1) / 2;
        const std::uint32_t halfH = (h + 1) / 2;
        table[k] = {w / 2, h / 2, 0, 0};
        table[k - 1] = {halfW, h / 2, 0, 0};
        table[k - 2] = {w / 2, halfH, 0, 0};
        table[k - 3] = {halfW, halfH, 0, 0};
        w = halfW;
        h = halfH;
    }
    table[0] = {w, h, 0, 0};

    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t rows =
            (std::uint64_t(table[i].height) + subblockSize - 1) / subblockSize;
        const std::uint64_t columns =
            (std::uint64_t(table[i].width) + subblockSize - 1) / subblockSize;
        if (rows > 0xFFFF || columns > 0xFFFF) return KV_QG3_BAD_FORMAT;
        table[i].rows = static_cast<std::uint16_t>(rows);
        table[i].columns = static_cast<std::uint16_t>(columns);
        total += table[i].subblockCount();
    }

    if (cropX0 == 0 && cropY0 == 1 && cropX1 == -1 && cropY1 == 0) {
        cropY0 = 0;
        cropX1 = static_cast<std::int32_t>(width - 1);
        cropY1 = static_cast<std::int32_t>(height - 1);
    }
    numSubbands = count;
    subbands = std::move(table);
    totalSubblocks = total;
    return KV_OK;
}

bool QG3ImageInfo::isCropWindowValid() const {
    if (cropLevel > numLevels) return false;
    const std::int64_t levelWidth = sizeAtLevel(width, cropLevel);
    const std::int64_t levelHeight = sizeAtLevel(height, cropLevel);
    return cropX0 >= 0 && cropY0 >= 0 && cropX0 <= cropX1 && cropY0 <= cropY1 &&
           cropX1 < levelWidth && cropY1 < levelHeight;
}

const QG3Subband& QG3ImageInfo::subbandAt(std::uint8_t subband) const {
    // An index beyond the table answers as an empty subband.
    static const QG3Subband kNone;
    return subbands && subband < numSubbands ? subbands[subband] : kNone;
}

std::uint32_t QG3ImageInfo::getSubblockIndex(std::uint8_t subband, std::uint32_t row,
                                             std::uint32_t column) const {
    return row * subbandAt(subband).columns + column;
}

void QG3ImageInfo::getSubblockPosition(std::uint8_t subband, std::uint32_t k, std::uint32_t& row,
                                       std::uint32_t& column) const {
    const std::uint32_t columns = subbandAt(subband).columns;
    row = columns == 0 ? 0 : k / columns;
    column = columns == 0 ? 0 : k % columns;
}

void QG3ImageInfo::getSubblockSize(std::uint8_t subband, std::uint32_t k, std::uint16_t& w,
                                   std::uint16_t& h) const {
    const QG3Subband& band = subbandAt(subband);
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    getSubblockPosition(subband, k, row, column);
    // The last column and row hold what is left of the subband.
    w = column + 1 == band.columns
            ? static_cast<std::uint16_t>(band.width - std::uint64_t(subblockSize) * column)
            : subblockSize;
    h = row + 1 == band.rows
            ? static_cast<std::uint16_t>(band.height - std::uint64_t(subblockSize) * row)
            : subblockSize;
}

KVIRect QG3ImageInfo::getSubblockRect(std::uint8_t subband, std::uint32_t k) const {
    const QG3Subband& band = subbandAt(subband);
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    getSubblockPosition(subband, k, row, column);
    const std::int64_t x0 = std::int64_t(column) * subblockSize;
    const std::int64_t y0 = std::int64_t(row) * subblockSize;
    return {saturateToInt32(x0), saturateToInt32(y0),
            saturateToInt32(std::min<std::int64_t>(x0 + subblockSize, band.width) - 1),
            saturateToInt32(std::min<std::int64_t>(y0 + subblockSize, band.height) - 1)};
}

KVIRect QG3ImageInfo::getLevelRect(std::int32_t level, const KVIRect& r, bool inWindow) const {
    std::int64_t x0 = r.x0;
    std::int64_t y0 = r.y0;
    std::int64_t x1 = r.x1;
    std::int64_t y1 = r.y1;
    std::int32_t boundLevel = level;
    if (inWindow) {
        x0 += cropX0;
        x1 += cropX0;
        y0 += cropY0;
        y1 += cropY0;
        boundLevel = saturateToInt32(std::int64_t(cropLevel) + level);
    }
    if (level == 0)
        return {saturateToInt32(x0), saturateToInt32(y0), saturateToInt32(x1), saturateToInt32(y1)};

    const std::int64_t nx0 = shiftFloor(saturateToInt32(x0), level);
    const std::int64_t ny0 = shiftFloor(saturateToInt32(y0), level);
    std::int64_t nx1 = nx0 + shiftCeil(saturateToInt32(x1 - x0 + 1), level) - 1;
    std::int64_t ny1 = ny0 + shiftCeil(saturateToInt32(y1 - y0 + 1), level) - 1;
    if (level < 0) {
        nx1 = std::min<std::int64_t>(nx1, shiftCeil(saturateToInt32(width), boundLevel) - 1);
        ny1 = std::min<std::int64_t>(ny1, shiftCeil(saturateToInt32(height), boundLevel) - 1);
    }
    return {saturateToInt32(nx0), saturateToInt32(ny0), saturateToInt32(nx1), saturateToInt32(ny1)};
}

KVIRect QG3ImageInfo::getImageRect(std::int32_t level, bool inWindow, bool levelIsRelative) const {
    if (inWindow) {
        const KVIRect window{0, 0, saturateToInt32(std::int64_t(cropX1) - cropX0),
                             saturateToInt32(std::int64_t(cropY1) - cropY0)};
        const std::int64_t at = levelIsRelative ? level : std::int64_t(level) - cropLevel;
        return getLevelRect(saturateToInt32(at), window, true);
    }
    const KVIRect whole{0, 0, saturateToInt32(std::int64_t(width) - 1),
                        saturateToInt32(std::int64_t(height) - 1)};
    const std::int64_t at = levelIsRelative ? std::int64_t(level) + cropLevel : level;
    return getLevelRect(saturateToInt32(at), whole, false);
}

bool QG3ImageInfo::isWholeWindow() const {
    return cropX0 == 0 && cropY0 == 0 && cropX1 == std::int64_t(width) - 1 &&
           cropY1 == std::int64_t(height) - 1;
}

std::uint32_t QG3ImageInfo::getVisibleWidth() const {
    if (isWholeWindow()) return width;
    const std::int64_t w = std::int64_t(cropX1) - cropX0 + 1;
    return w > 0 ? static_cast<std::uint32_t>(w) : 0;
}

std::uint32_t QG3ImageInfo::getVisibleHeight() const {
    if (isWholeWindow()) return height;
    const std::int64_t h = std::int64_t(cropY1) - cropY0 + 1;
    return h > 0 ? static_cast<std::uint32_t>(h) : 0;
}

std::uint8_t QG3ImageInfo::getVisibleNumLevels() const {
    if (isWholeWindow()) return numLevels;
    return cropLevel < numLevels ? static_cast<std::uint8_t>(numLevels - cropLevel) : 0;
}

void QG3ImageInfo::getSampleRange(double& low, double& high) const {
    low = sampleMin;
    high = sampleMax;
    if (dataType == QG3_DATATYPE_FLOAT32 && bandScale && bandOffset) {
        low = double(bandScale[0]) * low + double(bandOffset[0]);
        high = double(bandScale[0]) * high + double(bandOffset[0]);
    }
}

} // namespace Korvel
