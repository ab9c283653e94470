#pragma once
// The metadata packets of a container: which ones the file has, and their payloads. Both are
// answered from the container's list of packets, so the support keeps nothing per packet.

#include "qg3/container/QG3MetadataDesc.h"
#include "streams/KVIOStreamInf.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class QG3Container;
class QG3ImageExtras;
class QG3MetadataPacket;
class QG3Packet;

class QG3MetadataSupport {
public:
    explicit QG3MetadataSupport(QG3Container* container) : container_(container) {}
    QG3MetadataSupport(const QG3MetadataSupport&) = delete;
    QG3MetadataSupport& operator=(const QG3MetadataSupport&) = delete;
    virtual ~QG3MetadataSupport() = default;

    // Nothing to list ahead: always 0.
    KVStatus initialize();
    // Whether the container lists a metadata packet of exactly this kind, key and image.
    bool hasMetadata(const QG3MetadataDesc& key) const;
    // Writes the payload of the packet for key to the stream: KV_QG3_NOT_FOUND when absent,
    // KV_QG3_WRITE_FAILED when short. The packet is read for the call and dropped.
    KVStatus readMetadata(const QG3MetadataDesc& key, KVIOStreamInf* stream);
    // The image extras of an image; found is false, and the status 0, when it has none.
    KVStatus readImageExtras(std::uint32_t imageNumber, std::uint32_t colorSpaceCode,
                             QG3ImageExtras& extras, bool& found);

private:
    // The packet for key, read for the call and owned by packet; KV_QG3_NOT_FOUND when none or
    // several match (callers ask hasMetadata first).
    KVStatus readPayload(const QG3MetadataDesc& key, std::unique_ptr<QG3Packet>& packet,
                         const QG3MetadataPacket*& metadata);

    QG3Container* container_;
};

} // namespace Korvel
