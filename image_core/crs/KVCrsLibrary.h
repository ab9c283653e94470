#pragma once
// The coordinate-system library (libquarn-crs.so) as the image core sees it: found in the folder
// of the object that holds the image core (the handler module, or a program that links the image
// core), loaded by the first derivation and kept for the life of the process.

#include "crs/KVCrsEntryPoints.h"
#include "crs/KVGdalLock.h"
#include "support/KVStatus.h"

#include <string>
#include <utility>

namespace Korvel {

class KVCrsLibrary {
public:
    // Loads the library at path. When it cannot be loaded, or is not the library of this build,
    // getEntryPoints is null and getReason says why.
    explicit KVCrsLibrary(const std::string& path);
    KVCrsLibrary(const KVCrsLibrary&) = delete;
    KVCrsLibrary& operator=(const KVCrsLibrary&) = delete;

    const KVCrsEntryPoints* getEntryPoints() const { return entryPoints_; }
    const std::string& getReason() const { return reason_; }

    // The library beside this code, loaded by the first call. When it cannot be loaded, the
    // reason is written once to stderr, and coordinate systems are not derived.
    static const KVCrsLibrary& get();
    // The full path of the shared object or program that holds this code; empty when unknown.
    static std::string pathOfThisCode();

private:
    const KVCrsEntryPoints* entryPoints_ = nullptr;
    std::string reason_;
};

// Runs call(entry points) under the GDAL lock. KV_NOT_AVAILABLE when the library is not loaded.
template <typename Call> KVStatus callCrsLibrary(Call&& call) {
    const KVCrsEntryPoints* entryPoints = KVCrsLibrary::get().getEntryPoints();
    if (entryPoints == nullptr) return KV_NOT_AVAILABLE;
    const KVGdalLock lock;
    if (lock.getStatus() != KV_OK) return lock.getStatus();
    return std::forward<Call>(call)(*entryPoints);
}

} // namespace Korvel
