#pragma once
// Reads the plane data of one image: scans it once to tell the plane store where each subblock's
// items begin, reads the items of one subblock into plane records, and (for the partial position
// table) walks forward from a known subblock to a later one of the same row.

#include "qg3/planes/QG3SubblockKey.h"
#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class QG3BandSet;
class QG3FilePlaneStore;
struct QG3PlaneRecord;

class QG3PlaneReader {
public:
    QG3PlaneReader() = default;
    QG3PlaneReader(const QG3PlaneReader&) = delete;
    QG3PlaneReader& operator=(const QG3PlaneReader&) = delete;
    virtual ~QG3PlaneReader() = default;

    // Reads the items of key's subblock, starting at key's (band, plane), from position (which
    // the store found for key) into records: the item of plane p of the i-th selected band of
    // bands goes to records[i * QG3PlaneRecord::kRecordsPerBand + p]. Records of bands not
    // selected, and of items without data, are left as they are.
    virtual KVStatus readSubblock(const QG3SubblockPosition& position, const QG3SubblockKey& key,
                                  const QG3BandSet& bands, QG3PlaneRecord* records) = 0;
    // Walks all items from start, reporting each item with data to store.insert.
    virtual KVStatus scan(QG3FilePlaneStore& store, std::int64_t start) = 0;
    // Walks forward from candidate (at from) towards subblock requested of the same subband and
    // row: reached and at are the first description of requested and where it stands, or at is
    // (0, 0) when the walk passes requested or leaves the row. KV_QG3_NOT_AVAILABLE for a layout
    // without it.
    virtual KVStatus scanTo(const QG3SubblockKey& candidate, const QG3SubblockPosition& from,
                            std::uint32_t requested, QG3SubblockKey& reached,
                            QG3SubblockPosition& at) = 0;
};

} // namespace Korvel
