#include "qg3/container/QG3Container.h"

#include "qg3/container/QG3ContentsPacket.h"
#include "qg3/container/QG3MetadataSupport.h"
#include "qg3/container/QG3PacketDB.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

#include <algorithm>

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

    // Whatever is thrown while the database and the support are made counts as out of memory.
    KV_RETURN_IF_FAILED(
        kvGuardAll([&] { lock_ = std::make_unique<CriticalSectionLock>(); }, KV_QG3_OUT_OF_MEMORY));
    KV_RETURN_IF_FAILED(lock_->init());
    KV_RETURN_IF_FAILED(
        kvGuardAll([&] { db_ = std::make_unique<QG3PacketDB>(); }, KV_QG3_OUT_OF_MEMORY));
    KV_RETURN_IF_FAILED(readDatabase());
    KV_RETURN_IF_FAILED(kvGuardAll([&] { return listImages(); }, KV_QG3_OUT_OF_MEMORY));

    // A file without a contents packet, or whose contents packet cannot be read, has none.
    QG3Packet* packet = nullptr;
    const QG3PacketType contents(QG3_PACKET_CONTENTS, QG3_ANY, QG3_ANY, 0, 0, 0);
    if (findPacket(contents, packet) == KV_OK)
        if (const auto* found = dynamic_cast<const QG3ContentsPacket*>(packet))
            contentsId_ = found->identifier;

    return kvGuardAll(
        [&] {
            metadata_ = std::make_unique<QG3MetadataSupport>(this);
            return metadata_->initialize();
        },
        KV_QG3_OUT_OF_MEMORY);
}

// One descriptor per image number, from the first header or generation-2 packet that names it.
KVStatus QG3Container::listImages() {
    const auto byNumber = [](const QG3ImageDesc& a, const QG3ImageDesc& b) {
        return a.imageNumber < b.imageNumber;
    };
    images_ = std::make_unique<std::vector<QG3ImageDesc>>();
    imagesByNumber_.clear();
    const std::uint32_t gen = compareFileVersion(db_->getFileVersion());
    std::vector<QG3ImageDesc> found;
    for (std::size_t i = 0; i < db_->getCount(); ++i) {
        const QG3PacketType type = db_->getPacketType(i);
        if (type.packetType == QG3_PACKET_HEADER)
            found.push_back({type.imageNumber, gen});
        else if (type.packetType == QG3_PACKET_QG2)
            found.push_back({type.imageNumber, QG3_READER_QG2});
    }
    // Every number once and in order, as a file written image by image has them: the list
    // is its own index.
    if (std::adjacent_find(found.begin(), found.end(),
                           [](const QG3ImageDesc& a, const QG3ImageDesc& b) {
                               return a.imageNumber >= b.imageNumber;
                           }) == found.end()) {
        if (found.size() > QG3_MAX_IMAGES) return KV_QG3_OUT_OF_MEMORY;
        *images_ = std::move(found);
        return KV_OK;
    }
    // Sorted stably, the first of each number is the one that came first in the file.
    imagesByNumber_ = found;
    std::stable_sort(imagesByNumber_.begin(), imagesByNumber_.end(), byNumber);
    imagesByNumber_.erase(std::unique(imagesByNumber_.begin(), imagesByNumber_.end(),
                                      [](const QG3ImageDesc& a, const QG3ImageDesc& b) {
                                          return a.imageNumber == b.imageNumber;
                                      }),
                          imagesByNumber_.end());
    if (imagesByNumber_.size() > QG3_MAX_IMAGES) {
        imagesByNumber_.clear();
        return KV_QG3_OUT_OF_MEMORY;
    }
    imagesByNumber_.shrink_to_fit();
    if (imagesByNumber_.size() == found.size()) {
        // Every number once: the list in file order, sorted already or not.
        if (std::is_sorted(found.begin(), found.end(), byNumber)) {
            imagesByNumber_.clear();
            imagesByNumber_.shrink_to_fit();
        }
        *images_ = std::move(found);
        return KV_OK;
    }
    images_->reserve(imagesByNumber_.size());
    std::vector<bool> listed(imagesByNumber_.size(), false);
    for (const QG3ImageDesc& desc : found) {
        const auto first =
            std::lower_bound(imagesByNumber_.begin(), imagesByNumber_.end(), desc, byNumber);
        const auto slot = static_cast<std::size_t>(first - imagesByNumber_.begin());
        if (listed[slot]) continue;
        listed[slot] = true;
        images_->push_back(*first);
    }
    return KV_OK;
}

KVStatus QG3Container::findPacket(const QG3PacketType& pattern, QG3Packet*& packet) {
    packet = nullptr;
    if (!db_ || !lock_) return KV_QG3_NO_OBJECT;
    LockHolder hold(*lock_);
    KV_RETURN_IF_FAILED(hold.status());
    return kvGuardAll([&] { return db_->findPacket(pattern, packet); }, KV_QG3_OUT_OF_MEMORY);
}

KVStatus QG3Container::findAll(const QG3PacketType& pattern, QG3List<DBObjectProxy*>& found) {
    if (!db_ || !lock_) return KV_QG3_NO_OBJECT;
    LockHolder hold(*lock_);
    KV_RETURN_IF_FAILED(hold.status());
    return kvGuardAll([&] { return db_->findAll(pattern, found); }, KV_QG3_OUT_OF_MEMORY);
}

KVStatus QG3Container::findImageDescriptor(std::uint32_t imageNumber, QG3ImageDesc& desc) const {
    if (!images_) return KV_QG3_NOT_FOUND;
    const std::vector<QG3ImageDesc>& sorted = imagesByNumber_.empty() ? *images_ : imagesByNumber_;
    // Numbers without gaps put each image at its number's distance from the first.
    if (!sorted.empty() && imageNumber >= sorted.front().imageNumber) {
        const std::size_t at = imageNumber - sorted.front().imageNumber;
        if (at < sorted.size() && sorted[at].imageNumber == imageNumber) {
            desc = sorted[at];
            return KV_OK;
        }
    }
    const auto found = std::lower_bound(
        sorted.begin(), sorted.end(), imageNumber,
        [](const QG3ImageDesc& d, std::uint32_t number) { return d.imageNumber < number; });
    if (found == sorted.end() || found->imageNumber != imageNumber) return KV_QG3_NOT_FOUND;
    desc = *found;
    return KV_OK;
}

KVStatus QG3Container::readPacket(const QG3PacketType& pattern,
                                  std::unique_ptr<QG3Packet>& packet) {
    packet.reset();
    if (!db_ || !lock_) return KV_QG3_NO_OBJECT;
    LockHolder hold(*lock_);
    KV_RETURN_IF_FAILED(hold.status());
    return kvGuardAll([&] { return db_->readPacket(pattern, packet); }, KV_QG3_OUT_OF_MEMORY);
}

bool QG3Container::hasPacket(std::uint32_t packetType, std::uint32_t keyA, std::uint32_t keyB,
                             std::uint32_t imageNumber) const {
    return db_ && db_->hasPacket(packetType, keyA, keyB, imageNumber);
}

QG3FileVersion QG3Container::getFileVersion() const {
    return db_ ? db_->getFileVersion() : QG3FileVersion{0, 0, 0, 0};
}

} // namespace Korvel
