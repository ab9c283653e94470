#include "QG2FileDBInfo.h"

#include "QG2FileSubbandInfo.h"
#include "QG2Status.h"
#include "streams/KVIOBodyReader.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVBigEndian.h"
#include "support/KVStatusGuard.h"

#include <limits>
#include <new>

namespace Korvel {
namespace {

constexpr std::uint32_t kMaxSize = std::numeric_limits<std::int32_t>::max();

} // namespace

QG2FileDBInfo::QG2FileDBInfo(KVIOStreamInf* stream, bool dither, bool keepOpen, bool shared)
    : QG2DBInfo(stream, dither, keepOpen, shared) {}

QG2FileDBInfo::~QG2FileDBInfo() {
    subbands_.clear();
    if (ownedStream_ && ownedStream_->isOpen()) ownedStream_->close();
}

KVStatus QG2FileDBInfo::readHeader() {
    KV_RETURN_IF_FAILED(openStream());
    const KVStatus status = kvGuard([&] {
        subbands_.clear();
        KV_RETURN_IF_FAILED(readFileHeader());
        return parseSubbands();
    });
    if (status != KV_OK) subbands_.clear();
    const KVStatus closed = closeStream();
    return status != KV_OK ? status : closed;
}

KVStatus QG2FileDBInfo::readSubbands() {
    KV_RETURN_IF_FAILED(openStream());
    const KVStatus status = kvGuard([&] { return parseSubbands(); });
    if (status != KV_OK) subbands_.clear();
    const KVStatus closed = closeStream();
    return status != KV_OK ? status : closed;
}

KVStatus QG2FileDBInfo::readFileHeader() {
    offsets_.clear();
    const std::int64_t length = getStreamSize(stream_);
    if (length < 0) return KV_QG2_SEEK_FAILED;
    streamLength_ = static_cast<std::uint64_t>(length);
    KVIOBodyReader in(stream_, 0, length, KV_QG2_SHORT_READ, KV_QG2_SEEK_FAILED);
    std::uint8_t head[23];
    KV_RETURN_IF_FAILED(in.seek(0));
    KV_RETURN_IF_FAILED(in.read(head, 4));
    if (head[0] != 'q' || head[1] != 'r' || head[2] != 'n' || head[3] != 'd')
        return KV_QG2_BAD_MAGIC;
    KV_RETURN_IF_FAILED(in.read(head + 4, sizeof head - 4));
    if (head[4] > 1 || (head[4] == 1 && head[5] > 1)) return KV_QG2_BAD_VERSION;
    version_ = {head[4], head[5], head[6]};
    bands_ = loadBE<std::uint32_t>(head + 7);
    levels_ = loadBE<std::uint32_t>(head + 11);
    width_ = loadBE<std::uint32_t>(head + 15);
    height_ = loadBE<std::uint32_t>(head + 19);
    if (levels_ > kMaxLevels || width_ == 0 || height_ == 0 || width_ > kMaxSize ||
        height_ > kMaxSize)
        return KV_QG2_BAD_STRUCTURE;

    const std::uint32_t count = 3 * levels_ + 1;
    std::uint8_t table[4 * (3 * kMaxLevels + 1)];
    KV_RETURN_IF_FAILED(in.read(table, 4 * std::uint64_t{count}));
    offsets_.resize(count);
    for (std::uint32_t i = 0; i < count; ++i)
        offsets_[i] = loadBE<std::uint32_t>(table + 4 * i);

    // Optional segments, each in its place; the first two bytes that are not the next expected
    // segment end them.
    metadataOffset_ = 0;
    region_ = KVIRect{0, 0, static_cast<std::int32_t>(width_ - 1),
                      static_cast<std::int32_t>(height_ - 1)};
    levelOffset_ = 0;
    hasStoredRegion_ = false;
    d3Position_ = 0;
    std::uint8_t marker[2];
    bool more = in.read(marker, 2) == KV_OK;
    if (more && marker[0] == 0xFF && marker[1] == 0xD0) {
        KV_RETURN_IF_FAILED(in.read(metadataOffset_));
        more = in.read(marker, 2) == KV_OK;
    }
    if (more && marker[0] == 0xFF && marker[1] == 0xD2) {
        std::uint8_t body[20];
        KV_RETURN_IF_FAILED(in.read(body, sizeof body));
        const std::uint32_t x0 = loadBE<std::uint32_t>(body), y0 = loadBE<std::uint32_t>(body + 4),
                            x1 = loadBE<std::uint32_t>(body + 8),
                            y1 = loadBE<std::uint32_t>(body + 12);
        levelOffset_ = loadBE<std::uint32_t>(body + 16);
        if (x0 > x1 || y0 > y1 || x1 >= kMaxSize || y1 >= kMaxSize || levelOffset_ > kMaxLevels)
            return KV_QG2_BAD_STRUCTURE;
        region_ = KVIRect{static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0),
                          static_cast<std::int32_t>(x1), static_cast<std::int32_t>(y1)};
        hasStoredRegion_ = true;
        more = in.read(marker, 2) == KV_OK;
    }
    if (more && marker[0] == 0xFF && marker[1] == 0xD3) d3Position_ = in.position();
    return KV_OK;
}

KVStatus QG2FileDBInfo::parseSubbands() {
    subbands_.clear();
    const std::uint64_t length = streamLength_;
    const auto count = static_cast<std::uint32_t>(offsets_.size());

    // Each subband's coded data ends where the next subband with data begins; the last one's at
    // the metadata, or two bytes before the end of the stream.
    QG2InfoBudget budget{length, kMaxGridCells};
    const std::uint64_t lastEnd = metadataOffset_ != 0 ? metadataOffset_
                                  : length >= 2        ? length - 2
                                                       : 0;
    subbands_.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (offsets_[i] == 0) continue;
        std::uint64_t end = lastEnd;
        for (std::uint32_t j = i + 1; j < count; ++j) {
            if (offsets_[j] != 0) {
                end = offsets_[j];
                break;
            }
        }
        auto info = std::make_unique<QG2FileSubbandInfo>(stream_, length, bands_, offsets_[i], end);
        KV_RETURN_IF_FAILED(info->read(budget));
        subbands_[i] = std::move(info);
    }
    return KV_OK;
}

KVStatus QG2FileDBInfo::clone(std::unique_ptr<QG2DBInfo>& copy) {
    copy.reset();
    if (stream_ == nullptr) return KV_QG2_SEEK_FAILED;
    return kvGuard([&] {
        std::unique_ptr<KVIOStreamInf> duplicate(stream_->duplicate());
        if (!duplicate) return KV_QG2_SEEK_FAILED;
        auto made = std::make_unique<QG2FileDBInfo>(duplicate.get(), getDither(), keepsStreamOpen(),
                                                    isShared());
        made->ownedStream_ = std::move(duplicate);
        KV_RETURN_IF_FAILED(made->readHeader());
        copy = std::move(made);
        return KV_OK;
    });
}

} // namespace Korvel
