#include "qg3/planes/QG3FilePlaneStoreClient.h"

#include "qg3/container/QG3ImageInfo.h"
#include "qg3/planes/QG3FilePlaneReader.h"
#include "qg3/planes/QG3FilePlaneStore.h"
#include "support/KVStatusGuard.h"

#include <algorithm>

namespace Korvel {

const QG3ImageInfo& QG3PlaneStoreClient::getImageInfo() const {
    return store_->getImageInfo();
}

QG3FilePlaneStoreClient::QG3FilePlaneStoreClient(QG3FilePlaneStore& store,
                                                 std::unique_ptr<QG3FilePlaneReader> reader)
    : QG3PlaneStoreClient(store), reader_(std::move(reader)) {}

QG3FilePlaneStoreClient::~QG3FilePlaneStoreClient() = default;

QG3FilePlaneStore& QG3FilePlaneStoreClient::fileStore() {
    return static_cast<QG3FilePlaneStore&>(*store_);
}

bool QG3FilePlaneStoreClient::hasSubblocks(std::uint8_t subband, std::uint32_t first,
                                           std::uint32_t last) {
    const QG3ImageInfo& info = getImageInfo();
    if (first > last || subband >= info.numSubbands) return false;
    const std::uint32_t count = info.subbands[subband].subblockCount();
    if (count == 0 || first >= count) return false;
    last = std::min(last, count - 1);
    if (reader_->openStream() != KV_OK) return true;
    for (std::uint32_t subblock = first;; ++subblock) {
        bool found = false;
        QG3SubblockKey at;
        QG3SubblockPosition position;
        const QG3SubblockKey key{subblock, QG3SubblockKey::kAnyBand, subband,
                                 QG3SubblockKey::kAnyPlane};
        if (fileStore().find(key, *reader_, found, at, position) != KV_OK || found) return true;
        if (subblock == last) return false;
    }
}

KVStatus QG3FilePlaneStoreClient::readSubblock(std::uint8_t subband, std::uint32_t subblock,
                                               QG3PlaneRecord* records) {
    KV_RETURN_IF_FAILED(reader_->openStream());
    bool found = false;
    const QG3SubblockKey key{subblock, QG3SubblockKey::kAnyBand, subband,
                             QG3SubblockKey::kAnyPlane};
    return fileStore().readSubblock(key, getImageInfo().bandSet, *reader_, found, records);
}

KVStatus QG3FilePlaneStoreClient::openStream() {
    return reader_->openStream();
}

KVStatus QG3FilePlaneStoreClient::closeStream() {
    return reader_->closeStream();
}

} // namespace Korvel
