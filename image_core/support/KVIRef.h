#pragma once
// The release holder of the image model: owns one reference to a reference-counted object and
// releases it (never deletes it) when it goes out of scope or is reset.

#include "support/KVIReferenceCountedObject.h"

#include <memory>

namespace Korvel {

struct KVIReleaser {
    void operator()(KVIReferenceCountedObject* object) const {
        if (object != nullptr) object->release();
    }
};

template <class T> using KVIRef = std::unique_ptr<T, KVIReleaser>;

// Takes a new reference to object (retain) and holds it.
template <class T> KVIRef<T> kviRetained(T* object) {
    if (object != nullptr) object->retain();
    return KVIRef<T>(object);
}

} // namespace Korvel
