#pragma once
// The one process-wide lock held around every call into GDAL and libgeotiff. A KVGdalLock takes
// it for its scope; while it is held, GDAL's error messages go to a quiet handler instead of
// stderr, and failures reach callers only as statuses.

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
