#include "DBObjectProxyImp.h"

#include "DB.h"
#include "DBObject.h"
#include "DBObjectProxy.h"
#include "QG3Status.h"
#include "QG3StreamIO.h"

#include <algorithm>
#include <new>

namespace Korvel {

namespace {

constexpr std::uint32_t kCopyChunk = 65536;
// Writes in a row that move nothing before a copy gives up on a destination that keeps asking
// for a retry.
constexpr int kMaxStalledWrites = 16;

KVStatus writeAll(KVIOStreamInf* stream, const std::uint8_t* bytes, std::uint32_t count) {
    std::uint32_t written = 0;
    int stalled = 0;
    while (written < count) {
        const std::uint32_t n =
            std::min(stream->write(bytes + written, count - written), count - written);
        written += n;
        if (written == count) break;
        const KVStatus error = stream->getLastError();
        if (error != KV_STREAM_TOLERATED && error != KV_WRONG_STREAM_STATE)
            return error != KV_OK ? error : KV_QG3_WRITE_FAILED;
        stalled = n == 0 ? stalled + 1 : 0;
        if (stalled == kMaxStalledWrites) return KV_QG3_WRITE_FAILED;
    }
    return KV_OK;
}

} // namespace

DBObjectProxyImp* DBObjectProxyImpStream::clone(DBObjectProxy* newOwner) const {
    return new (std::nothrow) DBObjectProxyImpStream(newOwner, source_, start_, length_);
}

KVStatus DBObjectProxyImpStream::load(DBObject*& object) {
    object = nullptr;
    const DBObjectType* type = owner_ ? owner_->getType() : nullptr;
    DB* db = owner_ ? owner_->getDB() : nullptr;
    if (type == nullptr || db == nullptr) return KV_QG3_NO_OBJECT;
    std::unique_ptr<DBObject> made(db->createObject(*type));
    if (!made) return KV_QG3_NO_OBJECT;
    if (source_->seek(start_, KVIO_SEEK_SET) != KV_OK) return KV_QG3_READ_FAILED;
    const KVStatus status = made->readBody(source_, length_);
    if (status != KV_OK) return status;
    object = made.release();
    return KV_OK;
}

KVStatus DBObjectProxyImpStream::writeBody(KVIOStreamInf* stream, std::int64_t /*headerPos*/) {
    const bool wasOpen = source_->isOpen();
    std::int64_t here = 0;
    if (!wasOpen) {
        const KVStatus status = source_->open();
        if (status != KV_OK) return status;
    } else if ((here = source_->tell()) < 0) {
        return KV_QG3_SEEK_FAILED;
    }
    KVStatus status =
        source_->seek(start_, KVIO_SEEK_SET) == KV_OK ? copyBody(stream) : KV_QG3_SEEK_FAILED;
    if (!wasOpen) {
        const KVStatus closed = source_->close();
        if (status == KV_OK) status = closed;
    } else if (source_->seek(here, KVIO_SEEK_SET) != KV_OK && status == KV_OK) {
        status = KV_QG3_SEEK_FAILED;
    }
    return status;
}

KVStatus DBObjectProxyImpStream::copyBody(KVIOStreamInf* stream) {
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kCopyChunk]);
    if (!buffer) return KV_QG3_OUT_OF_MEMORY;
    const bool toEnd = length_ < 0;
    std::int64_t left = length_;
    while (toEnd || left > 0) {
        const std::uint32_t ask =
            toEnd ? kCopyChunk
                  : static_cast<std::uint32_t>(std::min<std::int64_t>(left, kCopyChunk));
        const std::uint32_t got = std::min(source_->read(buffer.get(), ask), ask);
        if (got < ask && !source_->isEOF()) return qg3io::lastErrorOr(source_, KV_QG3_READ_FAILED);
        if (got == 0) break;
        const KVStatus status = writeAll(stream, buffer.get(), got);
        if (status != KV_OK) return status;
        left -= got;
    }
    return KV_OK;
}

DBObjectProxyImpObject::DBObjectProxyImpObject(DBObjectProxy* owner,
                                               std::unique_ptr<DBObject> object)
    : DBObjectProxyImp(owner), object_(std::move(object)) {}

DBObjectProxyImpObject::~DBObjectProxyImpObject() = default;

DBObjectProxyImp* DBObjectProxyImpObject::clone(DBObjectProxy* newOwner) const {
    std::unique_ptr<DBObject> copy(object_ ? object_->clone() : nullptr);
    if (object_ && !copy) return nullptr;
    return new (std::nothrow) DBObjectProxyImpObject(newOwner, std::move(copy));
}

KVStatus DBObjectProxyImpObject::load(DBObject*& object) {
    // A copy, so that the caller owns what it gets as with a stream-backed proxy.
    object = nullptr;
    if (!object_) return KV_QG3_NO_OBJECT;
    object = object_->clone();
    return object ? KV_OK : KV_QG3_OUT_OF_MEMORY;
}

KVStatus DBObjectProxyImpObject::writeBody(KVIOStreamInf* stream, std::int64_t headerPos) {
    return object_ ? object_->writeBody(stream, headerPos) : KV_QG3_NO_OBJECT;
}

void DBObjectProxyImpObject::setObject(std::unique_ptr<DBObject> object) {
    object_ = std::move(object);
}

} // namespace Korvel
