#include "crs/KVGdalLock.h"

#include "support/MutexLock.h"

namespace Korvel {

MutexLock& KVGdalLock::getMutex() {
    static MutexLock mutex;
    return mutex;
}

KVGdalLock::KVGdalLock() : status_(getMutex().lock()) {}

KVGdalLock::~KVGdalLock() {
    if (status_ == KV_OK) getMutex().unlock();
}

} // namespace Korvel
