#pragma once
// Where a proxy's object is: still in the stream it was read from (DBObjectProxyImpStream), or
// loaded in memory (DBObjectProxyImpObject). Either can write the object's body.

#include "streams/KVIOStreamInf.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class DBObject;
class DBObjectProxy;

class DBObjectProxyImp {
public:
    explicit DBObjectProxyImp(DBObjectProxy* owner) : owner_(owner) {}
    DBObjectProxyImp(const DBObjectProxyImp&) = delete;
    DBObjectProxyImp& operator=(const DBObjectProxyImp&) = delete;
    virtual ~DBObjectProxyImp() = default;

    // A copy for another proxy; null when out of memory.
    virtual DBObjectProxyImp* clone(DBObjectProxy* newOwner) const = 0;
    // A new object, owned by the caller; a loaded implementation has nothing to load.
    virtual KVStatus load(DBObject*& object) = 0;
    virtual DBObject* getLoadedObject() const = 0;
    virtual KVStatus writeBody(KVIOStreamInf* stream, std::int64_t headerPos) = 0;

    // Where a body that asked to be written again was first written; 0 for none.
    std::int64_t getDeferredPosition() const { return deferred_; }
    void setDeferredPosition(std::int64_t position) { deferred_ = position; }

protected:
    DBObjectProxy* owner_;

private:
    std::int64_t deferred_ = 0;
};

class DBObjectProxyImpStream : public DBObjectProxyImp {
public:
    // The body lies at [start, start + length) of source, which must outlive the proxy; length -1
    // runs to the end of the stream.
    DBObjectProxyImpStream(DBObjectProxy* owner, KVIOStreamInf* source, std::int64_t start,
                           std::int64_t length)
        : DBObjectProxyImp(owner), source_(source), start_(start), length_(length) {}

    DBObjectProxyImp* clone(DBObjectProxy* newOwner) const override;
    // Builds the object for the proxy's type and reads its body: KV_QG3_NO_OBJECT when no object
    // fits the type, KV_QG3_READ_FAILED when the body cannot be reached.
    KVStatus load(DBObject*& object) override;
    DBObject* getLoadedObject() const override { return nullptr; }
    // Copies the body byte for byte.
    KVStatus writeBody(KVIOStreamInf* stream, std::int64_t headerPos) override;

    std::int64_t getStart() const { return start_; }

private:
    KVStatus copyBody(KVIOStreamInf* stream);

    KVIOStreamInf* source_;
    std::int64_t start_;
    std::int64_t length_;
};

class DBObjectProxyImpObject : public DBObjectProxyImp {
public:
    DBObjectProxyImpObject(DBObjectProxy* owner, std::unique_ptr<DBObject> object);
    ~DBObjectProxyImpObject() override;

    DBObjectProxyImp* clone(DBObjectProxy* newOwner) const override;
    KVStatus load(DBObject*& object) override;
    DBObject* getLoadedObject() const override { return object_.get(); }
    KVStatus writeBody(KVIOStreamInf* stream, std::int64_t headerPos) override;

private:
    std::unique_ptr<DBObject> object_;
};

} // namespace Korvel
