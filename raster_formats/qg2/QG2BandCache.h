#pragma once
// The bands a decode has made (their block directories read) with their Huffman trees, kept from
// one strip to the next so that each band's directory is read and its tree built once per decode
// rather than once per strip. Keyed by leaf number, region and band. At most kMaxEntries are kept
// (a band and its tree take about 1.5 KB); when full, the entry used longest ago makes room.

#include "QG2Band.h"
#include "QG2HuffmanTree.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <map>
#include <memory>
#include <tuple>

namespace Korvel {

class QG2SubbandInfo;

class QG2BandCache {
public:
    static constexpr std::size_t kMaxEntries = 1024;

    struct Entry {
        std::unique_ptr<QG2Band> band;
        // Built on first use (QG2Band::buildTree's status then).
        QG2HuffmanTree tree;
        bool treeBuilt = false;
        std::uint64_t lastUse = 0;
    };

    // The band of a region of the subband numbered leaf, made when it is not kept
    // (QG2SubbandInfo::createBand's statuses). The entry stays valid until the next find or clear.
    KVStatus find(QG2SubbandInfo& info, std::uint32_t leaf, std::uint32_t region,
                  std::uint32_t band, Entry*& entry);
    // The entry's tree, built on its first use (QG2Band::buildTree's statuses).
    static KVStatus tree(Entry& entry, const QG2HuffmanTree*& tree);
    void clear() { entries_.clear(); }
    std::size_t size() const { return entries_.size(); }

private:
    using Key = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;
    std::map<Key, Entry> entries_;
    std::uint64_t uses_ = 0;
};

} // namespace Korvel
