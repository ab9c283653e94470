#pragma once
// Layout 3: a block count, then that many data-first runs one after another, each over the whole
// description order; block k starts where block k - 1's prefix section ends.

#include "qg3/planes/QG3DataFirstPlaneReader.h"

namespace Korvel {

class QG3RasterBlockPlaneReader : public QG3DataFirstPlaneReader {
public:
    using QG3DataFirstPlaneReader::QG3DataFirstPlaneReader;

    KVStatus scan(QG3FilePlaneStore& store, std::int64_t start) override;
    // KV_QG3_NOT_AVAILABLE: blocks have no forward walk.
    KVStatus scanTo(const QG3SubblockKey& candidate, const QG3SubblockPosition& from,
                    std::uint32_t requested, QG3SubblockKey& reached,
                    QG3SubblockPosition& at) override;
};

} // namespace Korvel
