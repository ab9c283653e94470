#include "streams/KVIOSubStream.h"

#include <new>

namespace Korvel {

KVIOSubStream::~KVIOSubStream() {
    releaseInner(nullptr);
    start_ = 0;
    end_ = 0;
}

// Closes the inner stream and deletes it when owned, unless it is keep (the stream about to be
// taken again), which must survive.
void KVIOSubStream::releaseInner(const KVIOStreamInf* keep) {
    if (inner_ == nullptr) return;
    inner_->close();
    if (ownsInner_ && inner_ != keep) delete inner_;
    inner_ = nullptr;
    ownsInner_ = false;
}

KVStatus KVIOSubStream::initialize(KVIOStreamInf* inner, std::int64_t start, std::int64_t end,
                                   bool ownsInner) {
    releaseInner(inner);
    eof_ = false;
    if (inner == nullptr || start < 0 || end < start) {
        start_ = 0;
        end_ = 0;
        return KV_FAILURE;
    }
    inner_ = inner;
    start_ = start;
    end_ = end;
    ownsInner_ = ownsInner;
    return KV_OK;
}

bool KVIOSubStream::isEOF() {
    return eof_;
}

bool KVIOSubStream::isOpen() {
    return inner_ != nullptr && inner_->isOpen();
}

KVStatus KVIOSubStream::open() {
    eof_ = false;
    if (inner_ == nullptr) return KV_FAILURE;
    if (!inner_->isOpen()) {
        const KVStatus status = inner_->open();
        if (status != KV_OK) return status;
    }
    return inner_->seek(start_, KVIO_SEEK_SET);
}

KVStatus KVIOSubStream::close() {
    return inner_ != nullptr ? inner_->close() : KV_OK;
}

std::uint32_t KVIOSubStream::read(std::uint8_t* buffer, std::uint32_t count) {
    const std::int64_t p = inner_ != nullptr ? inner_->tell() : -1;
    if (p < 0) {
        eof_ = false;
        return 0;
    }
    if (p <= end_ && count <= end_ - p) {
        const std::uint32_t got = inner_->read(buffer, count);
        eof_ = got != count;
        return got;
    }
    // Only what is left of the window, and nothing when the inner stream stands past its end
    // (moved there by another user of it).
    eof_ = true;
    if (p >= end_) return 0;
    return inner_->read(buffer, static_cast<std::uint32_t>(end_ - p));
}

std::uint32_t KVIOSubStream::write(const std::uint8_t* buffer, std::uint32_t count) {
    eof_ = false;
    const std::int64_t p = inner_ != nullptr ? inner_->tell() : -1;
    if (p < 0 || p >= end_) return 0;
    const std::uint32_t n = count <= end_ - p ? count : static_cast<std::uint32_t>(end_ - p);
    return inner_->write(buffer, n);
}

KVStatus KVIOSubStream::seek(std::int64_t offset, std::uint32_t direction) {
    if (inner_ == nullptr) return KV_FAILURE;
    std::int64_t base = 0;
    switch (direction) {
    case KVIO_SEEK_SET:
        base = start_;
        break;
    case KVIO_SEEK_CUR: {
        base = inner_->tell();
        if (base < 0) {
            const KVStatus status = inner_->getLastError();
            return status != KV_OK ? status : KV_FAILURE;
        }
        break;
    }
    case KVIO_SEEK_END:
        base = end_;
        break;
    default:
        return KV_FAILURE;
    }
    eof_ = false;
    std::int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < start_ || target > end_)
        return KV_STREAM_BAD_ARGUMENT;
    return inner_->seek(target, KVIO_SEEK_SET);
}

std::int64_t KVIOSubStream::tell() {
    if (inner_ == nullptr) return -1;
    const std::int64_t p = inner_->tell();
    return p < 0 ? p : p - start_;
}

KVIOStreamInf* KVIOSubStream::duplicate() {
    auto* copy = new (std::nothrow) KVIOSubStream();
    if (copy == nullptr) return nullptr;
    if (copy->initialize(inner_, start_, end_, false) != KV_OK) {
        delete copy;
        return nullptr;
    }
    return copy;
}

KVStatus KVIOSubStream::getLastError() {
    return KV_FAILURE;
}

const char* KVIOSubStream::getID() {
    return "kv_substream:";
}

} // namespace Korvel
