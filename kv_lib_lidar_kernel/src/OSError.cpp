#include "OSError.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace Korvel {

namespace {

// strerror_r comes in two forms; each overload picks the text out of its own.
[[maybe_unused]] const char* messageOf(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* messageOf(const char* result, const char*) {
    return result;
}

} // namespace

OSError::OSError(const char* path, const char* function, std::uint32_t line)
    : OSError(path, function, line, errno) {}

OSError::OSError(const char* path, const char* function, std::uint32_t line, int errorNumber)
    : Error(path, function, line, static_cast<std::uint32_t>(errorNumber)) {
    char buffer[MessageCapacity];
    buffer[0] = '\0';
    const char* text = messageOf(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0') {
        appendMessage("unknown error %d", errorNumber);
        return;
    }
    // The text without trailing white space.
    std::size_t length = std::strlen(text);
    while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1])))
        --length;
    appendMessage("%.*s", static_cast<int>(length), text);
}

} // namespace Korvel
