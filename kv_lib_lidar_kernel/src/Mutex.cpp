#include "Mutex.h"

#include "OSError.h"

namespace Korvel {

Mutex::Mutex() {
    if (const int result = pthread_mutex_init(&mutex_, nullptr))
        throw OSError("Mutex", "Korvel::Mutex::Mutex", __LINE__, result);
}

Mutex::~Mutex() {
    pthread_mutex_destroy(&mutex_);
}

void Mutex::lock() {
    if (const int result = pthread_mutex_lock(&mutex_))
        throw OSError("Mutex", "Korvel::Mutex::lock", __LINE__, result);
}

void Mutex::unlock() {
    if (const int result = pthread_mutex_unlock(&mutex_))
        throw OSError("Mutex", "Korvel::Mutex::unlock", __LINE__, result);
}

} // namespace Korvel
