#include "QG2Decoder.h"

#include "QG2DBInfo.h"
#include "QG2OutputConversion.h"
#include "QG2Status.h"
#include "QG2Subband.h"
#include "QG2Synthesis.h"
#include "QG2TreeOperations.h"
#include "support/KVStatusGuard.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <limits>

namespace Korvel {
namespace {

// The block cache keeps at most this many coded bytes per sample of a strip (all bands), and no
// less than kMinKeptBytes in all, so that a block spanning strips is read about once.
constexpr std::uint64_t kKeptBytesPerSample = 2;
constexpr std::uint64_t kMinKeptBytes = 256 * 1024;

// Runs an entry point's body: a status raised inside is returned, out of memory as
// KV_OUT_OF_MEMORY, anything else as KV_QG2_UNEXPECTED_EXCEPTION.
template <class Body> KVStatus guarded(Body&& body) {
    try {
        return kvGuard(std::forward<Body>(body));
    } catch (...) {
        return KV_QG2_UNEXPECTED_EXCEPTION;
    }
}

} // namespace

QG2Decoder::QG2Decoder(QG2DBInfo* dbInfo, KVIInterruptDelegate* interrupt)
    : dbInfo_(dbInfo), interrupt_(interrupt) {}

QG2Decoder::~QG2Decoder() {
    // A decode left open keeps no lock on the information.
    if (locked_) dbInfo_->unlockIfShared();
}

KVStatus QG2Decoder::initialize() {
    return dbInfo_ != nullptr ? KV_OK : KV_BAD_ARGUMENT;
}

void QG2Decoder::destroyTrees() {
    current_.reset();
    next_.reset();
    overlap_.reset();
    pool_.clear();
}

KVStatus QG2Decoder::decodeBegin(const KVIRect& rect, std::int32_t level,
                                 std::uint32_t stripHeight) {
    if (dbInfo_ == nullptr) return KV_BAD_ARGUMENT;
    // With shared use the lock comes first: a read that holds it keeps this decoder's state and
    // the information until it ends, and nothing below touches either before then.
    KV_RETURN_IF_FAILED(dbInfo_->lockIfShared());
    return guarded([&]() -> KVStatus {
        // What an earlier decode left, its hold on the lock included.
        destroyTrees();
        cache_.clear();
        bands_.clear();
        const bool earlier = locked_;
        locked_ = true;
        if (earlier) KV_RETURN_IF_FAILED(dbInfo_->unlockIfShared());
        numStrips_ = 0;
        strip_ = 0;
        failed_ = KV_OK;
        counts_ = QG2DecodeCounts{};
        clipped_ = KVIRect{};
        if (stripHeight == 0) return release(KV_BAD_ARGUMENT);
        if (!rect.isEmpty()) {
            // The stored region lies at the level offset; the rectangle must be inside it.
            KVIRect region;
            const std::int64_t relative = std::int64_t{level} - dbInfo_->getLevelOffset();
            if (relative < std::numeric_limits<std::int32_t>::min() ||
                dbInfo_->getRegionAtLevel(static_cast<std::int32_t>(relative), region) != KV_OK ||
                !region.contains(rect))
                return release(KV_QG2_OUTSIDE_REGION);
        }
        level_ = level;
        stripHeight_ = stripHeight;
        layOut(rect);
        return KV_OK;
    });
}

KVStatus QG2Decoder::release(KVStatus status) {
    locked_ = false;
    dbInfo_->unlockIfShared();
    return status;
}

void QG2Decoder::layOut(const KVIRect& rect) {
    const std::int64_t width = QG2Subband::fullSize(dbInfo_->getWidth(), level_);
    const std::int64_t height = QG2Subband::fullSize(dbInfo_->getHeight(), level_);
    clipped_ = rect.intersect(
        KVIRect{0, 0, static_cast<std::int32_t>(width - 1), static_cast<std::int32_t>(height - 1)});
    numStrips_ = static_cast<std::uint32_t>(
        (std::int64_t{clipped_.y1} - clipped_.y0 + stripHeight_) / stripHeight_);
    // The coded bytes the block cache may keep: a few bytes per sample of a strip (a decode
    // writes at most four bands).
    const std::uint64_t row = static_cast<std::uint64_t>(clipped_.width()) *
                              std::min<std::uint32_t>(dbInfo_->getNumBands(), 4);
    const std::uint64_t rows =
        std::min<std::uint64_t>(stripHeight_, static_cast<std::uint64_t>(clipped_.height()));
    constexpr std::uint64_t kMaxSamples =
        std::numeric_limits<std::uint64_t>::max() / kKeptBytesPerSample;
    const std::uint64_t samples = rows != 0 && row > kMaxSamples / rows ? kMaxSamples : row * rows;
    cache_.setByteLimit(
        keptByteLimit_.value_or(std::max(kMinKeptBytes, kKeptBytesPerSample * samples)));
}

KVIRect QG2Decoder::stripRect(std::uint64_t index) const {
    const std::int64_t y0 = clipped_.y0 + static_cast<std::int64_t>(index) * stripHeight_;
    const std::int64_t y1 = std::min<std::int64_t>(y0 + stripHeight_ - 1, clipped_.y1);
    if (clipped_.isEmpty() || y0 > y1) return KVIRect{};
    return KVIRect{clipped_.x0, static_cast<std::int32_t>(y0), clipped_.x1,
                   static_cast<std::int32_t>(y1)};
}

std::unique_ptr<QG2Subband> QG2Decoder::buildTree(const KVIRect& rect) {
    return QG2Subband::buildTree(rect, level_, dbInfo_->getNumLevels(), dbInfo_->getWidth(),
                                 dbInfo_->getHeight(), dbInfo_->getNumBands(), &pool_);
}

KVStatus QG2Decoder::decodeStrip(KVISceneBuffer& buffer) {
    if (failed_ != KV_OK) return failed_;
    const KVIRect strip = stripRect(strip_);
    const std::uint32_t bands = dbInfo_ != nullptr ? dbInfo_->getNumBands() : 0;
    if (strip.isEmpty() || (bands != 1 && bands != 3 && bands != 4)) {
        ++strip_;
        return KV_OK;
    }
    KVStatus status = dbInfo_->openStream();
    if (status == KV_OK) {
        status = guarded([&] { return decodeStripRows(buffer, strip); });
        const KVStatus closed = dbInfo_->closeStream();
        if (status == KV_OK) status = closed;
    }
    if (status != KV_OK) {
        // The trees no longer match the strips to come.
        failed_ = status;
        return status;
    }
    ++strip_;
    return KV_OK;
}

KVStatus QG2Decoder::decodeStripRows(KVISceneBuffer& buffer, const KVIRect& strip) {
    current_.reset();
    if (next_) {
        // The rows this strip shares with the last one are in the overlap; only the rows below
        // it are decoded.
        current_ = std::move(next_);
        if (overlap_) {
            const std::unique_ptr<QG2Subband> remainder = qg2RemainderTree(*current_, *overlap_);
            qg2DecodeSubband(*remainder, *dbInfo_, level_, cache_, bands_, interrupt_, counts_);
            qg2JoinTree(*remainder, *current_);
            qg2JoinTree(*overlap_, *current_);
            overlap_.reset();
        } else {
            qg2DecodeSubband(*current_, *dbInfo_, level_, cache_, bands_, interrupt_, counts_);
        }
    } else {
        current_ = buildTree(strip);
        qg2DecodeSubband(*current_, *dbInfo_, level_, cache_, bands_, interrupt_, counts_);
    }
    const KVIRect following = stripRect(strip_ + 1);
    if (!following.isEmpty()) next_ = buildTree(following);
    overlap_ = qg2OverlapTree(*current_, next_.get());
    qg2Synthesise(*current_, interrupt_);
    return qg2ConvertToSceneBuffer(buffer, dbInfo_->getNumBands(),
                                   static_cast<std::uint32_t>(strip.width()),
                                   static_cast<std::uint32_t>(strip.height()), *current_);
}

KVStatus QG2Decoder::decodeEnd() {
    destroyTrees();
    cache_.clear();
    bands_.clear();
    numStrips_ = 0;
    strip_ = 0;
    failed_ = KV_OK;
    if (!locked_) return KV_OK;
    locked_ = false;
    return dbInfo_->unlockIfShared();
}

} // namespace Korvel
