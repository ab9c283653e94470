#include "buffers/KVIRunMask.h"

#include "buffers/KVIRunListBuilder.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace Korvel {

namespace {

// A row counts as present only when it has a list with at least one run.
const KVIRunList* presentRow(const KVIRunMask& mask, std::uint32_t r) {
    const KVIRunList* list = mask.getRow(r);
    return list != nullptr && list->count > 0 ? list : nullptr;
}

} // namespace

KVIRunMask::~KVIRunMask() = default;

KVStatus KVIRunMask::reset(std::uint32_t n) {
    row_.reset();
    rows_ = 0;
    if (n == 0) return KV_OK;
    // Value-initialised: every row null.
    row_.reset(new (std::nothrow) KVIRunListPtr[n]());
    if (row_ == nullptr) return KV_OUT_OF_MEMORY;
    rows_ = n;
    return KV_OK;
}

KVStatus KVIRunMask::copy(const KVIRunMask& source) {
    if (&source == this) return KV_OK;
    const KVStatus status = reset(source.rows_);
    if (status != KV_OK) return status;
    for (std::uint32_t r = 0; r < rows_; ++r) {
        const KVIRunList* from = source.getRow(r);
        if (from == nullptr) continue;
        KVIRunListPtr to(KVIRunList::create(from->count));
        if (to == nullptr) return KV_OUT_OF_MEMORY;
        to->count = from->count;
        std::memcpy(to->runs(), from->runs(),
                    static_cast<std::size_t>(from->count) * sizeof(KVIRun));
        row_[r] = std::move(to);
    }
    return KV_OK;
}

void KVIRunMask::setRow(std::uint32_t i, KVIRunListPtr list) noexcept {
    row_[i].reset();
    if (list != nullptr && list->count > 0) row_[i] = std::move(list);
}

KVStatus KVIRunMask::intersect(const KVIRunMask& a, const KVIRunMask& b) {
    // Resetting frees this mask's lists, so with this mask as a source the result is built
    // aside and then taken over.
    if (&a == this || &b == this) {
        KVIRunMask result;
        const KVStatus status = result.intersect(a, b);
        if (status != KV_OK) return status;
        std::swap(rows_, result.rows_);
        std::swap(row_, result.row_);
        return KV_OK;
    }

    const std::uint32_t common = std::min(a.rows_, b.rows_);
    const KVStatus status = reset(std::max(a.rows_, b.rows_));
    if (status != KV_OK) return status;
    if (common == 0) return KV_OK;

    // The scratch list cannot grow: the rows done so far stay, the rest stay empty.
    return kvGuard([&] {
        KVIRunListBuilder builder;
        for (std::uint32_t r = 0; r < common; ++r) {
            builder.clear();
            const KVIRunList* rowA = presentRow(a, r);
            const KVIRunList* rowB = presentRow(b, r);
            if (rowA == nullptr || rowB == nullptr) continue;
            builder.intersect(rowA, rowB);
            // A list that cannot be allocated leaves the row empty.
            if (builder.getCount() > 0) setRow(r, builder.copyList());
        }
    });
}

} // namespace Korvel
