#pragma once
// The one way a status travels up on the raster side: KV_RETURN_IF_FAILED passes a nonzero status
// straight to the caller, and kvGuard turns what a body throws (out of memory, a KVUtilException)
// into the status the caller returns, so no exception crosses a status-returning interface.

#include "support/KVStatus.h"
#include "support/KVUtilException.h"

#include <new>
#include <utility>

// Returns the status of expr from the enclosing function when it is not KV_OK.
#define KV_RETURN_IF_FAILED(expr)                                                                  \
    do {                                                                                           \
        if (const ::Korvel::KVStatus kvStatus_ = (expr); kvStatus_ != ::Korvel::KV_OK)             \
            return kvStatus_;                                                                      \
    } while (false)

namespace Korvel {

// Runs body (returning KVStatus, or void for success) and gives its status; std::bad_alloc
// becomes outOfMemory (8 in the image core, 2012 in the container and plane code), a
// KVUtilException its own status.
template <typename Body> KVStatus kvGuard(Body&& body, KVStatus outOfMemory = KV_OUT_OF_MEMORY) {
    try {
        if constexpr (std::is_void_v<decltype(std::forward<Body>(body)())>) {
            std::forward<Body>(body)();
            return KV_OK;
        } else {
            return std::forward<Body>(body)();
        }
    } catch (const std::bad_alloc&) {
        return outOfMemory;
    } catch (const KVUtilException& e) {
        return e.getStatus();
    }
}

} // namespace Korvel
