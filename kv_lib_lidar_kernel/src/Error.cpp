#include "Error.h"

#include <cstdio>
#include <cstring>

namespace Korvel {

namespace {

// The file name without its directories; a path without separators is a file name already.
const char* baseName(const char* path) {
    if (path == nullptr) return nullptr;
    if (const char* slash = std::strrchr(path, '/')) return slash + 1;
    if (const char* backslash = std::strrchr(path, '\\')) return backslash + 1;
    return path;
}

} // namespace

Error::Error(const char* path, const char* function, std::uint32_t line, std::uint32_t code)
    : file_(baseName(path)), function_(function), line_(line), code_(code) {
    message_[0] = '\0';
}

Error Error::make(const char* path, const char* function, std::uint32_t line, std::uint32_t code,
                  const char* format, ...) {
    Error error(path, function, line, code);
    std::va_list args;
    va_start(args, format);
    error.appendMessageV(format, args);
    va_end(args);
    return error;
}

void Error::appendMessage(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    appendMessageV(format, args);
    va_end(args);
}

void Error::appendMessageV(const char* format, std::va_list args) {
    const std::size_t used = std::strlen(message_);
    if (used + 1 >= MessageCapacity) return;
    // vsnprintf cuts the text and always terminates it within the space left.
    std::vsnprintf(message_ + used, MessageCapacity - used, format, args);
}

} // namespace Korvel
