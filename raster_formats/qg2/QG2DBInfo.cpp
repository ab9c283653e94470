#include "QG2DBInfo.h"

#include "QG2Status.h"
#include "support/KVMagnification.h"

#include <limits>

namespace Korvel {

QG2DBInfo::~QG2DBInfo() = default;

KVStatus QG2DBInfo::lockIfShared() {
    return shared_ ? lock() : KV_OK;
}

KVStatus QG2DBInfo::unlockIfShared() {
    return shared_ ? unlock() : KV_OK;
}

KVStatus QG2DBInfo::lock() {
    return mutex_.lock();
}

KVStatus QG2DBInfo::unlock() {
    return mutex_.unlock();
}

KVStatus QG2DBInfo::openStream() {
    if (stream_ == nullptr) return KV_QG2_SEEK_FAILED;
    if (stream_->isOpen()) return KV_OK;
    return stream_->open() == KV_OK ? KV_OK : KV_QG2_SEEK_FAILED;
}

KVStatus QG2DBInfo::closeStream() {
    if (stream_ == nullptr) return KV_QG2_SEEK_FAILED;
    if (keepOpen_ || !stream_->isOpen()) return KV_OK;
    return stream_->close() == KV_OK ? KV_OK : KV_QG2_SEEK_FAILED;
}

KVStatus QG2DBInfo::getRegionAtLevel(std::int32_t level, KVIRect& rect) const {
    rect = KVIRect{};
    const std::int32_t width = static_cast<std::int32_t>(region_.width());
    const std::int32_t height = static_cast<std::int32_t>(region_.height());
    if (region_.isEmpty() || shiftOverflows(region_.x0, level) ||
        shiftOverflows(region_.y0, level) || shiftOverflows(width, level) ||
        shiftOverflows(height, level))
        return KV_BAD_ARGUMENT;
    const std::int64_t x0 = shiftFloor(region_.x0, level);
    const std::int64_t y0 = shiftFloor(region_.y0, level);
    const std::int64_t x1 = x0 + shiftCeil(width, level) - 1;
    const std::int64_t y1 = y0 + shiftCeil(height, level) - 1;
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    if (x1 > kMax || y1 > kMax) return KV_BAD_ARGUMENT;
    rect = KVIRect{static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0),
                   static_cast<std::int32_t>(x1), static_cast<std::int32_t>(y1)};
    return KV_OK;
}

std::uint32_t QG2DBInfo::getSubbandOffset(std::uint32_t subband) const {
    return subband < offsets_.size() ? offsets_[subband] : 0;
}

QG2SubbandInfo* QG2DBInfo::getSubbandInfo(std::uint32_t subband) const {
    return subband < subbands_.size() ? subbands_[subband].get() : nullptr;
}

} // namespace Korvel
