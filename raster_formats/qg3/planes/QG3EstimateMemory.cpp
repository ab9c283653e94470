#include "qg3/planes/QG3EstimateMemory.h"

#include "qg3/container/QG3Container.h"
#include "qg3/container/QG3HeaderPacket.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <limits>
#include <memory>

namespace Korvel {

namespace {

constexpr double kFixedBytes = 11814.0;

} // namespace

double estimateImageMemory(const QG3ImageInfo& info, const QG3PlanesetPacket& planeset) {
    const double bands = info.bandSet.getBitCount();
    // No selected band would divide by zero; the plane data is then counted once.
    const double selected = std::max<std::uint16_t>(info.bandSet.getSetCount(), 1);
    return double(info.estimateFactor) * bands * double(info.totalSubblocks) * 8.0 +
           double(planeset.planesetTotal) * 3.4 / selected;
}

KVStatus estimateMemory(QG3Container* container, std::uint32_t imageNumber, std::uint64_t& bytes) {
    bytes = 0;
    if (container == nullptr) return KV_QG3_NO_OBJECT;
    // Both packets are read for the estimate and dropped: estimating every image of a file
    // leaves nothing loaded.
    std::unique_ptr<QG3Packet> headerPacket;
    KV_RETURN_IF_FAILED(container->readPacket(
        QG3PacketType(QG3_PACKET_HEADER, QG3_ANY, QG3_ANY, imageNumber, 0, 0), headerPacket));
    const auto* header = dynamic_cast<const QG3HeaderPacket*>(headerPacket.get());
    if (header == nullptr || header->getImageInfo() == nullptr) return KV_QG3_NO_OBJECT;
    std::unique_ptr<QG3Packet> planesetPacket;
    KV_RETURN_IF_FAILED(container->readPacket(
        QG3PacketType(QG3_PACKET_PLANESET, QG3_ANY, QG3_ANY, imageNumber, 0, 0), planesetPacket));
    const auto* planeset = dynamic_cast<const QG3PlanesetPacket*>(planesetPacket.get());
    if (planeset == nullptr) return KV_QG3_NO_OBJECT;

    // Files can claim totals whose estimate passes 2^64; those are held at the largest value.
    const double estimate = estimateImageMemory(*header->getImageInfo(), *planeset) + kFixedBytes;
    constexpr double kLimit = 18446744073709551616.0; // 2^64
    bytes = estimate >= kLimit ? std::numeric_limits<std::uint64_t>::max()
                               : static_cast<std::uint64_t>(estimate);
    return KV_OK;
}

} // namespace Korvel
