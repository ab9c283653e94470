#pragma once
// Layout 0: each item's prefix, word, value and data follow one another, item after item. A
// subblock's position is (offset of its first prefix, offset after that prefix). The scan reads
// through a window of QG3PlaneCursor::kScanCapacity bytes of its own.

#include "qg3/planes/QG3FilePlaneReader.h"

namespace Korvel {

class QG3InterleavedPlaneReader : public QG3FilePlaneReader {
public:
    // One cursor per subband, or none (the stream itself) without cursors; throws bad_alloc.
    QG3InterleavedPlaneReader(const QG3ImageInfo& info, const QG3PlanesetPacket& planeset,
                              KVIOStreamInf* stream, const QG3PlaneReaderOptions& options);

    KVStatus readSubblock(const QG3SubblockPosition& position, const QG3SubblockKey& key,
                          const QG3BandSet& bands, QG3PlaneRecord* records) override;
    KVStatus scan(QG3FilePlaneStore& store, std::int64_t start) override;
};

} // namespace Korvel
