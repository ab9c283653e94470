#include "QG2BlockCache.h"

namespace Korvel {

const QG2BlockCache::Entry* QG2BlockCache::find(const QG2BlockKey& key) const {
    const auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

void QG2BlockCache::update(const QG2BlockKey& key, const std::optional<QG2ResumeState>& state,
                           std::vector<std::uint8_t>& bytes) {
    auto it = entries_.find(key);
    if (!state) {
        if (it != entries_.end()) {
            bytesKept_ -= it->second.bytes.size();
            entries_.erase(it);
        }
        return;
    }
    if (it == entries_.end())
        it = entries_.emplace(key, Entry{key, *state, {}}).first;
    else
        it->second.state = *state;
    Entry& entry = it->second;
    if (entry.bytes.empty() && !bytes.empty() && bytesKept_ <= byteLimit_ &&
        bytes.size() <= byteLimit_ - bytesKept_) {
        bytesKept_ += bytes.size();
        entry.bytes = std::move(bytes);
        bytes.clear();
    }
}

void QG2BlockCache::clear() {
    entries_.clear();
    bytesKept_ = 0;
}

} // namespace Korvel
