#include "qg3/planes/QG3RasterBlockPlaneReader.h"

#include "support/KVStatusGuard.h"

namespace Korvel {

KVStatus QG3RasterBlockPlaneReader::scan(QG3FilePlaneStore& store, std::int64_t start) {
    KV_RETURN_IF_FAILED(prepare());
    std::unique_ptr<QG3PlaneDescIter> iter;
    KV_RETURN_IF_FAILED(makeDescIter(iter));
    // Blocks follow one another: one window of the scan's own, kept from block to block, reads
    // the block count, every section offset and every prefix section, so that each byte of the
    // plane data is read at most about once however many blocks there are.
    QG3PlaneCursor in(sharedStream(), QG3PlaneCursor::kScanCapacity);
    std::uint64_t blocks = 0;
    KV_RETURN_IF_FAILED(in.seek(start));
    KV_RETURN_IF_FAILED(in.readField(8, blocks));
    // Each block takes at least its section offset and one prefix, so a count the plane data
    // cannot hold is refused before any block is walked.
    if (blocks > in.remaining() / (sectionOffsetBytes() + 1u)) return KV_QG3_READ_FAILED;
    std::int64_t at = in.offset();
    for (std::uint64_t k = 0; k < blocks; ++k)
        KV_RETURN_IF_FAILED(scanRun(store, *iter, in, in, at, at));
    return KV_OK;
}

KVStatus QG3RasterBlockPlaneReader::scanTo(const QG3SubblockKey&, const QG3SubblockPosition&,
                                           std::uint32_t, QG3SubblockKey&, QG3SubblockPosition&) {
    return KV_QG3_NOT_AVAILABLE;
}

} // namespace Korvel
