#pragma once
// What the plane readers of a file share: the image and its planeset packet (neither owned), the
// stream (owned when asked), the item format (word, value width, prefix form), the cursors, and
// the partial table's find cache. Made by createPlaneReader (QG3PlaneReaderFactory.h).

#include "qg3/planes/QG3PlaneCursor.h"
#include "qg3/planes/QG3PlaneDescIter.h"
#include "qg3/planes/QG3PlaneReader.h"
#include "streams/KVIOStreamInf.h"
#include "support/KVStatusGuard.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class QG3ImageInfo;
class QG3PlanesetPacket;
struct QG3PartialFindCache;

// How a plane reader reads its planeset.
struct QG3PlaneReaderOptions {
    bool hasWord = false;        // each item carries a 16-bit word (header flag bit 2)
    std::uint8_t valueWidth = 0; // each item carries a value of 0, 1, 2 or 4 bytes
    bool widePrefix = false;     // 54-bit prefixes and 8-byte section offsets (packet flag2 1)
    bool keepOpen = false;       // the stream is not closed after a scan or an access
    bool useCursors = false;     // read through a window per subband ("QG3_USE_STREAM_BUFFERS")
    bool ownsStream = false;     // the reader deletes the stream
};

class QG3FilePlaneReader : public QG3PlaneReader {
public:
    ~QG3FilePlaneReader() override;

    KVStatus scanTo(const QG3SubblockKey& candidate, const QG3SubblockPosition& from,
                    std::uint32_t requested, QG3SubblockKey& reached,
                    QG3SubblockPosition& at) override;

    // Opens the stream when it is not open.
    KVStatus openStream();
    // Closes the stream unless it is kept open.
    KVStatus closeStream();

    const QG3ImageInfo& getImageInfo() const { return *info_; }
    const QG3PlanesetPacket& getPlanesetPacket() const { return *planeset_; }
    // Made at the first call; null when out of memory.
    QG3PartialFindCache* getFindCache();

protected:
    // cursorCount windows of the default capacity; throws std::bad_alloc.
    QG3FilePlaneReader(const QG3ImageInfo& info, const QG3PlanesetPacket& planeset,
                       KVIOStreamInf* stream, const QG3PlaneReaderOptions& options,
                       std::uint32_t cursorCount);

    // Cursor c, or the stream itself (unbuffered) when there is no cursor c.
    QG3PlaneCursor& cursor(std::uint32_t c) { return c < cursors_.size() ? cursors_[c] : direct_; }
    QG3PlaneCursor& direct() { return direct_; }
    // The stream the cursors share, for a cursor of a caller's own.
    QG3PlaneCursor::Stream& sharedStream() { return stream_; }
    // Once: the planeset is one the readers accept (checkPlaneset) and the end of its plane data
    // is known.
    KVStatus prepare();
    // A description iterator for the planeset's kind: KV_QG3_NOT_FOUND for a kind without an order.
    KVStatus makeDescIter(std::unique_ptr<QG3PlaneDescIter>& iter) const;
    // Bytes of word and value in front of each item's data.
    std::uint64_t fieldBytes() const { return (options_.hasWord ? 2u : 0u) + options_.valueWidth; }
    // The start of the planeset body, whose kind, layout and total precede the plane data.
    std::int64_t bodyStart() const;
    std::int64_t dataEnd() const { return stream_.end; }

    // Walks the descriptions of iter from the prefixes at the cursor's position, calling
    // onItem(key, prefix offset, prefix) for each item with data; the items and absent runs must
    // cover the descriptions exactly (KV_QG3_READ_FAILED).
    template <typename OnItem>
    KVStatus walk(QG3PlaneDescIter& iter, QG3PlaneCursor& prefixes, OnItem&& onItem);
    // The items of one subblock from key on (prefixes from one cursor, word, value and data from
    // another, which may be the same), into the records of the selected bands.
    KVStatus readItems(QG3PlaneCursor& prefixes, QG3PlaneCursor& data, const QG3SubblockKey& key,
                       const QG3BandSet& bands, QG3PlaneRecord* records);
    KVStatus readItem(QG3PlaneCursor& data, const QG3PlanePrefix& prefix, QG3PlaneRecord& record);

    const QG3ImageInfo* info_;
    const QG3PlanesetPacket* planeset_;
    QG3PlaneReaderOptions options_;
    std::uint32_t planes_ = 0;
    std::uint32_t bands_ = 0;

private:
    QG3PlaneCursor::Stream stream_;
    QG3PlaneCursor direct_;
    std::vector<QG3PlaneCursor> cursors_;
    std::unique_ptr<QG3PartialFindCache> findCache_;
    bool prepared_ = false;
};

template <typename OnItem>
KVStatus QG3FilePlaneReader::walk(QG3PlaneDescIter& iter, QG3PlaneCursor& prefixes,
                                  OnItem&& onItem) {
    const std::uint64_t total = iter.getTotal();
    std::uint64_t covered = 0;
    while (!iter.atEnd()) {
        const std::int64_t at = prefixes.offset();
        QG3PlanePrefix prefix;
        KV_RETURN_IF_FAILED(prefixes.readPrefix(options_.widePrefix, prefix));
        if (prefix.hasData) {
            KV_RETURN_IF_FAILED(onItem(iter.key(), at, prefix));
            iter.step();
            ++covered;
        } else {
            // A run past the last description cannot add up.
            if (prefix.value > total - covered) return KV_QG3_READ_FAILED;
            iter.skip(prefix.value);
            covered += prefix.value;
        }
    }
    return covered == total ? KV_OK : KV_QG3_READ_FAILED;
}

} // namespace Korvel
