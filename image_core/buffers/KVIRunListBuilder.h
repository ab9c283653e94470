#pragma once
// A growable run list used as scratch while one row is scanned: runs are appended in ascending
// order, then copied out as an exact-size list. The block grows in steps of 256 runs and is
// reused for every row; each user empties it before scanning a row.

#include "buffers/KVIRunList.h"

#include <cstdint>

namespace Korvel {

class KVIRunListBuilder {
public:
    static constexpr std::uint32_t kGrowthStep = 256;

    // A block with room for 256 runs; throws KVUtilException with KV_OUT_OF_MEMORY when it
    // cannot be allocated.
    KVIRunListBuilder();
    KVIRunListBuilder(const KVIRunListBuilder&) = delete;
    KVIRunListBuilder& operator=(const KVIRunListBuilder&) = delete;
    ~KVIRunListBuilder();

    void clear() noexcept;
    // Room for at least n runs: n rounded up to a multiple of 256. When the block cannot grow it
    // is freed (the builder is then empty, with capacity 0) and KVUtilException with
    // KV_OUT_OF_MEMORY is thrown.
    void reserve(std::uint32_t n);
    // Stores the run after the others, growing the block as needed (throws as reserve does).
    void append(std::int32_t start, std::int32_t end);
    void append(const KVIRun& run) { append(run.start, run.end); }
    // A run packed in 64 bits: the start in the low 32 bits, the end in the high 32 bits.
    void append(std::uint64_t packedRun);
    // Appends the columns that lie in both lists, as ascending runs. A null or empty list on
    // either side appends nothing.
    void intersect(const KVIRunList* a, const KVIRunList* b);

    // A new list of exactly the current runs; null when the builder holds none or the
    // allocation fails.
    KVIRunListPtr copyList() const noexcept;

    std::uint32_t getCount() const noexcept { return list_ == nullptr ? 0 : list_->count; }
    std::uint32_t getCapacity() const noexcept { return capacity_; }
    // The runs appended so far; null only after a failed growth.
    const KVIRunList* getList() const noexcept { return list_; }

private:
    KVIRunList* list_ = nullptr;
    std::uint32_t capacity_ = 0; // always a multiple of 256
};

} // namespace Korvel
