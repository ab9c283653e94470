#pragma once
// An error of the operating system: the code is the system's error number and the message its
// own text for that number.

#include "Error.h"

namespace Korvel {

class OSError : public Error {
public:
    // Takes the error number from errno at construction.
    OSError(const char* path, const char* function, std::uint32_t line);
    // For calls that return their error number instead of setting errno.
    OSError(const char* path, const char* function, std::uint32_t line, int errorNumber);
};

} // namespace Korvel
