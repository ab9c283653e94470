#include "qg3/planes/QG3InterleavedPlaneReader.h"

#include "qg3/container/QG3ImageInfo.h"
#include "qg3/planes/QG3FilePlaneStore.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

QG3InterleavedPlaneReader::QG3InterleavedPlaneReader(const QG3ImageInfo& info,
                                                     const QG3PlanesetPacket& planeset,
                                                     KVIOStreamInf* stream,
                                                     const QG3PlaneReaderOptions& options)
    : QG3FilePlaneReader(info, planeset, stream, options,
                         options.useCursors ? static_cast<std::uint32_t>(info.numSubbands) : 0) {}

KVStatus QG3InterleavedPlaneReader::readSubblock(const QG3SubblockPosition& position,
                                                 const QG3SubblockKey& key, const QG3BandSet& bands,
                                                 QG3PlaneRecord* records) {
    KV_RETURN_IF_FAILED(prepare());
    QG3PlaneCursor& in = cursor(key.subband);
    KV_RETURN_IF_FAILED(in.seek(static_cast<std::int64_t>(position.first)));
    return readItems(in, in, key, bands, records);
}

KVStatus QG3InterleavedPlaneReader::scan(QG3FilePlaneStore& store, std::int64_t start) {
    KV_RETURN_IF_FAILED(prepare());
    std::unique_ptr<QG3PlaneDescIter> iter;
    KV_RETURN_IF_FAILED(makeDescIter(iter));
    // The scan reads the planeset from end to end through one large window of its own, cursors
    // or not: prefixes and the data between them alike.
    QG3PlaneCursor in(sharedStream(), QG3PlaneCursor::kScanCapacity);
    KV_RETURN_IF_FAILED(in.seek(start));
    return walk(*iter, in,
                [&](const QG3SubblockKey& key, std::int64_t at, const QG3PlanePrefix& prefix) {
                    const QG3SubblockPosition position{static_cast<std::uint64_t>(at),
                                                       static_cast<std::uint64_t>(in.offset())};
                    KV_RETURN_IF_FAILED(store.insert(key, position));
                    return in.skip(fieldBytes() + prefix.value);
                });
}

} // namespace Korvel
