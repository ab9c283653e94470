#include "qg3/container/DBObject.h"

namespace Korvel {

DBObject::DBObject(const DBObjectType& type) : clone_(type.clone()), type_(clone_.get()) {}

DBObject::DBObject(const DBObjectType& type, const DBObjectType* kept)
    : clone_(kept ? nullptr : type.clone()), type_(kept ? kept : clone_.get()) {}

DBObject::~DBObject() = default;

bool DBObject::hasSameType(const DBObject& other) const {
    return type_ && other.type_ && type_->matches(*other.type_);
}

} // namespace Korvel
