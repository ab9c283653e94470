#include "QG3MetadataSupport.h"

#include "DBObjectProxy.h"
#include "KVIOStreamUtils.h"
#include "QG3Container.h"
#include "QG3ImageExtras.h"
#include "QG3MetadataPacket.h"
#include "QG3PacketType.h"
#include "QG3Status.h"

namespace Korvel {

KVStatus QG3MetadataSupport::initialize() {
    if (container_ == nullptr) return KV_OK;
    QG3List<DBObjectProxy*> found;
    const QG3PacketType pattern(QG3_PACKET_METADATA, QG3_ANY, QG3_ANY, QG3_ANY, 0, 0);
    const KVStatus status = container_->findAll(pattern, found);
    if (status != KV_OK) return status;
    for (const DBObjectProxy* proxy : found.items())
        if (const auto* type = dynamic_cast<const QG3PacketType*>(proxy->getType())) {
            const QG3MetadataDesc key{type->keyA, type->keyB, type->imageNumber};
            descriptors_.append(key);
            keys_.insert(key);
        }
    return KV_OK;
}

std::size_t QG3MetadataSupport::KeyHash::operator()(const QG3MetadataDesc& key) const {
    return std::hash<std::uint64_t>()(std::uint64_t{key.kind} << 40 ^ std::uint64_t{key.key} << 20 ^
                                      key.imageNumber);
}

bool QG3MetadataSupport::hasMetadata(const QG3MetadataDesc& key) const {
    return keys_.contains(key);
}

KVStatus QG3MetadataSupport::readMetadata(const QG3MetadataDesc& key, KVIOStreamInf* stream) {
    if (container_ == nullptr || !hasMetadata(key)) return KV_QG3_NOT_FOUND;
    QG3Packet* packet = nullptr;
    const QG3PacketType pattern(QG3_PACKET_METADATA, key.kind, key.key, key.imageNumber, 0, 0);
    const KVStatus status = container_->findPacket(pattern, packet);
    if (status != KV_OK) return status;
    const auto* metadata = dynamic_cast<const QG3MetadataPacket*>(packet);
    if (metadata == nullptr) return KV_QG3_NOT_FOUND;
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
    KVIOStreamInf* stream = createMemStream();
    if (stream == nullptr) return KV_QG3_SEEK_FAILED;
    KVStatus status = readMetadata(key, stream);
    if (status == KV_OK) status = stream->seek(0, KVIO_SEEK_SET);
    if (status == KV_OK) status = Korvel::readImageExtras(stream, colorSpaceCode, extras);
    closeAndDelete(stream);
    return status;
}

} // namespace Korvel
