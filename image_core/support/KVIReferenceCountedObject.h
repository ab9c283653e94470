#pragma once
// The root of every shared object of the image model: a reference count that starts at 1. Objects
// are released, never deleted; the last release deletes the object.

#include <cstdint>

namespace Korvel {

class KVIReferenceCountedObject {
public:
    KVIReferenceCountedObject() = default;
    KVIReferenceCountedObject(const KVIReferenceCountedObject&) = delete;
    KVIReferenceCountedObject& operator=(const KVIReferenceCountedObject&) = delete;

    // Both return the new count. The release that takes the count to 0 deletes the object; a
    // release past 0 wraps and deletes nothing.
    virtual std::uint32_t retain();
    virtual std::uint32_t release();

protected:
    virtual ~KVIReferenceCountedObject();

private:
    std::uint32_t referenceCount_ = 1;
};

} // namespace Korvel
