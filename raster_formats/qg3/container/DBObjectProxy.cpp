#include "qg3/container/DBObjectProxy.h"

#include "qg3/container/DBObject.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

DBObjectProxy::DBObjectProxy(DB* db, const DBObjectType& type) : db_(db), type_(type.clone()) {}

DBObjectProxy::~DBObjectProxy() = default;

DBObject* DBObjectProxy::getLoadedObject() const {
    return imp_ ? imp_->getLoadedObject() : nullptr;
}

bool DBObjectProxy::isEqual(const DBObjectProxy& other) const {
    const DBObject* mine = getLoadedObject();
    const DBObject* theirs = other.getLoadedObject();
    return mine != nullptr && theirs != nullptr && mine->hasSameType(*theirs);
}

KVStatus DBObjectProxy::getObject(DBObject*& object) {
    object = nullptr;
    if (!imp_) return KV_QG3_NO_OBJECT;
    if (DBObject* loaded = imp_->getLoadedObject()) {
        object = loaded;
        return KV_OK;
    }
    DBObject* made = nullptr;
    KV_RETURN_IF_FAILED(imp_->load(made));
    std::unique_ptr<DBObject> owned(made);
    KV_RETURN_IF_FAILED(
        kvGuard([&] { imp_ = std::make_unique<DBObjectProxyImpObject>(this, std::move(owned)); },
                KV_QG3_OUT_OF_MEMORY));
    object = made;
    return KV_OK;
}

} // namespace Korvel
