#pragma once
// Where the decoding of each coded block stopped, kept from one strip to the next so that a block
// that spans two strips is decoded once: the next strip continues where the last one left it. An
// entry is keyed by band, region, leaf number and block index (row-major within the region's grid
// of blocks); it goes when its block has been decoded to its last row and column.
//
// Entries are found by their key through a hash table.
//
// An entry may also keep the block's coded bytes, so that the next strip continues without
// reading the block again. The bytes kept by all entries together never exceed the byte limit,
// which the decoder sets from its strip; a block whose bytes do not fit keeps its state alone.

#include "QG2ResumeState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
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
    struct Entry {
        QG2BlockKey key;
        QG2ResumeState state;
        // The block's bytes, or none; those before the state's byte position may not have been
        // read (they are zero), as decoding goes on from that position.
        std::vector<std::uint8_t> bytes;
    };

    // The entry to continue a block from; null when the block starts from its beginning.
    const Entry* find(const QG2BlockKey& key) const;
    // After a block was decoded: a returned state is kept (replacing an earlier one), none removes
    // the entry with its bytes. With a state, an entry that keeps no bytes yet takes the block's
    // bytes from bytes (which is then left empty) when they fit within the limit.
    void update(const QG2BlockKey& key, const std::optional<QG2ResumeState>& state,
                std::vector<std::uint8_t>& bytes);
    void clear();
    std::size_t size() const { return entries_.size(); }

    // The most bytes all entries may keep together.
    void setByteLimit(std::uint64_t limit) { byteLimit_ = limit; }
    std::uint64_t bytesKept() const { return bytesKept_; }

private:
    struct KeyHash {
        std::size_t operator()(const QG2BlockKey& key) const {
            const std::uint64_t high = (std::uint64_t{key.leaf} << 32) | key.region;
            const std::uint64_t low = (std::uint64_t{key.band} << 32) | key.block;
            return std::hash<std::uint64_t>{}(high * 0x9E3779B97F4A7C15u ^ low);
        }
    };
    std::unordered_map<QG2BlockKey, Entry, KeyHash> entries_;
    std::uint64_t byteLimit_ = 0;
    std::uint64_t bytesKept_ = 0;
};

} // namespace Korvel
