#pragma once
// The bytes the allocator holds now, for tests that bound the memory an operation takes: sample
// it before and during the operation (from a stream or stage the operation calls) and compare.
// Under AddressSanitizer its allocator is asked; otherwise glibc's mallinfo2.

#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define QUARN_HAS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARN_HAS_ASAN 1
#endif
#endif
#if defined(QUARN_HAS_ASAN)
// From the sanitizer runtime's allocator interface (its header is not always installed).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace quarn_test {

inline std::uint64_t heapInUse() {
#if defined(QUARN_HAS_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

} // namespace quarn_test
