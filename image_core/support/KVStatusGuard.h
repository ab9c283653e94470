#pragma once
// The one way a status travels up on the raster side: KV_RETURN_IF_FAILED passes a nonzero status
// straight to the caller, and kvGuard turns what a body throws (out of memory, a KVUtilException)
// into the status the caller returns, so no exception crosses a status-returning interface.
// Code that reports by throwing (constructors, copies, the working lists) raises out of memory as
// a KVUtilException through kvThrowOutOfMemory.

#include "support/KVStatus.h"
#include "support/KVUtilException.h"

#include <new>
#include <type_traits>
#include <utility>

// Returns the status of expr from the enclosing function when it is not KV_OK.
#define KV_RETURN_IF_FAILED(expr)                                                                  \
    do {                                                                                           \
        if (const ::Korvel::KVStatus kvStatus_ = (expr); kvStatus_ != ::Korvel::KV_OK)             \
            return kvStatus_;                                                                      \
    } while (false)

namespace Korvel {

namespace detail {

// Runs body (returning KVStatus, or void for success): std::bad_alloc becomes outOfMemory, a
// KVUtilException its own status or, with anyThrown set, anyThrown.
template <typename Body>
KVStatus runGuarded(Body&& body, KVStatus outOfMemory, KVStatus anyThrown) {
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
        return anyThrown != KV_OK ? anyThrown : e.getStatus();
    }
}

} // namespace detail

// Runs body (returning KVStatus, or void for success) and gives its status; std::bad_alloc
// becomes outOfMemory (KV_OUT_OF_MEMORY in the image core, KV_QG3_OUT_OF_MEMORY in the
// container and plane code), a KVUtilException its own status.
template <typename Body> KVStatus kvGuard(Body&& body, KVStatus outOfMemory = KV_OUT_OF_MEMORY) {
    return detail::runGuarded(std::forward<Body>(body), outOfMemory, KV_OK);
}

// The same for a caller that reports one status for anything thrown beneath it: std::bad_alloc
// and every KVUtilException, whatever its status, become failure.
template <typename Body> KVStatus kvGuardAll(Body&& body, KVStatus failure) {
    return detail::runGuarded(std::forward<Body>(body), failure, failure);
}

// Runs body and gives what it returns; std::bad_alloc leaves it as a KVUtilException of
// outOfMemory, the way constructors and deep code report running out of memory.
template <typename Body>
decltype(auto) kvThrowOutOfMemory(Body&& body, KVStatus outOfMemory = KV_OUT_OF_MEMORY) {
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        throw KVUtilException(outOfMemory);
    }
}

} // namespace Korvel
