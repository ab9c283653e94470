#pragma once
// The kernel's allocation functions. XALLOC never returns null: a failed allocation throws
// Korvel::OSError, so kernel code needs no null checks after allocating.

#include <cstddef>

namespace Korvel {

// A block of at least size bytes (size 0 gives a 1-byte block).
void* XALLOC(std::size_t size);
// Frees a block from XALLOC; null is allowed.
void XFREE(void* block);
// Null for null; else an XALLOC copy of the text with its terminator.
char* XSTRDUP(const char* text);

} // namespace Korvel

// Class-level operators that take kernel objects created with new from XALLOC, so that their
// allocation failures throw the kernel's error as well.
#define KORVEL_XALLOC_OPERATORS                                                                    \
    static void* operator new(std::size_t size) {                                                  \
        return ::Korvel::XALLOC(size);                                                             \
    }                                                                                              \
    static void* operator new[](std::size_t size) {                                                \
        return ::Korvel::XALLOC(size);                                                             \
    }                                                                                              \
    static void operator delete(void* block) noexcept {                                            \
        ::Korvel::XFREE(block);                                                                    \
    }                                                                                              \
    static void operator delete[](void* block) noexcept {                                          \
        ::Korvel::XFREE(block);                                                                    \
    }
