#include "QG2DBInfo.h"

#include "QG2Status.h"

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

std::uint32_t QG2DBInfo::getSubbandOffset(std::uint32_t subband) const {
    return subband < offsets_.size() ? offsets_[subband] : 0;
}

QG2SubbandInfo* QG2DBInfo::getSubbandInfo(std::uint32_t subband) const {
    return subband < subbands_.size() ? subbands_[subband].get() : nullptr;
}

} // namespace Korvel
