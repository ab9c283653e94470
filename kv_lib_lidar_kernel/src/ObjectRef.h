#pragma once
// The release holder of the kernel's reference-counted objects: owns one reference to an Object
// and releases it (never deletes it) when it goes out of scope or is reset.

#include "Object.h"

#include <memory>

namespace Korvel {

struct ObjectReleaser {
    void operator()(Object* object) const {
        if (object != nullptr) object->release();
    }
};

template <class T> using ObjectRef = std::unique_ptr<T, ObjectReleaser>;

} // namespace Korvel
