#pragma once
// A database of stored objects read from a stream: a header-by-header walk (or a table of
// headers, when the file has one) lists every object as a lazy proxy without reading any body.
// The list can be written back, untouched bodies copied byte for byte and loaded objects writing
// themselves. The concrete database supplies the header type, the object factory and the test
// for the table packet.

#include "DBObjectProxy.h"
#include "DBObjectType.h"
#include "KVIOStreamInf.h"
#include "QG3List.h"

#include <cstddef>
#include <cstdint>

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

// How many objects one database lists; a stream of more is refused as damaged. A proxy costs
// about 250 bytes however small its packet (three bytes at least), so the count must be held to
// the bytes the packets span: the first DB_FREE_OBJECTS (some 16 MB of proxies) are listed
// whatever their size, each further one needs DB_BYTES_PER_OBJECT more bytes of the stream read
// (at most some 8 bytes of proxy per byte of file), and DB_MAX_OBJECTS is the most in any case.
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

    // Throws KVUtilException 8 when out of memory.
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

    // length bytes from the stream's position, -1 to its end; 0 or less reads nothing. Appends one
    // proxy per object. 2001 when a header or a body runs past the end, 2006 for a damaged table
    // of headers or too many objects.
    KVStatus read(KVIOStreamInf* stream, std::int64_t length);

    // Appends every proxy for which the predicate (the pattern's own matches when null) holds.
    KVStatus findAll(const DBObjectType& pattern, QG3List<DBObjectProxy*>& found,
                     Predicate predicate = nullptr) const;
    // The one matching proxy, or null when none or several match; always 0.
    KVStatus findOne(const DBObjectType& pattern, DBObjectProxy*& found,
                     Predicate predicate = nullptr) const;

    const QG3List<DBObjectProxy*>& getObjects() const { return objects_; }
    // The stream that receives a copy of every header written, or the shared null stream.
    KVIOStreamInf* getTableStream() const;
    void setTableStream(KVIOStreamInf* stream) { tableStream_ = stream; }
    void setProgressDelegate(DBProgressDelegate* delegate) { progress_ = delegate; }
    void setInterruptDelegate(DBInterruptDelegate* delegate) { interrupt_ = delegate; }

private:
    KVStatus appendProxy(const DBObjectType& type, KVIOStreamInf* stream, std::int64_t start,
                         std::int64_t length);
    KVStatus writeProxy(KVIOStreamInf* stream, DBObjectProxy& proxy);
    KVStatus rewriteProxy(KVIOStreamInf* stream, DBObjectProxy& proxy);
    void reportProgress(std::size_t done, std::size_t total) const;
    KVStatus checkInterrupt() const;

    QG3List<DBObjectProxy*> objects_;
    DBProgressDelegate* progress_ = nullptr;
    DBInterruptDelegate* interrupt_ = nullptr;
    KVIOStreamInf* tableStream_ = nullptr;
};

} // namespace Korvel
