#include "QG2BandCache.h"

#include "QG2SubbandInfo.h"
#include "support/KVStatusGuard.h"

#include <algorithm>

namespace Korvel {

KVStatus QG2BandCache::find(QG2SubbandInfo& info, std::uint32_t leaf, std::uint32_t region,
                            std::uint32_t band, Entry*& entry) {
    entry = nullptr;
    const Key key{leaf, region, band};
    if (const auto it = entries_.find(key); it != entries_.end()) {
        it->second.lastUse = ++uses_;
        entry = &it->second;
        return KV_OK;
    }
    std::unique_ptr<QG2Band> made;
    KV_RETURN_IF_FAILED(info.createBand(region, band, made));
    return kvGuard([&] {
        if (entries_.size() >= kMaxEntries) {
            const auto oldest = std::min_element(
                entries_.begin(), entries_.end(),
                [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; });
            entries_.erase(oldest);
        }
        Entry& added = entries_[key];
        added.band = std::move(made);
        added.lastUse = ++uses_;
        entry = &added;
    });
}

KVStatus QG2BandCache::tree(Entry& entry, const QG2HuffmanTree*& tree) {
    tree = nullptr;
    if (!entry.treeBuilt) {
        KV_RETURN_IF_FAILED(entry.band->buildTree(entry.tree));
        entry.treeBuilt = true;
    }
    tree = &entry.tree;
    return KV_OK;
}

} // namespace Korvel
