#include "QG2BlockCache.h"

#include <algorithm>

namespace Korvel {

const QG2BlockCache::Entry* QG2BlockCache::find(const QG2BlockKey& key) const {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const Entry& e) { return e.key == key; });
    return it == entries_.end() ? nullptr : &*it;
}

void QG2BlockCache::update(const QG2BlockKey& key, const std::optional<QG2ResumeState>& state,
                           std::vector<std::uint8_t>& bytes) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.key == key; });
    if (!state) {
        if (it != entries_.end()) {
            bytesKept_ -= it->bytes.size();
            entries_.erase(it);
        }
        return;
    }
    if (it == entries_.end()) {
        entries_.push_back(Entry{key, *state, {}});
        it = entries_.end() - 1;
    } else {
        it->state = *state;
    }
    if (it->bytes.empty() && !bytes.empty() && bytesKept_ <= byteLimit_ &&
        bytes.size() <= byteLimit_ - bytesKept_) {
        bytesKept_ += bytes.size();
        it->bytes = std::move(bytes);
        bytes.clear();
    }
}

void QG2BlockCache::clear() {
    entries_.clear();
    bytesKept_ = 0;
}

} // namespace Korvel
