#include "qg3/container/QG3ContentsPacket.h"

#include "qg3/container/DB.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3StreamIO.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <memory>
#include <new>

namespace Korvel {

namespace {

// The table moves between the file and memory in one piece: a short read or write fails at once
// with the packet's own status.
KVIOCopyStatuses tableCopy(KVStatus readFailed, KVStatus writeFailed) {
    return {.readFailed = readFailed,
            .writeFailed = writeFailed,
            .outOfMemory = KV_QG3_OUT_OF_MEMORY,
            .endedEarly = readFailed,
            .streamErrors = false};
}

} // namespace

QG3ContentsPacket::QG3ContentsPacket(const DBObjectType& type, DB* db)
    : QG3Packet(type), table_(createMemStream()), db_(db) {
    if (db_ != nullptr && table_ != nullptr) db_->setTableStream(table_);
}

QG3ContentsPacket::~QG3ContentsPacket() {
    // The database must not keep writing into a stream that is gone.
    if (db_ != nullptr && table_ != nullptr && db_->getTableStream() == table_)
        db_->setTableStream(nullptr);
    closeAndDelete(table_);
}

DBObject* QG3ContentsPacket::clone() const {
    const DBObjectType* type = getObjectType();
    if (type == nullptr) return nullptr;
    std::unique_ptr<QG3ContentsPacket> copy(new (std::nothrow) QG3ContentsPacket(*type, db_));
    if (!copy || copy->table_ == nullptr) return nullptr;
    copy->identifier = identifier;
    return copy.release();
}

KVStatus QG3ContentsPacket::readBody(KVIOStreamInf* stream, std::int64_t length) {
    std::int64_t size = 0;
    KV_RETURN_IF_FAILED(qg3io::resolveBodyLength(stream, length, size));
    KVIOBodyReader in(stream, KVIOBodyReader::kHere, size, KV_QG3_READ_FAILED, KV_QG3_SEEK_FAILED);
    KV_RETURN_IF_FAILED(in.read(identifier));
    if (getType() == nullptr) return KV_QG3_NO_OBJECT;
    switch (getFlag1()) {
    case 0:
        return size == 4 ? KV_OK : KV_QG3_READ_FAILED;
    case 1:
        return copyTable(stream, size - 4);
    default:
        return KV_QG3_BAD_FORMAT;
    }
}

KVStatus QG3ContentsPacket::copyTable(KVIOStreamInf* stream, std::int64_t count) {
    if (table_ == nullptr) return KV_QG3_OUT_OF_MEMORY;
    KV_RETURN_IF_FAILED(
        copyStream(table_, stream, count, tableCopy(KV_QG3_READ_FAILED, KV_QG3_OUT_OF_MEMORY)));
    // The next write collects its own headers from the start.
    return table_->seek(0, KVIO_SEEK_SET) == KV_OK ? KV_OK : KV_QG3_SEEK_FAILED;
}

KVStatus QG3ContentsPacket::writeBody(KVIOStreamInf* stream, std::int64_t /*headerPos*/) {
    if (getFlag1() == 0) return writeBE(stream, identifier, 4) ? KV_OK : KV_QG3_WRITE_FAILED;

    if (reserved_ == 0) {
        // First pass: room for the identifier and one header per packet, as the database writes
        // them.
        if (db_ == nullptr || table_ == nullptr) return KV_QG3_NO_OBJECT;
        std::int64_t size = 4;
        for (const DBObjectProxy* proxy : db_->getObjects().items())
            if (const auto* type = dynamic_cast<const QG3PacketType*>(proxy->getType()))
                size += type->getSize();
        if (stream->seek(size - 1, KVIO_SEEK_CUR) != KV_OK) return KV_QG3_SEEK_FAILED;
        const std::uint8_t zero = 0;
        if (stream->write(&zero, 1) != 1) return KV_QG3_WRITE_FAILED;
        reserved_ = size;
        return KV_QG3_WRITE_AGAIN;
    }
    const KVStatus status = writeTable(stream);
    reserved_ = 0;
    return status;
}

KVStatus QG3ContentsPacket::writeTable(KVIOStreamInf* stream) {
    if (!writeBE(stream, identifier, 4)) return KV_QG3_WRITE_FAILED;
    // The table of this write is what the database has put into the stream since it began.
    const std::int64_t size = table_->tell();
    if (size < 0 || size != reserved_ - 4) return KV_QG3_WRITE_FAILED;
    if (table_->seek(0, KVIO_SEEK_SET) != KV_OK) return KV_QG3_SEEK_FAILED;
    KV_RETURN_IF_FAILED(
        copyStream(stream, table_, size, tableCopy(KV_QG3_WRITE_FAILED, KV_QG3_WRITE_FAILED)));
    return table_->seek(0, KVIO_SEEK_SET) == KV_OK ? KV_OK : KV_QG3_SEEK_FAILED;
}

bool QG3ContentsPacket::isEqual(const QG3Packet& other) const {
    const auto* o = dynamic_cast<const QG3ContentsPacket*>(&other);
    return o != nullptr && other.getPacketType() == QG3_PACKET_CONTENTS &&
           identifier == o->identifier && getFlag1() == o->getFlag1();
}

} // namespace Korvel
