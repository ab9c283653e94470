#include "QG2BlockCache.h"

#include <algorithm>

namespace Korvel {

const QG2ResumeState* QG2BlockCache::find(const QG2BlockKey& key) const {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const Entry& e) { return e.key == key; });
    return it == entries_.end() ? nullptr : &it->state;
}

void QG2BlockCache::update(const QG2BlockKey& key, const std::optional<QG2ResumeState>& state) {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const Entry& e) { return e.key == key; });
    if (it == entries_.end()) {
        if (state) entries_.push_back(Entry{key, *state});
    } else if (state) {
        it->state = *state;
    } else {
        entries_.erase(it);
    }
}

} // namespace Korvel
