#include "streams/KVIOBufferedStream.h"

#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace Korvel {

namespace {

// Reads at positions past this go straight through, so that a position plus a count never
// overflows.
constexpr std::int64_t kLastWindowed =
    std::numeric_limits<std::int64_t>::max() - (std::int64_t{1} << 32);

} // namespace

KVIOBufferedStream::KVIOBufferedStream(KVIOStreamInf* inner, std::uint32_t capacity)
    : inner_(inner), capacity_(std::max<std::uint32_t>(capacity, 16)) {}

KVStatus KVIOBufferedStream::settle() {
    const std::int64_t at = here();
    if (!owed_) return KV_OK;
    KV_RETURN_IF_FAILED(inner_->seek(at, KVIO_SEEK_SET));
    owed_ = false;
    return KV_OK;
}

KVStatus KVIOBufferedStream::open() {
    ownEOF_ = false;
    settle();
    return inner_->open();
}

KVStatus KVIOBufferedStream::close() {
    ownEOF_ = false;
    settle();
    return inner_->close();
}

KVStatus KVIOBufferedStream::seek(std::int64_t offset, std::uint32_t direction) {
    ownEOF_ = false;
    // A move to a place from the start does not depend on where the other stream stands: it goes
    // there at once (one that refuses leaves this stream where its reads left it).
    if (direction == KVIO_SEEK_SET && offset >= 0) {
        const KVStatus status = inner_->seek(offset, direction);
        if (status == KV_OK) owed_ = false;
        return status;
    }
    KV_RETURN_IF_FAILED(settle());
    return inner_->seek(offset, direction);
}

std::uint32_t KVIOBufferedStream::failed() {
    ownEOF_ = true;
    eof_ = false;
    return 0;
}

std::uint32_t KVIOBufferedStream::readThrough(std::uint8_t* buffer, std::uint32_t count) {
    if (settle() != KV_OK) return failed();
    ownEOF_ = false;
    return inner_->read(buffer, count);
}

// Twice as much as was read of the last window, and a 128th of the capacity at least: a walk
// through small packets soon takes the whole capacity at a time, while a walk past large bodies,
// or a lone packet, reads little more than it needs.
std::uint32_t KVIOBufferedStream::nextFill(std::uint32_t count) const {
    const std::uint32_t least = std::max<std::uint32_t>(capacity_ / 128, 16);
    std::uint32_t ask = least;
    if (windowStart_ >= 0)
        ask = static_cast<std::uint32_t>(
            std::clamp<std::uint64_t>(std::uint64_t{windowUsed_} * 2, least, capacity_));
    return std::max(ask, count);
}

bool KVIOBufferedStream::reserve(std::uint32_t size) {
    if (size <= windowSize_) return true;
    std::unique_ptr<std::uint8_t[]> larger(new (std::nothrow) std::uint8_t[size]);
    if (!larger) return false;
    window_ = std::move(larger);
    windowSize_ = size;
    windowStart_ = -1;
    return true;
}

// One read of ask bytes of the other stream, which stands at `at`, into the window.
void KVIOBufferedStream::fill(std::int64_t at, std::uint32_t ask) {
    windowStart_ = at;
    windowLength_ = std::min(inner_->read(window_.get(), ask), ask);
    windowAtEnd_ = windowLength_ < ask && inner_->isEOF();
    windowUsed_ = 0;
    innerAt_ = at + windowLength_;
}

std::uint32_t KVIOBufferedStream::read(std::uint8_t* buffer, std::uint32_t count) {
    if (count == 0 || count >= capacity_) return readThrough(buffer, count);
    const std::int64_t at = here();
    if (at < 0 || at > kLastWindowed) return readThrough(buffer, count);
    // The window holds the bytes asked for, or all that are left before the stream's end.
    const bool holds = windowStart_ >= 0 && at >= windowStart_ &&
                       at - windowStart_ <= windowLength_ &&
                       (at - windowStart_ + count <= windowLength_ || windowAtEnd_);
    if (holds) {
        if (!owed_) innerAt_ = at;
    } else {
        const std::uint32_t ask = nextFill(count);
        if (!reserve(ask)) return readThrough(buffer, count);
        // The other stream stands at the read unless reads served here have left it behind.
        if (owed_ && inner_->seek(at, KVIO_SEEK_SET) != KV_OK) return failed();
        fill(at, ask);
    }
    const auto offset = static_cast<std::uint32_t>(at - windowStart_);
    const std::uint32_t n = std::min(count, windowLength_ - offset);
    std::memcpy(buffer, window_.get() + offset, n);
    windowUsed_ = std::max(windowUsed_, offset + n);
    position_ = at + n;
    owed_ = innerAt_ != position_;
    ownEOF_ = true;
    eof_ = n < count && windowAtEnd_;
    return n;
}

} // namespace Korvel
