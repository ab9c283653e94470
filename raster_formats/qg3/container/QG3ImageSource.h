#pragma once
// One image of a container: its own header packet, copy of the image information and extras,
// and the geometry that the image readers ask for.

#include "model/KVIPixel.h"
#include "qg3/container/QG3BandSet.h"
#include "qg3/container/QG3ImageExtras.h"
#include "qg3/container/QG3ImageInfo.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace Korvel {

class QG3Container;
class QG3HeaderPacket;

class QG3ImageSource {
public:
    QG3ImageSource(QG3Container* container, std::uint32_t imageNumber);
    QG3ImageSource(const QG3ImageSource&) = delete;
    QG3ImageSource& operator=(const QG3ImageSource&) = delete;
    virtual ~QG3ImageSource();

    // Once: a second call gives KV_QG3_NO_OBJECT, as does an image without exactly one header
    // packet; KV_QG3_NOT_FOUND when the container does not list the image.
    virtual KVStatus open();
    // r, relative to the visible image at a level, in the stored image at that level and
    // relative to the window's own origin there.
    virtual KVIRect getLevelRect(const KVIRect& r, std::int32_t level) const;
    virtual void getDimensionsAtLevel(std::int32_t level, std::uint32_t& width,
                                      std::uint32_t& height) const;

    // The image information; null until opened.
    const QG3ImageInfo* getImageInfo() const { return info_ ? &*info_ : nullptr; }
    QG3ImageInfo* getImageInfo() { return info_ ? &*info_ : nullptr; }
    QG3HeaderPacket* getHeaderPacket() const { return header_.get(); }
    QG3Container* getContainer() const { return container_; }
    std::uint32_t getImageNumber() const { return imageNumber_; }

    // Answers about the visible image; 0 (or empty) until opened.
    const QG3BandSet& getBandSet() const;
    std::uint16_t getNumSelectedBands() const;
    std::uint32_t getBytesPerSample() const;
    std::uint32_t getWidth() const;
    std::uint32_t getHeight() const;
    std::uint8_t getNumLevels() const;

    bool hasGeoref() const;
    double getXOrigin() const;
    double getYOrigin() const;
    double getXResolution() const;
    double getYResolution() const;
    // Null when the image has none.
    const KVIPixel* getNoDataPixel() const;
    const KVIPixel* getBackgroundPixel() const;

private:
    double geo(int index) const;

    QG3Container* container_;
    bool opened_ = false;
    std::uint32_t imageNumber_;
    std::optional<QG3ImageInfo> info_;
    // Read for the source and owned by it, so that it goes with the source.
    std::unique_ptr<QG3HeaderPacket> header_;
    // Empty (no georeferencing, no pixels) until opened.
    QG3ImageExtras extras_;
};

} // namespace Korvel
