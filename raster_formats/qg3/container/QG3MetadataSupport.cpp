#include "qg3/container/QG3MetadataSupport.h"

#include "qg3/container/QG3Container.h"
#include "qg3/container/QG3ImageExtras.h"
#include "qg3/container/QG3MetadataPacket.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

#include <memory>

namespace Korvel {

KVStatus QG3MetadataSupport::initialize() {
    return KV_OK;
}

bool QG3MetadataSupport::hasMetadata(const QG3MetadataDesc& key) const {
    return container_ != nullptr &&
           container_->hasPacket(QG3_PACKET_METADATA, key.kind, key.key, key.imageNumber);
}

KVStatus QG3MetadataSupport::readPayload(const QG3MetadataDesc& key,
                                         std::unique_ptr<QG3Packet>& packet,
                                         const QG3MetadataPacket*& metadata) {
    metadata = nullptr;
    if (container_ == nullptr) return KV_QG3_NOT_FOUND;
    const QG3PacketType pattern(QG3_PACKET_METADATA, key.kind, key.key, key.imageNumber, 0, 0);
    KV_RETURN_IF_FAILED(container_->readPacket(pattern, packet));
    metadata = dynamic_cast<const QG3MetadataPacket*>(packet.get());
    return metadata != nullptr ? KV_OK : KV_QG3_NOT_FOUND;
}

KVStatus QG3MetadataSupport::readMetadata(const QG3MetadataDesc& key, KVIOStreamInf* stream) {
    if (!hasMetadata(key)) return KV_QG3_NOT_FOUND;
    std::unique_ptr<QG3Packet> packet;
    const QG3MetadataPacket* metadata = nullptr;
    KV_RETURN_IF_FAILED(readPayload(key, packet, metadata));
    const std::uint32_t count = metadata->getCount();
    if (count > 0 && stream->write(metadata->getBytes(), count) != count)
        return KV_QG3_WRITE_FAILED;
    return KV_OK;
}

KVStatus QG3MetadataSupport::readImageExtras(std::uint32_t imageNumber,
                                             std::uint32_t colorSpaceCode, QG3ImageExtras& extras,
                                             bool& found) {
    const QG3MetadataDesc key{QG3_METADATA_IMAGE_EXTRAS, 0, imageNumber};
    found = hasMetadata(key);
    if (!found) return KV_OK;
    std::unique_ptr<QG3Packet> packet;
    const QG3MetadataPacket* metadata = nullptr;
    KV_RETURN_IF_FAILED(readPayload(key, packet, metadata));
    // The payload is read where it lies, as every image of a file of many has its extras read.
    return Korvel::readImageExtras(metadata->getBytes(), metadata->getCount(), colorSpaceCode,
                                   extras);
}

} // namespace Korvel
