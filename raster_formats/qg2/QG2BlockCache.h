#pragma once
// Where the decoding of each coded block stopped, kept from one strip to the next so that a block
// that spans two strips is decoded once: the next strip continues where the last one left it. An
// entry is keyed by band, region, leaf number and block index (row-major within the region's grid
// of blocks); it goes when its block has been decoded to its last row and column.

#include "QG2ResumeState.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace Korvel {

struct QG2BlockKey {
    std::uint32_t band = 0;
    std::uint32_t region = 0;
    std::uint32_t leaf = 0;
    std::uint32_t block = 0;
    bool operator==(const QG2BlockKey&) const = default;
};

class QG2BlockCache {
public:
    // The state to continue a block from; null when the block starts from its beginning.
    const QG2ResumeState* find(const QG2BlockKey& key) const;
    // After a block was decoded: a returned state is kept (replacing an earlier one), none removes
    // the entry.
    void update(const QG2BlockKey& key, const std::optional<QG2ResumeState>& state);
    void clear() { entries_.clear(); }
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        QG2BlockKey key;
        QG2ResumeState state;
    };
    std::vector<Entry> entries_;
};

} // namespace Korvel
