#include "buffers/KVIRunListBuilder.h"

#include "support/KVUtilException.h"

#include <algorithm>
#include <cstring>

namespace Korvel {

KVIRunListBuilder::KVIRunListBuilder() {
    list_ = KVIRunList::create(kGrowthStep);
    if (list_ == nullptr) throw KVUtilException(KV_OUT_OF_MEMORY);
    capacity_ = kGrowthStep;
}

KVIRunListBuilder::~KVIRunListBuilder() {
    KVIRunList::destroy(list_);
}

void KVIRunListBuilder::clear() noexcept {
    if (list_ != nullptr) list_->count = 0;
}

void KVIRunListBuilder::reserve(std::uint32_t n) {
    if (list_ != nullptr && capacity_ >= n) return;
    // n rounded up to a multiple of 256, in 64 bits: past 2^32 - 256 it no longer fits the
    // capacity field and counts as a failed growth.
    const std::uint64_t newCapacity =
        (static_cast<std::uint64_t>(n) + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
    KVIRunList* grown = nullptr;
    if (newCapacity <= UINT32_MAX) {
        const std::uint64_t capacity = std::max<std::uint64_t>(newCapacity, kGrowthStep);
        grown = KVIRunList::resize(list_, capacity);
        if (grown != nullptr) {
            if (list_ == nullptr) grown->count = 0;
            list_ = grown;
            capacity_ = static_cast<std::uint32_t>(capacity);
            return;
        }
    }
    KVIRunList::destroy(list_);
    list_ = nullptr;
    capacity_ = 0;
    throw KVUtilException(KV_OUT_OF_MEMORY);
}

void KVIRunListBuilder::append(std::int32_t start, std::int32_t end) {
    const std::uint32_t count = getCount();
    if (count == UINT32_MAX) throw KVUtilException(KV_OUT_OF_MEMORY);
    reserve(count + 1);
    list_->runs()[count] = KVIRun{start, end};
    list_->count = count + 1;
}

void KVIRunListBuilder::append(std::uint64_t packedRun) {
    append(static_cast<std::int32_t>(static_cast<std::uint32_t>(packedRun)),
           static_cast<std::int32_t>(static_cast<std::uint32_t>(packedRun >> 32)));
}

void KVIRunListBuilder::intersect(const KVIRunList* a, const KVIRunList* b) {
    if (a == nullptr || b == nullptr) return;
    const KVIRun* ra = a->begin();
    const KVIRun* rb = b->begin();
    const KVIRun* endA = a->end();
    const KVIRun* endB = b->end();
    while (ra != endA && rb != endB) {
        const std::int32_t lo = std::max(ra->start, rb->start);
        const std::int32_t hi = std::min(ra->end, rb->end);
        if (lo <= hi) append(lo, hi);
        // The run that ends first can meet nothing further on the other side.
        const bool advanceA = hi == ra->end;
        const bool advanceB = hi == rb->end;
        if (advanceA) ++ra;
        if (advanceB) ++rb;
    }
}

KVIRunListPtr KVIRunListBuilder::copyList() const noexcept {
    const std::uint32_t count = getCount();
    if (count == 0) return nullptr;
    KVIRunListPtr copy(KVIRunList::create(count));
    if (copy == nullptr) return nullptr;
    copy->count = count;
    std::memcpy(copy->runs(), list_->runs(), static_cast<std::size_t>(count) * sizeof(KVIRun));
    return copy;
}

} // namespace Korvel
