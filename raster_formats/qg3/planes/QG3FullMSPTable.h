#pragma once
// The full position table: one entry per subblock with data, reached through one pointer per
// subblock of each subband. Entries come from a pool of blocks of 1,024 and are freed with the
// table. Arrays are made when a subband gets its first entry.

#include "qg3/planes/QG3MSPTable.h"

#include <memory>
#include <vector>

namespace Korvel {

class QG3FullMSPTable : public QG3MSPTable {
public:
    // counts: subblocks per subband, numSubbands entries; must outlive the table.
    QG3FullMSPTable(const QG3ImageInfo& info, const std::uint32_t* counts, std::uint64_t memoryCap);
    ~QG3FullMSPTable() override;

    KVStatus insert(const QG3SubblockKey& key, const QG3SubblockPosition& position) override;
    // Not found when the entry's (band, plane) lies after the key's.
    KVStatus find(const QG3SubblockKey& key, QG3FilePlaneReader& reader, bool& found,
                  QG3SubblockKey& at, QG3SubblockPosition& position) override;

private:
    struct Entry {
        std::uint64_t first;
        std::uint64_t second;
        std::uint16_t band;
        std::uint8_t plane;
    };
    static constexpr std::uint32_t kBlockEntries = 1024;
    struct Block {
        Entry entries[kBlockEntries];
        std::uint32_t used = 0;
    };

    Entry* takeEntry();

    std::uint32_t numSubbands_;
    const std::uint32_t* counts_;
    std::unique_ptr<std::unique_ptr<Entry*[]>[]> subbands_;
    std::vector<std::unique_ptr<Block>> pool_;
};

} // namespace Korvel
