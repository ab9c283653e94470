#include "DBObject.h"

namespace Korvel {

DBObject::DBObject(const DBObjectType& type) : type_(type.clone()) {}

DBObject::~DBObject() = default;

bool DBObject::hasSameType(const DBObject& other) const {
    return type_ && other.type_ && type_->matches(*other.type_);
}

} // namespace Korvel
