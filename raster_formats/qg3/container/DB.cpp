#include "qg3/container/DB.h"

#include "qg3/container/DBObject.h"
#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3StreamIO.h"
#include "streams/KVIOFixedMemStream.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>

namespace Korvel {

namespace {

// Bodies up to this size that are read front to back are taken in one read of the stream.
constexpr std::int64_t kSmallBody = 512;

} // namespace

DB::DB() = default;

DB::~DB() {
    // Loaded objects may still look at the database while they go (a table packet hands back the
    // table stream), so the records stay whole until every proxy is deleted.
    objects_.clear();
    auto proxies = std::move(proxies_);
    proxies.clear();
}

bool DB::isEqual(const DB& other) const {
    if (getCount() != other.getCount()) return false;
    // Only loaded objects compare equal: a pair without a proxy is unequal.
    for (std::size_t i = 0; i < getCount(); ++i) {
        const auto mine = proxies_.find(i);
        const auto theirs = other.proxies_.find(i);
        if (mine == proxies_.end() || theirs == other.proxies_.end() ||
            !mine->second->isEqual(*theirs->second))
            return false;
    }
    return true;
}

KVStatus DB::read(KVIOStreamInf* stream) {
    return read(stream, -1);
}

DBObjectType* DB::createType() const {
    return nullptr;
}

DBObject* DB::createObject(const DBObjectType& /*type*/) {
    return nullptr;
}

bool DB::readsBodyInOrder(const DBObjectType& /*type*/) const {
    return false;
}

bool DB::isContentsType(const DBObjectType& /*type*/) const {
    return false;
}

KVIOStreamInf* DB::getTableStream() const {
    if (tableStream_ != nullptr) return tableStream_;
    nullTable_.open();
    return &nullTable_;
}

void DB::EntryList::push_back(const Entry& entry) {
    if ((count_ & kMask) == 0) {
        std::unique_ptr<Entry[]> block(new Entry[kMask + 1]);
        blocks_.push_back(std::move(block));
    }
    blocks_[count_ >> kShift][count_ & kMask] = entry;
    ++count_;
}

KVStatus DB::appendEntry(const DBObjectType& type, KVIOStreamInf* stream, std::int64_t start,
                         std::int64_t length) {
    Entry entry{};
    type.pack(entry.key);
    entry.start = start;
    entry.length = length;
    return kvGuard(
        [&] {
            if (sources_.empty() || sources_.back().second != stream)
                sources_.emplace_back(entries_.size(), stream);
            entries_.push_back(entry);
        },
        KV_QG3_OUT_OF_MEMORY);
}

KVIOStreamInf* DB::sourceOf(std::size_t i) const {
    // The last run that starts at or before entry i.
    const auto run = std::upper_bound(sources_.begin(), sources_.end(), i,
                                      [](std::size_t at, const auto& r) { return at < r.first; });
    return run == sources_.begin() ? nullptr : std::prev(run)->second;
}

KVIOStreamInf* DB::through(KVIOStreamInf* stream) const {
    return readAhead_ != nullptr && readAhead_->inner() == stream ? readAhead_ : stream;
}

void DB::getType(std::size_t i, DBObjectType& type) const {
    type.unpack(entries_[i].key, entries_[i].start);
}

DBObjectProxy* DB::getProxy(std::size_t i) const {
    if (i >= entries_.size()) return nullptr;
    if (const auto found = proxies_.find(i); found != proxies_.end()) return found->second.get();
    std::unique_ptr<DBObjectType> type(createType());
    if (!type) return nullptr;
    getType(i, *type);
    DBObjectProxy* made = nullptr;
    kvGuard([&] {
        // A proxy names its database as the one that makes its objects.
        auto proxy = std::make_unique<DBObjectProxy>(const_cast<DB*>(this), *type);
        if (!proxy->getType()) return;
        proxy->setImp(std::make_unique<DBObjectProxyImpStream>(
            proxy.get(), sourceOf(i), entries_[i].start, entries_[i].length));
        made = proxies_.emplace(i, std::move(proxy)).first->second.get();
    });
    return made;
}

KVStatus DB::readObject(std::size_t i, std::unique_ptr<DBObject>& object) const {
    object.reset();
    if (i >= entries_.size()) return KV_QG3_NO_OBJECT;
    std::unique_ptr<DBObjectType> type(createType());
    if (!type) return KV_QG3_OUT_OF_MEMORY;
    getType(i, *type);
    return readObject(i, *type, object);
}

KVStatus DB::readObject(std::size_t i, const DBObjectType& type,
                        std::unique_ptr<DBObject>& object) const {
    object.reset();
    if (i >= entries_.size()) return KV_QG3_NO_OBJECT;
    if (!proxies_.empty())
        if (const auto found = proxies_.find(i); found != proxies_.end())
            if (const DBObject* loaded = found->second->getLoadedObject()) {
                object.reset(loaded->clone());
                return object ? KV_OK : KV_QG3_OUT_OF_MEMORY;
            }
    std::unique_ptr<DBObject> made(const_cast<DB*>(this)->createObject(type));
    if (!made) return KV_QG3_NO_OBJECT;
    KVIOStreamInf* source = through(sourceOf(i));
    if (source == nullptr || source->seek(entries_[i].start, KVIO_SEEK_SET) != KV_OK)
        return KV_QG3_READ_FAILED;
    const std::int64_t length = entries_[i].length;
    if (length >= 0 && length <= kSmallBody && readsBodyInOrder(type)) {
        std::uint8_t bytes[kSmallBody];
        const std::uint32_t got = source->read(bytes, static_cast<std::uint32_t>(length));
        KVIOFixedMemStream body(bytes, got, entries_[i].start);
        KV_RETURN_IF_FAILED(made->readBody(&body, length));
    } else {
        KV_RETURN_IF_FAILED(made->readBody(source, length));
    }
    object = std::move(made);
    return KV_OK;
}

const QG3List<DBObjectProxy*>& DB::getObjects() const {
    if (objects_.size() != entries_.size()) {
        objects_.clear();
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            DBObjectProxy* proxy = getProxy(i);
            if (proxy == nullptr) {
                objects_.clear();
                throw KVUtilException(KV_OUT_OF_MEMORY);
            }
            objects_.append(proxy);
        }
    }
    return objects_;
}

