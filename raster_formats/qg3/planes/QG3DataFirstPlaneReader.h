#pragma once
// Layout 2: a section offset, then the word, value and data of every item, then the prefixes of
// all items together, so that a scan reads one contiguous prefix section. The section offset is
// 4 bytes counted from the start of the planeset packet's header (whose written size is taken
// off) with narrow prefixes, 8 bytes counted from the start of the packet's body with wide ones.
// A subblock's position is (offset of its first prefix, offset of its first data byte). The scan
// reads the prefix section through a window of QG3PlaneCursor::kScanCapacity bytes of its own.

#include "qg3/planes/QG3FilePlaneReader.h"

namespace Korvel {

class QG3DataFirstPlaneReader : public QG3FilePlaneReader {
public:
    // Subband count + 1 cursors (prefixes, then one per subband for data), or one (prefixes)
    // without cursors; throws bad_alloc.
    QG3DataFirstPlaneReader(const QG3ImageInfo& info, const QG3PlanesetPacket& planeset,
                            KVIOStreamInf* stream, const QG3PlaneReaderOptions& options);

    KVStatus readSubblock(const QG3SubblockPosition& position, const QG3SubblockKey& key,
                          const QG3BandSet& bands, QG3PlaneRecord* records) override;
    KVStatus scan(QG3FilePlaneStore& store, std::int64_t start) override;
    KVStatus scanTo(const QG3SubblockKey& candidate, const QG3SubblockPosition& from,
                    std::uint32_t requested, QG3SubblockKey& reached,
                    QG3SubblockPosition& at) override;

protected:
    // Scans one run (section offset, data, prefix section) from start, the section offset read
    // through head and the prefixes through prefixes (a scan window, which may be head itself);
    // end is the byte after its prefix section.
    KVStatus scanRun(QG3FilePlaneStore& store, QG3PlaneDescIter& iter, QG3PlaneCursor& head,
                     QG3PlaneCursor& prefixes, std::int64_t start, std::int64_t& end);
    unsigned sectionOffsetBytes() const { return options_.widePrefix ? 8 : 4; }
};

} // namespace Korvel
