#include "qg3/planes/QG3FullMSPTable.h"

#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

QG3FullMSPTable::QG3FullMSPTable(const QG3ImageInfo& info, const std::uint32_t* counts,
                                 std::uint64_t memoryCap)
    : QG3MSPTable(info, memoryCap), numSubbands_(static_cast<std::uint32_t>(info.numSubbands)),
      counts_(counts) {}

QG3FullMSPTable::~QG3FullMSPTable() = default;

QG3FullMSPTable::Entry* QG3FullMSPTable::takeEntry() {
    if (pool_.empty() || pool_.back()->used == kBlockEntries) {
        if (!reserve(sizeof(Block)) ||
            kvGuard([&] { pool_.push_back(std::make_unique<Block>()); }) != KV_OK)
            return nullptr;
    }
    Block& last = *pool_.back();
    return &last.entries[last.used++];
}

KVStatus QG3FullMSPTable::insert(const QG3SubblockKey& key, const QG3SubblockPosition& position) {
    const std::uint32_t s = key.subband;
    if (s >= numSubbands_ || key.subblock >= counts_[s]) return KV_OK;
    if (!subbands_) {
        if (!reserve(std::uint64_t(numSubbands_) * sizeof(void*))) return KV_QG3_OUT_OF_MEMORY;
        KV_RETURN_IF_FAILED(kvGuard(
            [&] { subbands_ = std::make_unique<std::unique_ptr<Entry*[]>[]>(numSubbands_); },
            KV_QG3_OUT_OF_MEMORY));
    }
    std::unique_ptr<Entry*[]>& slots = subbands_[s];
    if (!slots) {
        if (!reserve(std::uint64_t(counts_[s]) * sizeof(Entry*))) return KV_QG3_OUT_OF_MEMORY;
        KV_RETURN_IF_FAILED(
            kvGuard([&] { slots = std::make_unique<Entry*[]>(counts_[s]); }, KV_QG3_OUT_OF_MEMORY));
    }
    if (slots[key.subblock] != nullptr) return KV_OK;
    Entry* entry = takeEntry();
    if (entry == nullptr) return KV_QG3_OUT_OF_MEMORY;
    *entry = Entry{position.first, position.second, key.band, key.plane};
    slots[key.subblock] = entry;
    return KV_OK;
}

KVStatus QG3FullMSPTable::find(const QG3SubblockKey& key, QG3FilePlaneReader& /*reader*/,
                               bool& found, QG3SubblockKey& at, QG3SubblockPosition& position) {
    found = false;
    const std::uint32_t s = key.subband;
    if (!subbands_ || s >= numSubbands_ || !subbands_[s] || key.subblock >= counts_[s])
        return KV_OK;
    const Entry* entry = subbands_[s][key.subblock];
    if (entry == nullptr) return KV_OK;
    if (entry->band > key.band || (entry->band == key.band && entry->plane > key.plane))
        return KV_OK;
    found = true;
    at = QG3SubblockKey{key.subblock, entry->band, key.subband, entry->plane};
    position = QG3SubblockPosition{entry->first, entry->second};
    return KV_OK;
}

} // namespace Korvel
