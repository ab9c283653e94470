#pragma once
// The database information of a generation-2 image: the header fields, the stored region with its
// level offset, the subband information of every subband, the stream it comes from, and the flags
// that say how it is used (dither, keep the stream open, shared use with its mutex).
//
// Subbands are numbered in file order: 0 is the coarsest low band, then the three high subbands of
// each level, coarsest level first; there are 3 x levels + 1 of them.

#include "QG2SubbandInfo.h"
#include "model/KVIRect.h"
#include "streams/KVIOStreamInf.h"
#include "support/MutexLock.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class QG2DBInfo {
public:
    QG2DBInfo(const QG2DBInfo&) = delete;
    QG2DBInfo& operator=(const QG2DBInfo&) = delete;
    virtual ~QG2DBInfo();

    // Take and release the mutex, but only when shared use was asked for.
    virtual KVStatus lockIfShared();
    virtual KVStatus unlockIfShared();
    virtual KVStatus lock();
    virtual KVStatus unlock();
    // An independent copy over a duplicate of the stream, which the copy owns.
    virtual KVStatus clone(std::unique_ptr<QG2DBInfo>& copy) = 0;
    // Opens the stream when it is not open; KV_QG2_SEEK_FAILED when that fails.
    virtual KVStatus openStream();
    // Closes the stream unless it is to be kept open; KV_QG2_SEEK_FAILED when that fails.
    virtual KVStatus closeStream();

    // The three version bytes of the header.
    const std::array<std::uint8_t, 3>& getVersion() const { return version_; }
    std::uint32_t getNumBands() const { return bands_; }
    std::uint32_t getNumLevels() const { return levels_; }
    std::uint32_t getWidth() const { return width_; }
    std::uint32_t getHeight() const { return height_; }
    std::uint32_t getNumSubbands() const { return static_cast<std::uint32_t>(offsets_.size()); }
    // The file offset of a subband's information; 0 for a subband without data.
    std::uint32_t getSubbandOffset(std::uint32_t subband) const;
    // The subband's information; null for a subband without data.
    QG2SubbandInfo* getSubbandInfo(std::uint32_t subband) const;
    // The metadata offset of the 0xFF 0xD0 segment; 0 without one.
    std::uint32_t getMetadataOffset() const { return metadataOffset_; }
    // The stored region (whole image without an 0xFF 0xD2 segment) and its level offset.
    const KVIRect& getRegion() const { return region_; }
    std::uint32_t getLevelOffset() const { return levelOffset_; }
    bool hasStoredRegion() const { return hasStoredRegion_; }
    // The stored region moved by a number of levels from its own (the level offset's): at level
    // l its corner is (x0, y0) >> l and its size rounds up. KV_BAD_ARGUMENT when a coordinate
    // leaves 31 bits.
    KVStatus getRegionAtLevel(std::int32_t level, KVIRect& rect) const;
    // The stream position just after an 0xFF 0xD3 segment; 0 without one.
    std::uint64_t getD3Position() const { return d3Position_; }

    KVIOStreamInf* getStream() const { return stream_; }
    bool getDither() const { return dither_; }
    // For a reader that learns the dither flag from metadata found through the header.
    void setDither(bool dither) { dither_ = dither; }
    bool keepsStreamOpen() const { return keepOpen_; }
    bool isShared() const { return shared_; }

protected:
    QG2DBInfo(KVIOStreamInf* stream, bool dither, bool keepOpen, bool shared)
        : stream_(stream), dither_(dither), keepOpen_(keepOpen), shared_(shared) {}

    std::array<std::uint8_t, 3> version_{};
    std::uint32_t bands_ = 0;
    std::uint32_t levels_ = 0;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::vector<std::uint32_t> offsets_;
    std::vector<std::unique_ptr<QG2SubbandInfo>> subbands_;
    std::uint32_t metadataOffset_ = 0;
    KVIRect region_;
    std::uint32_t levelOffset_ = 0;
    bool hasStoredRegion_ = false;
    std::uint64_t d3Position_ = 0;
    KVIOStreamInf* stream_;

private:
    bool dither_;
    bool keepOpen_;
    bool shared_;
    MutexLock mutex_;
};

} // namespace Korvel
