#include "support/CriticalSectionLock.h"

#include <system_error>

namespace Korvel {

KVStatus CriticalSectionLock::init() {
    return initialised_.exchange(true) ? KV_CRITSEC_STATE : KV_OK;
}

KVStatus CriticalSectionLock::lock() {
    if (!initialised_.load()) return KV_CRITSEC_STATE;
    try {
        mutex_.lock();
    } catch (const std::system_error&) {
        // Too deep a recursion; a critical section would stop counting too.
        return KV_CRITSEC_STATE;
    }
    if (depth_++ == 0) owner_.store(std::this_thread::get_id());
    return KV_OK;
}

KVStatus CriticalSectionLock::unlock() {
    if (!initialised_.load()) return KV_CRITSEC_STATE;
    // Only the holder can see its own id here, so a stray unlock changes nothing.
    if (owner_.load() != std::this_thread::get_id()) return KV_CRITSEC_STATE;
    if (--depth_ == 0) owner_.store(std::thread::id());
    mutex_.unlock();
    return KV_OK;
}

} // namespace Korvel
