#include "qg3/planes/QG3DataFirstPlaneReader.h"

#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/planes/QG3FilePlaneStore.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

QG3DataFirstPlaneReader::QG3DataFirstPlaneReader(const QG3ImageInfo& info,
                                                 const QG3PlanesetPacket& planeset,
                                                 KVIOStreamInf* stream,
                                                 const QG3PlaneReaderOptions& options)
    : QG3FilePlaneReader(info, planeset, stream, options,
                         options.useCursors ? static_cast<std::uint32_t>(info.numSubbands) + 1
                                            : 1) {}

KVStatus QG3DataFirstPlaneReader::readSubblock(const QG3SubblockPosition& position,
                                               const QG3SubblockKey& key, const QG3BandSet& bands,
                                               QG3PlaneRecord* records) {
    KV_RETURN_IF_FAILED(prepare());
    QG3PlaneCursor& prefixes = cursor(0);
    QG3PlaneCursor& data = cursor(key.subband + 1u);
    KV_RETURN_IF_FAILED(prefixes.seek(static_cast<std::int64_t>(position.first)));
    KV_RETURN_IF_FAILED(data.seek(static_cast<std::int64_t>(position.second)));
    return readItems(prefixes, data, key, bands, records);
}

KVStatus QG3DataFirstPlaneReader::scan(QG3FilePlaneStore& store, std::int64_t start) {
    KV_RETURN_IF_FAILED(prepare());
    std::unique_ptr<QG3PlaneDescIter> iter;
    KV_RETURN_IF_FAILED(makeDescIter(iter));
    // The section offset is read straight from the stream, so that the window is filled only
    // where the prefix section begins, not over the items' data.
    QG3PlaneCursor prefixes(sharedStream(), QG3PlaneCursor::kScanCapacity);
    std::int64_t end = 0;
    return scanRun(store, *iter, direct(), prefixes, start, end);
}

KVStatus QG3DataFirstPlaneReader::scanRun(QG3FilePlaneStore& store, QG3PlaneDescIter& iter,
                                          QG3PlaneCursor& head, QG3PlaneCursor& prefixes,
                                          std::int64_t start, std::int64_t& end) {
    std::uint64_t section = 0;
    KV_RETURN_IF_FAILED(head.seek(start));
    KV_RETURN_IF_FAILED(head.readField(sectionOffsetBytes(), section));
    const std::int64_t dataStart = head.offset();

    // The prefix section lies after the data and inside the plane data.
    std::uint64_t skew = 0;
    if (!options_.widePrefix) {
        const QG3PacketType* type = planeset_->getType();
        if (type == nullptr) return KV_QG3_NO_OBJECT;
        skew = static_cast<std::uint64_t>(type->getSize());
    }
    const auto body = static_cast<std::uint64_t>(bodyStart());
    if (section < skew || section - skew > static_cast<std::uint64_t>(dataEnd()) - body)
        return KV_QG3_READ_FAILED;
    const auto prefixStart = static_cast<std::int64_t>(body + (section - skew));
    if (prefixStart < dataStart) return KV_QG3_READ_FAILED;

    KV_RETURN_IF_FAILED(prefixes.seek(prefixStart));
    std::uint64_t data = static_cast<std::uint64_t>(dataStart);
    iter.reset();
    KV_RETURN_IF_FAILED(
        walk(iter, prefixes,
             [&](const QG3SubblockKey& key, std::int64_t at, const QG3PlanePrefix& prefix) {
                 // Each item's bytes lie before the prefix section.
                 const std::uint64_t bytes = fieldBytes() + prefix.value;
                 if (bytes > static_cast<std::uint64_t>(prefixStart) - data)
                     return KV_QG3_READ_FAILED;
                 KV_RETURN_IF_FAILED(store.insert(key, {static_cast<std::uint64_t>(at), data}));
                 data += bytes;
                 return KV_OK;
             }));
    end = prefixes.offset();
    return KV_OK;
}

KVStatus QG3DataFirstPlaneReader::scanTo(const QG3SubblockKey& candidate,
                                         const QG3SubblockPosition& from, std::uint32_t requested,
                                         QG3SubblockKey& reached, QG3SubblockPosition& at) {
    reached = QG3SubblockKey{};
    at = QG3SubblockPosition{};
    KV_RETURN_IF_FAILED(prepare());
    const std::uint64_t perSubblock = std::uint64_t(bands_) * planes_;
    if (candidate.subband >= info_->numSubbands || perSubblock == 0) return KV_OK;
    const std::uint64_t columns = info_->subbands[candidate.subband].columns;
    if (columns == 0) return KV_OK;
    const std::uint64_t rowEnd = (candidate.subblock / columns + 1) * columns;

    QG3PlaneCursor& prefixes = cursor(0);
    KV_RETURN_IF_FAILED(prefixes.seek(static_cast<std::int64_t>(from.first)));
    std::uint64_t data = from.second;
    std::uint64_t subblock = candidate.subblock;
    std::uint64_t n = std::uint64_t(candidate.band) * planes_ + candidate.plane;
    // Within a row of a subband the subblocks follow one another in either order.
    while (subblock < requested && subblock < rowEnd) {
        QG3PlanePrefix prefix;
        KV_RETURN_IF_FAILED(prefixes.readPrefix(options_.widePrefix, prefix));
        std::uint64_t count = 1;
        if (prefix.hasData)
            data += fieldBytes() + prefix.value;
        else
            count = prefix.value;
        // count is below 2^54: no overflow.
        const std::uint64_t next = n + count;
        subblock += next / perSubblock;
        n = next % perSubblock;
    }
    if (subblock != requested) return KV_OK;
    reached = QG3SubblockKey{requested, static_cast<std::uint16_t>(n / planes_), candidate.subband,
                             static_cast<std::uint8_t>(n % planes_)};
    at = QG3SubblockPosition{static_cast<std::uint64_t>(prefixes.offset()), data};
    return KV_OK;
}

} // namespace Korvel
