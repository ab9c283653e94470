#pragma once
// The description of one generation-3/4 image: its size, wavelet levels, subblock size, bands and
// sample type, the crop window that forms the visible image from the stored one, and the subband
// table derived from them. Owned by whoever holds it; copied, never shared.

#include "model/KVIRect.h"
#include "qg3/container/QG3BandSet.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <memory>

namespace Korvel {

struct QG3Subband {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t rows = 0;    // rows of subblocks
    std::uint16_t columns = 0; // columns of subblocks

    // Subblocks of the subband, numbered row by row (below 2^32).
    std::uint32_t subblockCount() const { return std::uint32_t(rows) * columns; }
};

// Levels are limited so that a subband index (4 x levels) fits one byte.
inline constexpr std::uint8_t QG3_MAX_LEVELS = 63;

class QG3ImageInfo {
public:
    QG3ImageInfo() = default;
    // Deep copy, with the subband table rebuilt; throws KVUtilException of KV_OUT_OF_MEMORY when
    // out of memory.
    QG3ImageInfo(const QG3ImageInfo& other);
    QG3ImageInfo& operator=(const QG3ImageInfo&) = delete;
    ~QG3ImageInfo() = default;

    bool isEqual(const QG3ImageInfo& other) const;

    // Derives numSubbands, the subband table and totalSubblocks from the size, the levels and the
    // subblock size; a fresh window becomes the whole image. KV_QG3_BAD_FORMAT for a geometry that
    // the table cannot represent (no subblock size, 64 or more levels, an empty side or one beyond
    // 2^31 - 1, more than 65535 rows or columns of subblocks), KV_QG3_OUT_OF_MEMORY when out of
    // memory.
    KVStatus computeSubbands();
    // The window lies inside the stored image at cropLevel, and cropLevel within the levels.
    bool isCropWindowValid() const;

    // Subblock k of a subband counts its subblocks row by row.
    std::uint32_t getSubblockIndex(std::uint8_t subband, std::uint32_t row,
                                   std::uint32_t column) const;
    void getSubblockPosition(std::uint8_t subband, std::uint32_t k, std::uint32_t& row,
                             std::uint32_t& column) const;
    void getSubblockSize(std::uint8_t subband, std::uint32_t k, std::uint16_t& width,
                         std::uint16_t& height) const;
    KVIRect getSubblockRect(std::uint8_t subband, std::uint32_t k) const;

    // r at a level; with inWindow r is relative to the crop window and the result lies in the
    // stored image. Only magnified results (negative levels) are bounded by the image.
    KVIRect getLevelRect(std::int32_t level, const KVIRect& r, bool inWindow) const;
    // The stored image, or with inWindow the crop window, at a level; a relative level counts
    // from the window's level.
    KVIRect getImageRect(std::int32_t level, bool inWindow, bool levelIsRelative) const;

    // The visible image: the crop window, or the stored image when the window is whole.
    bool isWholeWindow() const;
    std::uint32_t getVisibleWidth() const;
    std::uint32_t getVisibleHeight() const;
    std::uint8_t getVisibleNumLevels() const;
    // The range of the stored samples, sampleMin to sampleMax; float samples stored scaled are
    // mapped back through band 0's scale and offset.
    void getSampleRange(double& low, double& high) const;

    std::int32_t imageNumber = -1;
    std::uint8_t numLevels = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t subblockSize = 0;
    QG3BandSet bandSet;
    std::uint8_t estimateFactor = 0;
    std::uint32_t dataType = 0;
    // One scale and one offset per band (bandSet's bit count), or none.
    std::unique_ptr<float[]> bandScale;
    std::unique_ptr<float[]> bandOffset;
    std::int32_t sampleMin = 0;
    std::int32_t sampleMax = 0;
    std::uint32_t colorSpace = 0;
    std::uint32_t auxCodeA = 0;
    std::uint32_t colorTransform = 254;
    std::uint32_t auxCodeB = 5;
    std::uint32_t auxCodeC = 0;
    std::uint32_t auxCodeD = 254;
    std::uint32_t auxCountA = 3;
    std::uint32_t auxCountB = 0;
    std::uint64_t numSubbands = 0;
    std::uint64_t totalSubblocks = 0;
    std::unique_ptr<QG3Subband[]> subbands;
    std::int32_t cropX0 = 0;
    std::int32_t cropY0 = 1;
    std::int32_t cropX1 = -1;
    std::int32_t cropY1 = 0;
    std::uint8_t cropLevel = 0;
    bool isCropped = false;
    bool hasItemValue = false;
    std::uint8_t itemValueWidth = 0;
    bool hasItemWord = false;
    std::uint32_t planesetKind = 0;
    std::uint32_t planesetLayout = 5;

private:
    const QG3Subband& subbandAt(std::uint8_t subband) const;
};

} // namespace Korvel
