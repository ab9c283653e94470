#include "buffers/KVIRunList.h"

#include <cstdlib>
#include <limits>

namespace Korvel {

static_assert(sizeof(KVIRun) == 8 && alignof(KVIRun) == 4, "a run is two 32-bit columns");

std::size_t KVIRunList::blockSize(std::uint64_t capacity) noexcept {
    // The count, then capacity runs.
    constexpr std::uint64_t maxRuns =
        (std::numeric_limits<std::size_t>::max() - kRunsOffset) / sizeof(KVIRun);
    if (capacity > maxRuns) return 0;
    return kRunsOffset + static_cast<std::size_t>(capacity) * sizeof(KVIRun);
}

KVIRunList* KVIRunList::create(std::uint64_t capacity) noexcept {
    const std::size_t bytes = blockSize(capacity);
    if (bytes == 0) return nullptr;
    void* block = std::malloc(bytes);
    if (block == nullptr) return nullptr;
    auto* list = static_cast<KVIRunList*>(block);
    list->count = 0;
    return list;
}

KVIRunList* KVIRunList::resize(KVIRunList* list, std::uint64_t capacity) noexcept {
    const std::size_t bytes = blockSize(capacity);
    if (bytes == 0) return nullptr;
    if (list == nullptr) return create(capacity);
    return static_cast<KVIRunList*>(std::realloc(list, bytes));
}

void KVIRunList::destroy(KVIRunList* list) noexcept {
    std::free(list);
}

const KVIRun* KVIRunList::lowerBound(const KVIRunList* list, std::int32_t x) noexcept {
    if (list == nullptr) return nullptr;
    const KVIRun* run = list->begin();
    const KVIRun* last = list->end();
    while (run != last && run->end < x)
        ++run;
    return run;
}

KVIRun* KVIRunList::lowerBound(KVIRunList* list, std::int32_t x) noexcept {
    return const_cast<KVIRun*>(lowerBound(static_cast<const KVIRunList*>(list), x));
}

} // namespace Korvel
