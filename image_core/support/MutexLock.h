#pragma once
// An unnamed mutex with the rules of a Win32 mutex: the holding thread may take it again, and
// only the holder may release it.

#include "support/KVStatus.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace Korvel {

class MutexLock {
public:
    MutexLock() = default;
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    // Waits without time-out; KV_MUTEX_WAIT_FAILED when the wait itself fails.
    KVStatus lock();
    // KV_MUTEX_RELEASE_FAILED when the calling thread does not hold the mutex.
    KVStatus unlock();

private:
    std::mutex state_;
    std::condition_variable released_;
    std::thread::id owner_;
    unsigned depth_ = 0;
};

} // namespace Korvel
