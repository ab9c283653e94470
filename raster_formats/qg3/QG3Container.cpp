#include "QG3Container.h"

#include "QG3ContentsPacket.h"
#include "QG3MetadataSupport.h"
#include "QG3PacketDB.h"
#include "QG3PacketType.h"
#include "QG3Status.h"

#include <new>

namespace Korvel {

namespace {

// Holds the lock for one search.
class LockHolder {
public:
    explicit LockHolder(CriticalSectionLock& lock) : lock_(lock) { status_ = lock_.lock(); }
    ~LockHolder() {
        if (status_ == KV_OK) lock_.unlock();
    }
    KVStatus status() const { return status_; }

private:
    CriticalSectionLock& lock_;
    KVStatus status_;
};

} // namespace

QG3Container::QG3Container() = default;

QG3Container::~QG3Container() = default;

KVStatus QG3Container::readDatabase() {
    return KV_OK;
}

KVStatus QG3Container::open() {
    if (opened_) return KV_QG3_NO_OBJECT;
    opened_ = true;

    lock_.reset(new (std::nothrow) CriticalSectionLock());
    if (!lock_) return KV_QG3_OUT_OF_MEMORY;
    KVStatus status = lock_->init();
    if (status != KV_OK) return status;

    try {
        db_.reset(new QG3PacketDB());
    } catch (const std::bad_alloc&) {
        return KV_QG3_OUT_OF_MEMORY;
    } catch (const KVUtilException&) {
        return KV_QG3_OUT_OF_MEMORY;
    }
    if ((status = readDatabase()) != KV_OK) return status;
    if ((status = listImages()) != KV_OK) return status;

    // A file without a contents packet, or whose contents packet cannot be read, has none.
    QG3Packet* packet = nullptr;
    const QG3PacketType contents(QG3_PACKET_CONTENTS, QG3_ANY, QG3_ANY, 0, 0, 0);
    if (findPacket(contents, packet) == KV_OK)
        if (const auto* found = dynamic_cast<const QG3ContentsPacket*>(packet))
            contentsId_ = found->identifier;

    try {
        metadata_.reset(new QG3MetadataSupport(this));
        status = metadata_->initialize();
    } catch (const std::bad_alloc&) {
        return KV_QG3_OUT_OF_MEMORY;
    } catch (const KVUtilException&) {
        return KV_QG3_OUT_OF_MEMORY;
    }
    return status;
}

// One descriptor per image number, from the first header or generation-2 packet that names it.
KVStatus QG3Container::listImages() {
    try {
        images_.reset(new QG3List<QG3ImageDesc>());
        imagesByNumber_.clear();
        const std::uint32_t gen = compareFileVersion(db_->getFileVersion());
        for (const DBObjectProxy* proxy : db_->getObjects().items()) {
            const auto* type = dynamic_cast<const QG3PacketType*>(proxy->getType());
            if (type == nullptr) continue;
            std::uint32_t kind = 0;
            if (type->packetType == QG3_PACKET_HEADER)
                kind = gen;
            else if (type->packetType == QG3_PACKET_QG2)
                kind = QG3_READER_QG2;
            else
                continue;
            const QG3ImageDesc desc{type->imageNumber, kind};
            if (imagesByNumber_.emplace(desc.imageNumber, desc).second) images_->append(desc);
        }
    } catch (const std::bad_alloc&) {
        return KV_QG3_OUT_OF_MEMORY;
    } catch (const KVUtilException&) {
        return KV_QG3_OUT_OF_MEMORY;
    }
    return KV_OK;
}

KVStatus QG3Container::findPacket(const QG3PacketType& pattern, QG3Packet*& packet) {
    packet = nullptr;
    if (!db_ || !lock_) return KV_QG3_NO_OBJECT;
    LockHolder hold(*lock_);
    if (hold.status() != KV_OK) return hold.status();
    try {
        return db_->findPacket(pattern, packet);
    } catch (const KVUtilException&) {
        return KV_QG3_OUT_OF_MEMORY;
    }
}

KVStatus QG3Container::findAll(const QG3PacketType& pattern, QG3List<DBObjectProxy*>& found) {
    if (!db_ || !lock_) return KV_QG3_NO_OBJECT;
    LockHolder hold(*lock_);
    if (hold.status() != KV_OK) return hold.status();
    try {
        return db_->findAll(pattern, found);
    } catch (const KVUtilException&) {
        return KV_QG3_OUT_OF_MEMORY;
    }
}

KVStatus QG3Container::findImageDescriptor(std::uint32_t imageNumber, QG3ImageDesc& desc) const {
    const auto found = imagesByNumber_.find(imageNumber);
    if (found == imagesByNumber_.end()) return KV_QG3_NOT_FOUND;
    desc = found->second;
    return KV_OK;
}

QG3FileVersion QG3Container::getFileVersion() const {
    return db_ ? db_->getFileVersion() : QG3FileVersion{0, 0, 0, 0};
}

} // namespace Korvel
