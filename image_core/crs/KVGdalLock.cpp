#include "crs/KVGdalLock.h"

#include "support/MutexLock.h"

#include <cpl_error.h>

namespace Korvel {

MutexLock& KVGdalLock::getMutex() {
    static MutexLock mutex;
    return mutex;
}

KVGdalLock::KVGdalLock() : status_(getMutex().lock()) {
    // GDAL keeps its error handlers per thread, so the quiet one is pushed and popped by the
    // holder alone.
    if (status_ == KV_OK) CPLPushErrorHandler(CPLQuietErrorHandler);
}

KVGdalLock::~KVGdalLock() {
    if (status_ != KV_OK) return;
    CPLPopErrorHandler();
    getMutex().unlock();
}

} // namespace Korvel
