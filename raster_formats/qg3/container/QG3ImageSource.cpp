#include "qg3/container/QG3ImageSource.h"

#include "qg3/container/QG3Container.h"
#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3HeaderPacket.h"
#include "qg3/container/QG3ImageExtras.h"
#include "qg3/container/QG3MetadataSupport.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

#include <algorithm>

namespace Korvel {

QG3ImageSource::QG3ImageSource(QG3Container* container, std::uint32_t imageNumber)
    : container_(container), imageNumber_(imageNumber) {}

QG3ImageSource::~QG3ImageSource() = default;

KVStatus QG3ImageSource::open() {
    if (opened_) return KV_QG3_NO_OBJECT;
    opened_ = true;
    if (container_ == nullptr) return KV_QG3_NO_OBJECT;

    std::unique_ptr<QG3Packet> packet;
    const QG3PacketType pattern(QG3_PACKET_HEADER, QG3_ANY, QG3_ANY, imageNumber_, 0, 0);
    KV_RETURN_IF_FAILED(container_->readPacket(pattern, packet));
    if (auto* header = dynamic_cast<QG3HeaderPacket*>(packet.get())) {
        packet.release();
        header_.reset(header);
    }
    if (header_ == nullptr || header_->getImageInfo() == nullptr) return KV_QG3_NO_OBJECT;

    KV_RETURN_IF_FAILED(
        kvGuardAll([&] { info_.emplace(*header_->getImageInfo()); }, KV_QG3_OUT_OF_MEMORY));

    QG3ImageDesc desc;
    KV_RETURN_IF_FAILED(container_->findImageDescriptor(imageNumber_, desc));
    QG3MetadataSupport* metadata = container_->getMetadataSupport();
    if (metadata == nullptr) return KV_QG3_NO_OBJECT;
    bool found = false;
    return metadata->readImageExtras(desc.imageNumber, info_->colorSpace, extras_, found);
}

KVIRect QG3ImageSource::getLevelRect(const KVIRect& r, std::int32_t level) const {
    if (!info_) return KVIRect{};
    const KVIRect at = info_->getLevelRect(level, r, true);
    const KVIRect window = info_->getImageRect(level, true, true);
    return {at.x0 - window.x0, at.y0 - window.y0, at.x1 - window.x0, at.y1 - window.y0};
}

void QG3ImageSource::getDimensionsAtLevel(std::int32_t level, std::uint32_t& width,
                                          std::uint32_t& height) const {
    width = 0;
    height = 0;
    if (!info_) return;
    const KVIRect window = info_->getImageRect(level, true, true);
    width = static_cast<std::uint32_t>(window.width());
    height = static_cast<std::uint32_t>(window.height());
}

const QG3BandSet& QG3ImageSource::getBandSet() const {
    static const QG3BandSet kEmpty;
    return info_ ? info_->bandSet : kEmpty;
}

std::uint16_t QG3ImageSource::getNumSelectedBands() const {
    return getBandSet().getSetCount();
}

std::uint32_t QG3ImageSource::getBytesPerSample() const {
    return info_ ? getDataTypeBytes(info_->dataType) : 0;
}

std::uint32_t QG3ImageSource::getWidth() const {
    return info_ ? info_->getVisibleWidth() : 0;
}

std::uint32_t QG3ImageSource::getHeight() const {
    return info_ ? info_->getVisibleHeight() : 0;
}

std::uint8_t QG3ImageSource::getNumLevels() const {
    return info_ ? info_->getVisibleNumLevels() : 0;
}

bool QG3ImageSource::hasGeoref() const {
    return extras_.hasGeoref;
}

double QG3ImageSource::geo(int index) const {
    return extras_.geo[index];
}

double QG3ImageSource::getXOrigin() const {
    return geo(0);
}

double QG3ImageSource::getYOrigin() const {
    return geo(1);
}

double QG3ImageSource::getXResolution() const {
    return geo(4);
}

double QG3ImageSource::getYResolution() const {
    return geo(5);
}

const KVIPixel* QG3ImageSource::getNoDataPixel() const {
    return extras_.noDataPixel.get();
}

const KVIPixel* QG3ImageSource::getBackgroundPixel() const {
    return extras_.backgroundPixel.get();
}

} // namespace Korvel
