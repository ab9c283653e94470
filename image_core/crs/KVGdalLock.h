#pragma once
// The one process-wide lock held around every call into GDAL and libgeotiff: the image core
// takes it for each call into the coordinate-system library (callCrsLibrary), and a KVGdalLock
// takes it for its scope.

#include "support/KVStatus.h"

namespace Korvel {

class MutexLock;

class KVGdalLock {
public:
    // Waits for the lock; getStatus tells whether it was taken.
    KVGdalLock();
    ~KVGdalLock();
    KVGdalLock(const KVGdalLock&) = delete;
    KVGdalLock& operator=(const KVGdalLock&) = delete;

    // KV_OK while held, else the status of the failed wait.
    KVStatus getStatus() const { return status_; }

    // The process-wide mutex itself. The holding thread may take it again.
    static MutexLock& getMutex();

private:
    KVStatus status_;
};

} // namespace Korvel
