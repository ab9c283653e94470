#pragma once
// The reference-counted root of the kernel's objects. An object starts with one reference and is
// destroyed by the release that drops the last one; it is never deleted directly.

#include "XAlloc.h"

#include <atomic>
#include <cstdint>

namespace Korvel {

class Object {
public:
    KORVEL_XALLOC_OPERATORS

    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    void retain();
    void release();
    std::uint32_t getReferenceCount() const { return refCount_.load(); }

protected:
    virtual ~Object();

private:
    std::atomic<std::uint32_t> refCount_{1};
};

} // namespace Korvel
