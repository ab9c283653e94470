#pragma once
// The lazy handle of one stored object: it knows the object's type from the header and reads
// the body only when the object is first asked for. Once loaded, the object stays.

#include "qg3/container/DBObjectProxyImp.h"
#include "qg3/container/DBObjectType.h"

#include <memory>

namespace Korvel {

class DB;
class DBObject;

class DBObjectProxy {
public:
    // Keeps a clone of type (null when it could not be made); the database sets the
    // implementation right after.
    DBObjectProxy(DB* db, const DBObjectType& type);
    DBObjectProxy(const DBObjectProxy&) = delete;
    DBObjectProxy& operator=(const DBObjectProxy&) = delete;
    virtual ~DBObjectProxy();

    // Both objects are loaded and of the same type.
    virtual bool isEqual(const DBObjectProxy& other) const;
    // Loads the object on first use: KV_QG3_NO_OBJECT when no object fits the type,
    // KV_QG3_OUT_OF_MEMORY when out of memory, or the body's read status.
    virtual KVStatus getObject(DBObject*& object);

    DB* getDB() const { return db_; }
    const DBObjectType* getType() const { return type_.get(); }
    DBObjectProxyImp* getImp() const { return imp_.get(); }
    void setImp(std::unique_ptr<DBObjectProxyImp> imp) { imp_ = std::move(imp); }
    // Null until the object has been loaded.
    DBObject* getLoadedObject() const;

private:
    DB* db_;
    std::unique_ptr<DBObjectType> type_;
    std::unique_ptr<DBObjectProxyImp> imp_;
};

} // namespace Korvel
