#pragma once
// The one place where the handler turns an exception into an HRESULT: whatever the decoding
// library or the handler's own code throws inside a COM call ends there, so that no exception
// reaches the shell.

#include "WinTypes.h"

#include <utility>

// body() as the call's result; onException when it throws anything.
template <class Body> HRESULT guardComCall(Body&& body, HRESULT onException = E_FAIL) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return onException;
    }
}
