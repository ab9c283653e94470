#pragma once
// A stored object of the database, holding its own copy of its header type.

#include "qg3/container/DBObjectType.h"

#include <memory>

namespace Korvel {

class DBObject {
public:
    // Keeps a clone of type; the object has no type when the clone could not be made.
    explicit DBObject(const DBObjectType& type);
    DBObject(const DBObject&) = delete;
    DBObject& operator=(const DBObject&) = delete;
    virtual ~DBObject();

    // This object's type matches the other's.
    virtual bool hasSameType(const DBObject& other) const;
    // Null when out of memory.
    virtual DBObject* clone() const = 0;
    // length -1: the body runs to the end of the stream.
    virtual KVStatus readBody(KVIOStreamInf* stream, std::int64_t length) = 0;
    // KV_QG3_WRITE_AGAIN asks to be written again once every other object is written.
    virtual KVStatus writeBody(KVIOStreamInf* stream, std::int64_t headerPos) = 0;

    const DBObjectType* getObjectType() const { return type_; }

protected:
    // For an object that keeps its own copy of the type: kept points at that copy (which may be
    // made after this constructor has run), or is null to keep a clone as above.
    DBObject(const DBObjectType& type, const DBObjectType* kept);

private:
    std::unique_ptr<DBObjectType> clone_;
    const DBObjectType* type_;
};

} // namespace Korvel
