#include "qg3/container/DBObjectProxyImp.h"

#include "qg3/container/DB.h"
#include "qg3/container/DBObject.h"
#include "qg3/container/DBObjectProxy.h"
#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3StreamIO.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <limits>
#include <new>

namespace Korvel {

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
    KV_RETURN_IF_FAILED(made->readBody(source_, length_));
    object = made.release();
    return KV_OK;
}

KVStatus DBObjectProxyImpStream::writeBody(KVIOStreamInf* stream, std::int64_t /*headerPos*/) {
    const bool wasOpen = source_->isOpen();
    std::int64_t here = 0;
    if (!wasOpen) {
        KV_RETURN_IF_FAILED(source_->open());
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
    // A body without a length runs to the source's end.
    const std::int64_t count = length_ < 0 ? std::numeric_limits<std::int64_t>::max() : length_;
    return copyStream(stream, source_, count,
                      {.readFailed = KV_QG3_READ_FAILED,
                       .writeFailed = KV_QG3_WRITE_FAILED,
                       .outOfMemory = KV_QG3_OUT_OF_MEMORY,
                       .keepRetryStatus = false});
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

} // namespace Korvel
