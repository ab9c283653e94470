#include "qg3/planes/QG3FilePlaneReader.h"

#include "qg3/container/QG3BandSet.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3PartialFindCache.h"
#include "qg3/planes/QG3PlaneReaderFactory.h"
#include "qg3/planes/QG3PlaneRecord.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <limits>
#include <new>

namespace Korvel {

namespace {

// The planeset body's kind, layout and total, in front of its plane data.
constexpr std::int64_t kBodyHead = 10;

} // namespace

QG3FilePlaneReader::QG3FilePlaneReader(const QG3ImageInfo& info, const QG3PlanesetPacket& planeset,
                                       KVIOStreamInf* stream, const QG3PlaneReaderOptions& options,
                                       std::uint32_t cursorCount)
    : info_(&info), planeset_(&planeset), options_(options), planes_(info.estimateFactor),
      bands_(info.bandSet.getBitCount()), direct_(stream_, 0) {
    stream_.stream = stream;
    cursors_.reserve(cursorCount);
    for (std::uint32_t c = 0; c < cursorCount; ++c)
        cursors_.emplace_back(stream_, QG3PlaneCursor::kCapacity);
}

QG3FilePlaneReader::~QG3FilePlaneReader() {
    if (options_.ownsStream) delete stream_.stream;
}

KVStatus QG3FilePlaneReader::scanTo(const QG3SubblockKey&, const QG3SubblockPosition&,
                                    std::uint32_t, QG3SubblockKey&, QG3SubblockPosition&) {
    return KV_QG3_NOT_AVAILABLE;
}

KVStatus QG3FilePlaneReader::openStream() {
    if (stream_.stream->isOpen()) return KV_OK;
    stream_.forget();
    return stream_.stream->open();
}

KVStatus QG3FilePlaneReader::closeStream() {
    if (options_.keepOpen || !stream_.stream->isOpen()) return KV_OK;
    stream_.forget();
    return stream_.stream->close();
}

QG3PartialFindCache* QG3FilePlaneReader::getFindCache() {
    if (!findCache_) findCache_.reset(new (std::nothrow) QG3PartialFindCache());
    return findCache_.get();
}

KVStatus QG3FilePlaneReader::prepare() {
    if (prepared_) return KV_OK;
    KV_RETURN_IF_FAILED(checkPlaneset(*info_, *planeset_));
    const std::int64_t start = planeset_->planeDataStart;
    if (start < kBodyHead) return KV_QG3_READ_FAILED;
    std::int64_t end = planeset_->planeDataEnd;
    if (end < 0) {
        // A body that runs to the end of the stream.
        stream_.forget();
        if ((end = getStreamSize(stream_.stream)) < 0) return KV_QG3_READ_FAILED;
    }
    if (end < start) return KV_QG3_READ_FAILED;
    stream_.end = end;
    prepared_ = true;
    return KV_OK;
}

std::int64_t QG3FilePlaneReader::bodyStart() const {
    return planeset_->planeDataStart - kBodyHead;
}

KVStatus QG3FilePlaneReader::makeDescIter(std::unique_ptr<QG3PlaneDescIter>& iter) const {
    iter = QG3PlaneDescIter::create(*info_, planeset_->planesetKind, planes_);
    return iter ? KV_OK : KV_QG3_NOT_FOUND;
}

KVStatus QG3FilePlaneReader::readItem(QG3PlaneCursor& data, const QG3PlanePrefix& prefix,
                                      QG3PlaneRecord& record) {
    record.reset();
    if (prefix.value > std::numeric_limits<std::uint32_t>::max()) return KV_QG3_READ_FAILED;
    std::uint64_t field = 0;
    record.word = 0;
    if (options_.hasWord) {
        KV_RETURN_IF_FAILED(data.readField(2, field));
        record.word = static_cast<std::uint16_t>(field);
        record.flags |= QG3PlaneRecord::kWordPresent;
    }
    record.value = 0;
    if (options_.valueWidth > 0) {
        KV_RETURN_IF_FAILED(data.readField(options_.valueWidth, field));
        record.value = static_cast<std::uint32_t>(field);
    }
    // The length is checked against the plane data before it sizes anything.
    const auto length = static_cast<std::uint32_t>(prefix.value);
    if (length > data.remaining()) return KV_QG3_READ_FAILED;
    if (length > 0) {
        std::unique_ptr<std::uint8_t[]> bytes;
        KV_RETURN_IF_FAILED(
            kvGuard([&] { bytes.reset(new std::uint8_t[length]); }, KV_QG3_OUT_OF_MEMORY));
        KV_RETURN_IF_FAILED(data.read(bytes.get(), length));
        record.data = bytes.get();
        record.owned = std::move(bytes);
        record.flags |= QG3PlaneRecord::kOwned;
    }
    record.length = length;
    record.flags |= QG3PlaneRecord::kFilled;
    if (prefix.raw)
        record.flags |= QG3PlaneRecord::kRaw;
    else
        record.flags &= static_cast<std::uint8_t>(~QG3PlaneRecord::kRaw);
    return KV_OK;
}

KVStatus QG3FilePlaneReader::readItems(QG3PlaneCursor& prefixes, QG3PlaneCursor& data,
                                       const QG3SubblockKey& key, const QG3BandSet& bands,
                                       QG3PlaneRecord* records) {
    if (key.band >= bands_ || key.plane >= planes_) return KV_OK;
    // Items are numbered band x planes + plane; reading stops after the last selected band.
    std::uint32_t lastSelected = std::min<std::uint32_t>(bands_, bands.getBitCount());
    while (lastSelected > 0 && !bands.isSet(static_cast<std::uint16_t>(lastSelected - 1)))
        --lastSelected;
    const std::uint64_t planes = planes_;
    const std::uint64_t stop = lastSelected * planes;
    std::uint64_t n = key.band * planes + key.plane;

    std::uint32_t counted = 0; // bands below this one are counted into ordinal
    std::uint32_t ordinal = 0; // selected bands below band counted
    while (n < stop) {
        QG3PlanePrefix prefix;
        KV_RETURN_IF_FAILED(prefixes.readPrefix(options_.widePrefix, prefix));
        if (!prefix.hasData) {
            // An absent run may carry on into later bands.
            n += std::min(prefix.value, stop - n);
            continue;
        }
        const auto band = static_cast<std::uint32_t>(n / planes);
        const auto plane = static_cast<std::uint32_t>(n % planes);
        for (; counted < band; ++counted)
            if (bands.isSet(static_cast<std::uint16_t>(counted))) ++ordinal;
        if (bands.isSet(static_cast<std::uint16_t>(band))) {
            KV_RETURN_IF_FAILED(
                readItem(data, prefix, records[ordinal * QG3PlaneRecord::kRecordsPerBand + plane]));
        } else {
            KV_RETURN_IF_FAILED(data.skip(fieldBytes() + prefix.value));
        }
        ++n;
    }
    return KV_OK;
}

} // namespace Korvel