// The walk is sequential, header to header, until a table packet is met; its body then lists the
// headers of the file's packets, and the packets it lists beyond itself are taken from the table
// without touching their bytes. Bytes after the last listed packet are walked sequentially again.
// The entries name the source; the walk reads through its read-ahead window, when it has one.
KVStatus DB::read(KVIOStreamInf* source, std::int64_t length) {
    KVIOStreamInf* const stream = through(source);
    std::int64_t p0 = -1;
    if (length == -1) {
        std::int64_t streamEnd = -1;
        if (getStreamSize(stream, streamEnd, &p0) != KV_OK) return KV_QG3_READ_FAILED;
        length = streamEnd - p0;
    } else if ((p0 = stream->tell()) < 0) {
        return KV_QG3_READ_FAILED;
    }
    if (length < 1) return KV_OK;
    if (length > std::numeric_limits<std::int64_t>::max() - p0) return KV_QG3_READ_FAILED;
    const std::int64_t end = p0 + length;

    bool tableMode = false;
    std::int64_t remaining = length;
    std::int64_t running = 0;  // table mode: start of the next listed packet
    std::int64_t tableEnd = 0; // table mode: end of the table packet's body
    // One header, read over for each packet: a read sets every field it packs.
    std::unique_ptr<DBObjectType> type(createType());
    if (!type) return KV_QG3_OUT_OF_MEMORY;

    while (remaining >= 1) {
        const std::int64_t before = stream->tell();
        if (before < 0) return qg3io::lastErrorOr(stream, KV_QG3_READ_FAILED);
        // The next packet starts at the walk's position, or at the running offset of the table.
        const auto spanned = static_cast<std::uint64_t>(
            std::max<std::int64_t>((tableMode ? running : before) - p0, 0));
        const std::uint64_t allowed = std::min<std::uint64_t>(
            DB_MAX_OBJECTS, DB_FREE_OBJECTS + spanned / DB_BYTES_PER_OBJECT);
        if (entries_.size() >= allowed) return KV_QG3_BAD_FORMAT;
        std::uint64_t bodyLength = 0;
        KV_RETURN_IF_FAILED(type->read(stream, bodyLength));
        const std::int64_t after = stream->tell();
        if (after < 0) return qg3io::lastErrorOr(stream, KV_QG3_READ_FAILED);
        // A header may not run past the bytes it belongs to.
        if (tableMode && after > tableEnd) return KV_QG3_BAD_FORMAT;
        if (!tableMode && after > end) return KV_QG3_READ_FAILED;

        if (!tableMode) {
            std::int64_t body = end - after;
            if (bodyLength != DB_LENGTH_TO_END) {
                if (bodyLength > static_cast<std::uint64_t>(body)) return KV_QG3_READ_FAILED;
                body = static_cast<std::int64_t>(bodyLength);
            }
            KV_RETURN_IF_FAILED(appendEntry(*type, source, after, body));
            if (isContentsType(*type)) {
                // Its body: a 4-byte identifier, then the table.
                if (body < 4) return KV_QG3_READ_FAILED;
                KV_RETURN_IF_FAILED(stream->seek(4, KVIO_SEEK_CUR));
                tableMode = true;
                running = p0;
                tableEnd = after + body;
                remaining = body - 4;
            } else {
                KV_RETURN_IF_FAILED(stream->seek(after + body, KVIO_SEEK_SET));
                remaining = end - (after + body);
            }
        } else {
            // An entry of the table: the header of the packet at the running offset.
            const std::int64_t start = running + (after - before);
            if (start > end) return KV_QG3_READ_FAILED;
            std::int64_t body = end - start;
            if (bodyLength != DB_LENGTH_TO_END) {
                if (bodyLength > static_cast<std::uint64_t>(body)) return KV_QG3_READ_FAILED;
                body = static_cast<std::int64_t>(bodyLength);
            }
            // Packets up to the table packet were walked already; a listed packet inside the
            // table packet's own body means the table is damaged.
            if (start > after) {
                if (start < tableEnd) return KV_QG3_BAD_FORMAT;
                KV_RETURN_IF_FAILED(appendEntry(*type, source, start, body));
            }
            running = start + body;
            remaining = tableEnd - after;
        }

        if (tableMode && remaining == 0) {
            tableMode = false;
            if (running < end) {
                // Resuming before the table's end would walk into the table again.
                if (running < tableEnd) return KV_QG3_BAD_FORMAT;
                KV_RETURN_IF_FAILED(stream->seek(running, KVIO_SEEK_SET));
                remaining = end - running;
            }
        }
    }
    return KV_OK;
}

