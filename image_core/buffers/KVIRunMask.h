#pragma once
// Row by row, the columns of a window that take part in an operation: one run list per row, null
// for a row without runs. The mask owns its lists.

#include "buffers/KVIRunList.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class KVIRunMask {
public:
    // 0 rows and no row array.
    KVIRunMask() = default;
    KVIRunMask(const KVIRunMask&) = delete;
    KVIRunMask& operator=(const KVIRunMask&) = delete;
    ~KVIRunMask();

    std::uint32_t getRowCount() const noexcept { return rows_; }

    // Frees every list; then n rows, all without runs. KV_OUT_OF_MEMORY when the row array
    // cannot be allocated (the mask is then left with 0 rows).
    KVStatus reset(std::uint32_t n);
    // This mask becomes a copy of the source, each list of exactly its runs (an empty list stays
    // an empty list). KV_OUT_OF_MEMORY when memory runs out; the rows copied so far stay.
    KVStatus copy(const KVIRunMask& source);
    // The list of row i, or null; no range check.
    KVIRunList* getRow(std::uint32_t i) noexcept { return row_[i].get(); }
    const KVIRunList* getRow(std::uint32_t i) const noexcept { return row_[i].get(); }
    // Frees row i's list, then adopts the given one when it has at least one run; an empty list
    // is freed and the row stays null. No range check.
    void setRow(std::uint32_t i, KVIRunListPtr list) noexcept;
    // max(a, b) rows: below min(a, b) rows each row holds the columns in both masks' rows, the
    // rest are empty. a or b may be this mask. KV_OUT_OF_MEMORY when the row array or the
    // scratch list cannot be allocated; a row whose own list cannot be allocated is left empty.
    KVStatus intersect(const KVIRunMask& a, const KVIRunMask& b);

private:
    std::uint32_t rows_ = 0;
    std::unique_ptr<KVIRunListPtr[]> row_;
};

} // namespace Korvel
