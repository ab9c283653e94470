#include "XAlloc.h"

#include "OSError.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace Korvel {

void* XALLOC(std::size_t size) {
    if (size == 0) size = 1;
    // Sizes beyond what any object can span are refused before malloc sees them.
    if (size > static_cast<std::size_t>(PTRDIFF_MAX))
        throw OSError("Base", "XALLOC", __LINE__, ENOMEM);
    errno = 0;
    void* block = std::malloc(size);
    if (block == nullptr) throw OSError("Base", "XALLOC", __LINE__, errno != 0 ? errno : ENOMEM);
    return block;
}

void XFREE(void* block) {
    std::free(block);
}

char* XSTRDUP(const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t length = std::strlen(text) + 1;
    char* copy = static_cast<char*>(XALLOC(length));
    std::memcpy(copy, text, length);
    return copy;
}

} // namespace Korvel
