#include "qg3/planes/QG3PlaneCursor.h"

#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3StreamIO.h"
#include "support/KVBigEndian.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cstring>

namespace Korvel {

namespace {

// Prefixes are at most eight bytes; the window is refilled when fewer than this remain.
constexpr std::uint64_t kPrefixReserve = 10;
constexpr std::uint32_t kLargestRead = 1u << 30;

} // namespace

KVStatus QG3PlaneCursor::Stream::readAt(std::int64_t offset, std::uint8_t* out, std::uint32_t count,
                                        std::uint32_t& got) {
    got = 0;
    if (position != offset) {
        if (stream->seek(offset, KVIO_SEEK_SET) != KV_OK) {
            position = -1;
            return qg3io::lastErrorOr(stream, KV_QG3_READ_FAILED);
        }
        position = offset;
    }
    got = std::min(stream->read(out, count), count);
    position = offset + got;
    return KV_OK;
}

bool QG3PlaneCursor::covers() const {
    return windowStart_ >= 0 && offset_ >= windowStart_ &&
           offset_ - windowStart_ <= std::int64_t(windowLength_);
}

std::uint64_t QG3PlaneCursor::buffered() const {
    return covers() ? std::uint64_t(windowStart_ + windowLength_ - offset_) : 0;
}

KVStatus QG3PlaneCursor::seek(std::int64_t offset) {
    if (offset < 0 || offset > stream_->end) return KV_QG3_READ_FAILED;
    offset_ = offset;
    return KV_OK;
}

KVStatus QG3PlaneCursor::skip(std::uint64_t count) {
    if (offset_ > stream_->end || count > std::uint64_t(stream_->end - offset_))
        return KV_QG3_READ_FAILED;
    offset_ += static_cast<std::int64_t>(count);
    return KV_OK;
}

KVStatus QG3PlaneCursor::fill() {
    if (!buffer_)
        KV_RETURN_IF_FAILED(
            kvGuard([&] { buffer_.reset(new std::uint8_t[capacity_]); }, KV_QG3_OUT_OF_MEMORY));
    const std::int64_t left = std::max<std::int64_t>(stream_->end - offset_, 0);
    const auto ask = static_cast<std::uint32_t>(std::min<std::int64_t>(left, capacity_));
    std::uint32_t got = 0;
    windowStart_ = -1;
    if (ask > 0) KV_RETURN_IF_FAILED(stream_->readAt(offset_, buffer_.get(), ask, got));
    windowStart_ = offset_;
    windowLength_ = got;
    windowAtEnd_ = got < capacity_;
    return KV_OK;
}

KVStatus QG3PlaneCursor::readUnbuffered(std::uint8_t* out, std::uint64_t count) {
    while (count > 0) {
        const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, kLargestRead));
        std::uint32_t got = 0;
        KV_RETURN_IF_FAILED(stream_->readAt(offset_, out, piece, got));
        if (got < piece) return qg3io::lastErrorOr(stream_->stream, KV_QG3_READ_FAILED);
        offset_ += piece;
        out += piece;
        count -= piece;
    }
    return KV_OK;
}

KVStatus QG3PlaneCursor::read(std::uint8_t* out, std::uint64_t count) {
    if (offset_ > stream_->end || count > std::uint64_t(stream_->end - offset_))
        return KV_QG3_READ_FAILED;
    while (count > 0) {
        if (const std::uint64_t have = buffered(); have > 0) {
            const std::uint64_t take = std::min(have, count);
            std::memcpy(out, buffer_.get() + (offset_ - windowStart_), take);
            offset_ += static_cast<std::int64_t>(take);
            out += take;
            count -= take;
            continue;
        }
        // What the window cannot hold goes straight to the caller.
        if (capacity_ == 0 || count >= capacity_) return readUnbuffered(out, count);
        KV_RETURN_IF_FAILED(fill());
        if (windowLength_ == 0) return qg3io::lastErrorOr(stream_->stream, KV_QG3_READ_FAILED);
    }
    return KV_OK;
}

KVStatus QG3PlaneCursor::readField(unsigned width, std::uint64_t& value) {
    std::uint8_t bytes[8];
    KV_RETURN_IF_FAILED(read(bytes, width));
    value = loadBE(bytes, width);
    return KV_OK;
}

KVStatus QG3PlaneCursor::readPrefix(bool wide, QG3PlanePrefix& prefix) {
    const auto missing = [](bool first) { return first ? KV_QG3_READ_FAILED : KV_QG3_PREFIX_CUT; };
    if (capacity_ == 0) {
        std::int64_t at = offset_;
        KV_RETURN_IF_FAILED(decodePlanePrefix(wide, prefix, [&](std::uint8_t& b, bool first) {
            if (at >= stream_->end) return missing(first);
            std::uint32_t got = 0;
            KV_RETURN_IF_FAILED(stream_->readAt(at, &b, 1, got));
            if (got != 1) return qg3io::lastErrorOr(stream_->stream, missing(first));
            ++at;
            return KV_OK;
        }));
        offset_ = at;
        return KV_OK;
    }

    if (!covers() || (buffered() < kPrefixReserve && !windowAtEnd_)) KV_RETURN_IF_FAILED(fill());
    const std::uint8_t* bytes = buffer_.get() + (offset_ - windowStart_);
    const std::uint64_t available = buffered();
    std::uint64_t used = 0;
    KV_RETURN_IF_FAILED(decodePlanePrefix(wide, prefix, [&](std::uint8_t& b, bool first) {
        if (used == available) return missing(first);
        b = bytes[used++];
        return KV_OK;
    }));
    offset_ += static_cast<std::int64_t>(used);
    return KV_OK;
}

} // namespace Korvel