KVStatus DB::findAll(const DBObjectType& pattern, QG3List<DBObjectProxy*>& found,
                     Predicate predicate) const {
    std::unique_ptr<DBObjectType> type(createType());
    if (!type) return entries_.empty() ? KV_OK : KV_QG3_OUT_OF_MEMORY;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        getType(i, *type);
        if (!(predicate ? predicate(pattern, *type) : pattern.matches(*type))) continue;
        DBObjectProxy* proxy = getProxy(i);
        if (proxy == nullptr) return KV_QG3_OUT_OF_MEMORY;
        found.append(proxy);
    }
    return KV_OK;
}

KVStatus DB::findOne(const DBObjectType& pattern, DBObjectProxy*& found,
                     Predicate predicate) const {
    found = nullptr;
    std::unique_ptr<DBObjectType> type(createType());
    if (!type) return entries_.empty() ? KV_OK : KV_QG3_OUT_OF_MEMORY;
    std::size_t match = 0;
    std::size_t matches = 0;
    for (std::size_t i = 0; i < entries_.size() && matches < 2; ++i) {
        getType(i, *type);
        if (predicate ? predicate(pattern, *type) : pattern.matches(*type)) {
            match = i;
            ++matches;
        }
    }
    if (matches != 1) return KV_OK;
    found = getProxy(match);
    return found != nullptr ? KV_OK : KV_QG3_OUT_OF_MEMORY;
}

void DB::reportProgress(std::size_t done, std::size_t total) const {
    if (progress_ != nullptr)
        progress_->reportProgress(total == 0 ? 1.0f : float(done) / float(total));
}

KVStatus DB::checkInterrupt() const {
    return interrupt_ != nullptr ? interrupt_->checkInterrupt() : KV_OK;
}

