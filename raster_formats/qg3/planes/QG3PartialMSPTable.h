#pragma once
// The partial position table: per row of subblocks, the position of the row's first subblock
// with data and one bit per column saying which subblocks have data. Any other subblock of the
// row is found by walking forward from the row's first (or from where the plane reader's last
// walk in that row ended, its find cache) with the reader's scanTo.

#include "qg3/planes/QG3MSPTable.h"

#include <memory>
#include <vector>

namespace Korvel {

class QG3PartialMSPTable : public QG3MSPTable {
public:
    // Throws std::bad_alloc.
    QG3PartialMSPTable(const QG3ImageInfo& info, std::uint64_t memoryCap);
    ~QG3PartialMSPTable() override;

    KVStatus insert(const QG3SubblockKey& key, const QG3SubblockPosition& position) override;
    // Needs the reader's scanTo for any subblock but a row's first; KV_QG3_OUT_OF_MEMORY when the
    // reader's find cache cannot be made.
    KVStatus find(const QG3SubblockKey& key, QG3FilePlaneReader& reader, bool& found,
                  QG3SubblockKey& at, QG3SubblockPosition& position) override;

private:
    struct Row {
        std::uint64_t first;
        std::uint64_t second;
        std::uint16_t column; // of the subblock that made the record
        std::uint16_t band;
        std::uint8_t plane;
        std::unique_ptr<std::uint8_t[]> bitmap; // column c: bit c % 8 of byte c / 8
    };
    struct RowSet {
        std::unique_ptr<std::unique_ptr<Row>[]> rows; // one per row of the subband
    };

    std::vector<std::unique_ptr<RowSet>> sets_; // per subband, made at the first insert
};

} // namespace Korvel
