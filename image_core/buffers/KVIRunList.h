#pragma once
// One row of a run mask: a single heap block holding the number of runs followed by the runs,
// each a column range [start, end] with the end inclusive, ascending and not overlapping.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace Korvel {

struct KVIRun {
    std::int32_t start;
    std::int32_t end; // inclusive
};

class KVIRunList {
public:
    // A block with room for capacity runs and a count of 0; null when it cannot be allocated
    // (including a size that does not fit in memory). Free it with destroy.
    static KVIRunList* create(std::uint64_t capacity) noexcept;
    // Resizes the block to room for capacity runs, keeping its runs (as realloc does): the new
    // block, or null with the old block untouched when the allocation fails.
    static KVIRunList* resize(KVIRunList* list, std::uint64_t capacity) noexcept;
    // Frees a block made by create or resize; null is ignored.
    static void destroy(KVIRunList* list) noexcept;
    // Bytes of a block with room for capacity runs; 0 when that does not fit in a size_t.
    static std::size_t blockSize(std::uint64_t capacity) noexcept;

    // The first run whose end >= x, or end() when there is none (a linear scan); null for a
    // null list.
    static const KVIRun* lowerBound(const KVIRunList* list, std::int32_t x) noexcept;
    static KVIRun* lowerBound(KVIRunList* list, std::int32_t x) noexcept;

    std::uint32_t getCount() const noexcept { return count; }
    KVIRun* runs() noexcept {
        return reinterpret_cast<KVIRun*>(reinterpret_cast<unsigned char*>(this) + kRunsOffset);
    }
    const KVIRun* runs() const noexcept {
        return reinterpret_cast<const KVIRun*>(reinterpret_cast<const unsigned char*>(this) +
                                               kRunsOffset);
    }
    KVIRun* begin() noexcept { return runs(); }
    KVIRun* end() noexcept { return runs() + count; }
    const KVIRun* begin() const noexcept { return runs(); }
    const KVIRun* end() const noexcept { return runs() + count; }
    KVIRun& operator[](std::uint32_t i) noexcept { return runs()[i]; }
    const KVIRun& operator[](std::uint32_t i) const noexcept { return runs()[i]; }

    // Number of runs; the runs follow it directly in the block.
    std::uint32_t count;

    KVIRunList(const KVIRunList&) = delete;
    KVIRunList& operator=(const KVIRunList&) = delete;

private:
    // Blocks are made only by create and resize (malloc and realloc, which start the lifetime of
    // this trivial type and of the runs), never built, copied or deleted as objects.
    KVIRunList() = default;
    static constexpr std::size_t kRunsOffset = sizeof(std::uint32_t);
};

// Owner of one list block.
struct KVIRunListDeleter {
    void operator()(KVIRunList* list) const noexcept { KVIRunList::destroy(list); }
};
using KVIRunListPtr = std::unique_ptr<KVIRunList, KVIRunListDeleter>;

static_assert(std::is_trivially_destructible_v<KVIRunList> &&
              std::is_standard_layout_v<KVIRunList>);

} // namespace Korvel
