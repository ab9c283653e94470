#pragma once
// A database of stored objects read from a stream: a header-by-header walk (or a table of
// headers, when the file has one) lists every object without reading any body. Each object is
// kept as a small fixed record (its packed header and where its body lies); the lazy proxy of an
// object is made when the object is first asked for, and stays with what it loads. An object
// can also be read on its own, owned by the caller, without a proxy. The list can be written
// back, untouched bodies copied byte for byte and loaded objects writing themselves. The
// concrete database supplies the header type, the object factory and the test for the table
// packet.

#include "qg3/container/DBObjectProxy.h"
#include "qg3/container/DBObjectType.h"
#include "qg3/container/QG3List.h"
#include "streams/KVIOBufferedStream.h"
#include "streams/KVIONullStream.h"
#include "streams/KVIOStreamInf.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Korvel {

class DBObject;

class DBProgressDelegate {
public:
    virtual ~DBProgressDelegate() = default;
    // fraction in [0, 1].
    virtual void reportProgress(float fraction) = 0;
};

class DBInterruptDelegate {
public:
    virtual ~DBInterruptDelegate() = default;
    // Nonzero stops the operation with that status.
    virtual KVStatus checkInterrupt() = 0;
};

// How many objects one database lists; a stream of more is refused as damaged. A record costs
// 32 bytes however small its packet (three bytes at least), so the count is held to the bytes
// the packets span: the first DB_FREE_OBJECTS are listed whatever their size, each further one
// needs DB_BYTES_PER_OBJECT more bytes of the stream read (at most a byte of record per byte of
// file), and DB_MAX_OBJECTS (32 MB of records) is the most in any case.
// A real file holds a header packet, a planeset packet and a few metadata packets per image,
// each tens of bytes at least: a file of 250,000 small images (some 750,000 packets) opens, a
// run of empty packets stops soon after the first 65,536.
inline constexpr std::size_t DB_FREE_OBJECTS = std::size_t(1) << 16;
inline constexpr std::size_t DB_BYTES_PER_OBJECT = 32;
inline constexpr std::size_t DB_MAX_OBJECTS = std::size_t(1) << 20;

class DB {
public:
    // pattern first, candidate second.
    using Predicate = bool (*)(const DBObjectType& pattern, const DBObjectType& candidate);

    // Throws KVUtilException of KV_OUT_OF_MEMORY when out of memory.
    DB();
    DB(const DB&) = delete;
    DB& operator=(const DB&) = delete;
    virtual ~DB();

    // Same count, and each pair of proxies in order is equal.
    virtual bool isEqual(const DB& other) const;
    // Every object from the stream's position to its end.
    virtual KVStatus read(KVIOStreamInf* stream);
    virtual KVStatus write(KVIOStreamInf* stream);
    // An empty header to read into; null in the base.
    virtual DBObjectType* createType() const;
    // A new empty object for a header, or null for a type without one.
    virtual DBObject* createObject(const DBObjectType& type);
    // The header of an object whose body lists the headers of the file.
    virtual bool isContentsType(const DBObjectType& type) const;
    // Whether the body of an object of this type is read front to back, looking at most at its
    // position in the stream and at how many bytes are left: readObject may then take a small
    // body in one read and serve it from memory. False in the base.
    virtual bool readsBodyInOrder(const DBObjectType& type) const;

    // length bytes from the stream's position, -1 to its end; 0 or less reads nothing. Appends one
    // proxy per object. KV_QG3_READ_FAILED when a header or a body runs past the end,
    // KV_QG3_BAD_FORMAT for a damaged table of headers or too many objects.
    KVStatus read(KVIOStreamInf* stream, std::int64_t length);

    // Appends every proxy for which the predicate (the pattern's own matches when null) holds,
    // making the proxies that do not exist yet; KV_QG3_OUT_OF_MEMORY when one cannot be made.
    KVStatus findAll(const DBObjectType& pattern, QG3List<DBObjectProxy*>& found,
                     Predicate predicate = nullptr) const;
    // The one matching proxy, or null when none or several match; KV_QG3_OUT_OF_MEMORY when it
    // cannot be made.
    KVStatus findOne(const DBObjectType& pattern, DBObjectProxy*& found,
                     Predicate predicate = nullptr) const;

