#include "support/MutexLock.h"

#include <system_error>

namespace Korvel {

KVStatus MutexLock::lock() {
    const std::thread::id self = std::this_thread::get_id();
    try {
        std::unique_lock<std::mutex> guard(state_);
        released_.wait(guard, [&] { return depth_ == 0 || owner_ == self; });
        if (depth_ == ~0u) return KV_MUTEX_WAIT_FAILED;
        owner_ = self;
        ++depth_;
    } catch (const std::system_error&) {
        return KV_MUTEX_WAIT_FAILED;
    }
    return KV_OK;
}

KVStatus MutexLock::unlock() {
    try {
        std::lock_guard<std::mutex> guard(state_);
        if (depth_ == 0 || owner_ != std::this_thread::get_id()) return KV_MUTEX_RELEASE_FAILED;
        if (--depth_ == 0) owner_ = std::thread::id();
    } catch (const std::system_error&) {
        return KV_MUTEX_RELEASE_FAILED;
    }
    released_.notify_one();
    return KV_OK;
}

} // namespace Korvel