KVStatus DB::write(KVIOStreamInf* stream) {
    QG3List<DBObjectProxy*> deferred;
    // The table stream collects the headers of this write from its start.
    if (tableStream_ != nullptr && tableStream_->seek(0, KVIO_SEEK_SET) != KV_OK)
        return KV_QG3_SEEK_FAILED;

    const QG3List<DBObjectProxy*>* objects = nullptr;
    KV_RETURN_IF_FAILED(kvGuardAll([&] { objects = &getObjects(); }, KV_QG3_OUT_OF_MEMORY));
    const std::size_t total = entries_.size();
    std::size_t done = 0;
    for (QG3ListConstIterator<DBObjectProxy*> it(*objects); !it.atEnd(); it.next()) {
        reportProgress(done, total);
        const KVStatus status = writeProxy(stream, *it.get());
        if (status == KV_QG3_WRITE_AGAIN) {
            deferred.append(it.get());
        } else {
            ++done;
            KV_RETURN_IF_FAILED(status);
        }
        KV_RETURN_IF_FAILED(checkInterrupt());
    }
    QG3ListIterator<DBObjectProxy*> first(deferred);
    for (QG3ListConstIterator<DBObjectProxy*> it(first); !it.atEnd(); it.next()) {
        reportProgress(done, total);
        KV_RETURN_IF_FAILED(rewriteProxy(stream, *it.get()));
        ++done;
        KV_RETURN_IF_FAILED(checkInterrupt());
    }
    reportProgress(1, 1);
    return KV_OK;
}

KVStatus DB::writeProxy(KVIOStreamInf* stream, DBObjectProxy& proxy) {
    const std::int64_t headerPos = stream->tell();
    if (headerPos < 0) return KV_QG3_WRITE_FAILED;
    const DBObjectType* type = proxy.getType();
    if (type == nullptr || proxy.getImp() == nullptr) return KV_QG3_NO_OBJECT;
    // A table of headers is always rebuilt: a byte copy would describe the old layout.
    if (isContentsType(*type) && proxy.getLoadedObject() == nullptr) {
        DBObject* object = nullptr;
        KV_RETURN_IF_FAILED(proxy.getObject(object));
    }
    DBObjectProxyImp* imp = proxy.getImp();

    std::int64_t lengthPos = 0;
    KV_RETURN_IF_FAILED(type->write(stream, lengthPos));
    const std::int64_t bodyPos = stream->tell();
    if (bodyPos < 0) return KV_QG3_WRITE_FAILED;
    imp->setDeferredPosition(0);
    const KVStatus status = imp->writeBody(stream, headerPos);
    const bool again = status == KV_QG3_WRITE_AGAIN;
    if (again)
        imp->setDeferredPosition(bodyPos);
    else if (status != KV_OK)
        return status;
    const std::int64_t bodyEnd = stream->tell();
    if (bodyEnd < 0) return KV_QG3_WRITE_FAILED;
    const auto length = static_cast<std::uint64_t>(bodyEnd - bodyPos);
    KV_RETURN_IF_FAILED(type->patchLength(stream, lengthPos, length));

    KVIOStreamInf* table = getTableStream();
    std::int64_t tableLengthPos = 0;
    KV_RETURN_IF_FAILED(type->write(table, tableLengthPos));
    KV_RETURN_IF_FAILED(type->patchLength(table, tableLengthPos, length));
    return again ? KV_QG3_WRITE_AGAIN : KV_OK;
}

KVStatus DB::rewriteProxy(KVIOStreamInf* stream, DBObjectProxy& proxy) {
    DBObjectProxyImp* imp = proxy.getImp();
    if (imp == nullptr || imp->getDeferredPosition() == 0) return KV_QG3_NO_OBJECT;
    const std::int64_t here = stream->tell();
    if (here < 0) return KV_QG3_SEEK_FAILED;
    if (stream->seek(imp->getDeferredPosition(), KVIO_SEEK_SET) != KV_OK) return KV_QG3_SEEK_FAILED;
    KVStatus status = imp->writeBody(stream, 0);
    if (status == KV_QG3_WRITE_AGAIN) status = KV_QG3_WRITE_FAILED;
    if (stream->seek(here, KVIO_SEEK_SET) != KV_OK && status == KV_OK) status = KV_QG3_SEEK_FAILED;
    return status;
}

} // namespace Korvel
