#pragma once
// A critical section that must be initialised before use: re-entrant for the thread that holds
// it, as a Win32 critical section is.

#include "support/KVStatus.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace Korvel {

class CriticalSectionLock {
public:
    CriticalSectionLock() = default;
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

    // KV_CRITSEC_STATE when already initialised.
    KVStatus init();
    // KV_CRITSEC_STATE when not initialised.
    KVStatus lock();
    // KV_CRITSEC_STATE when not initialised, or when the calling thread does not hold the lock.
    KVStatus unlock();

private:
    std::atomic<bool> initialised_{false};
    std::recursive_mutex mutex_;
    // The holding thread, and how often it entered; depth_ is touched only by the holder.
    std::atomic<std::thread::id> owner_{};
    unsigned depth_ = 0;
};

} // namespace Korvel
