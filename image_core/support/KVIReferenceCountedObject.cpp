#include "support/KVIReferenceCountedObject.h"

#include "support/KVAtomic.h"

namespace Korvel {

KVIReferenceCountedObject::~KVIReferenceCountedObject() = default;

std::uint32_t KVIReferenceCountedObject::retain() {
    return atomicIncrement(&referenceCount_);
}

std::uint32_t KVIReferenceCountedObject::release() {
    const std::uint32_t count = atomicDecrement(&referenceCount_);
    if (count == 0) delete this;
    return count;
}

} // namespace Korvel
