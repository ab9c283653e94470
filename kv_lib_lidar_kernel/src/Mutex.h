#pragma once
// An unnamed, non-recursive mutex. Failures of the system calls throw Korvel::OSError.

#include <pthread.h>

namespace Korvel {

class Mutex {
public:
    Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    ~Mutex();

    void lock();
    void unlock();

private:
    pthread_mutex_t mutex_;
};

} // namespace Korvel