    // The number of objects listed.
    std::size_t getCount() const { return entries_.size(); }
    // The header of object i unpacked into type, which must be of this database's header type.
    void getType(std::size_t i, DBObjectType& type) const;
    // The packed header of object i.
    const DBObjectKey& getKey(std::size_t i) const { return entries_[i].key; }
    // The proxy of object i, made on first use; null when out of memory.
    DBObjectProxy* getProxy(std::size_t i) const;
    // Object i read from its stream (or copied, when its proxy has loaded it), owned by the
    // caller; no proxy is made. The statuses of DBObjectProxy::getObject.
    KVStatus readObject(std::size_t i, std::unique_ptr<DBObject>& object) const;
    // The same, for a caller that holds the header of object i already unpacked (getType): no
    // header is made for the read.
    KVStatus readObject(std::size_t i, const DBObjectType& type,
                        std::unique_ptr<DBObject>& object) const;
    // Every proxy, each made when missing; throws KVUtilException of KV_OUT_OF_MEMORY when out of
    // memory. Meant for writing and inspecting small databases: a large one is walked by index.
    const QG3List<DBObjectProxy*>& getObjects() const;
    // The stream that receives a copy of every header written, or the database's own null stream
    // (opened on each request), so that databases written at once share nothing.
    KVIOStreamInf* getTableStream() const;
    void setTableStream(KVIOStreamInf* stream) { tableStream_ = stream; }
    // A window over the stream the database reads, through which the walk and every object read
    // on its own (readObject: what opening a file reads, image after image) take their bytes.
    // Proxies load from the stream itself: they are loaded one at a time, when an image is decoded,
    // where a window would read more than the packet. The window must outlive every read of the
    // database.
    void setReadAhead(KVIOBufferedStream* window) { readAhead_ = window; }
    void setProgressDelegate(DBProgressDelegate* delegate) { progress_ = delegate; }
    void setInterruptDelegate(DBInterruptDelegate* delegate) { interrupt_ = delegate; }

protected:
    // The read-ahead window when it is over the stream, else the stream.
    KVIOStreamInf* through(KVIOStreamInf* stream) const;

private:
    // One object as listed: its packed header and where its body lies.
    struct Entry {
        DBObjectKey key;
        std::int64_t start;
        std::int64_t length;
    };
    static_assert(std::is_trivially_default_constructible_v<Entry>);

    // The entries in blocks of 64 (2 KB), so that a long list grows without moving (and for a
    // while doubling) itself, and a short one costs one small block.
    class EntryList {
    public:
        std::size_t size() const { return count_; }
        bool empty() const { return count_ == 0; }
        const Entry& operator[](std::size_t i) const { return blocks_[i >> kShift][i & kMask]; }
        // Throws std::bad_alloc.
        void push_back(const Entry& entry);

    private:
        static constexpr unsigned kShift = 6;
        static constexpr std::size_t kMask = (std::size_t(1) << kShift) - 1;
        std::vector<std::unique_ptr<Entry[]>> blocks_;
        std::size_t count_ = 0;
    };

    KVStatus appendEntry(const DBObjectType& type, KVIOStreamInf* stream, std::int64_t start,
                         std::int64_t length);
    KVIOStreamInf* sourceOf(std::size_t i) const;
    KVStatus writeProxy(KVIOStreamInf* stream, DBObjectProxy& proxy);
    KVStatus rewriteProxy(KVIOStreamInf* stream, DBObjectProxy& proxy);
    void reportProgress(std::size_t done, std::size_t total) const;
    KVStatus checkInterrupt() const;

    EntryList entries_;
    // The stream of each run of entries, by the index of the run's first entry.
    std::vector<std::pair<std::size_t, KVIOStreamInf*>> sources_;
    // The proxies made so far, by entry index.
    mutable std::unordered_map<std::size_t, std::unique_ptr<DBObjectProxy>> proxies_;
    // Every proxy in entry order, as getObjects last gave them.
    mutable QG3List<DBObjectProxy*> objects_;
    DBProgressDelegate* progress_ = nullptr;
    DBInterruptDelegate* interrupt_ = nullptr;
    KVIOStreamInf* tableStream_ = nullptr;
    mutable KVIONullStream nullTable_;
    KVIOBufferedStream* readAhead_ = nullptr;
};

} // namespace Korvel
