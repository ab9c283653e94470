#include "streams/KVIODynamicMemStream.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace Korvel {

namespace {

void* runtimeAllocate(std::size_t size) {
    return std::malloc(size);
}
void runtimeFree(void* block) {
    std::free(block);
}
void* runtimeReallocate(void* block, std::size_t size) {
    return std::realloc(block, size);
}

// The position while closed; also never a valid seek target.
constexpr std::uint32_t kClosedPosition = 0xFFFFFFFF;
// The largest amount of data the stream holds.
constexpr std::uint32_t kMaxData = 0x7FFFFFFF;

} // namespace

KVIODynamicMemStream::KVIODynamicMemStream()
    : position_(kClosedPosition), allocate_(runtimeAllocate), free_(runtimeFree),
      reallocate_(runtimeReallocate) {}

KVIODynamicMemStream::~KVIODynamicMemStream() {
    if (open_) close();
    if (buffer_ != nullptr) free_(buffer_);
}

KVStatus KVIODynamicMemStream::initialize(std::uint32_t initialSize, KVIOAllocateFn allocate,
                                          KVIOFreeFn free, KVIOReallocateFn reallocate,
                                          float growth) {
    return setUp(initialSize, allocate, free, reallocate, growth);
}

KVStatus KVIODynamicMemStream::initialize(std::uint32_t initialSize, float growth) {
    return setUp(initialSize, allocate_, free_, reallocate_, growth);
}

// Every check comes before anything is changed, and the old buffer is released with the
// functions that allocated it, so a refused or failed call leaves the stream as it was.
KVStatus KVIODynamicMemStream::setUp(std::uint32_t initialSize, KVIOAllocateFn allocate,
                                     KVIOFreeFn free, KVIOReallocateFn reallocate, float growth) {
    if (open_) return KV_MEMSTREAM_OPEN;
    if (!(growth > 1.0f && growth <= 2.0f)) return KV_STREAM_BAD_ARGUMENT;
    if (allocate == nullptr || free == nullptr) return KV_STREAM_BAD_ARGUMENT;
    std::uint8_t* block = nullptr;
    if (initialSize > 0) {
        block = static_cast<std::uint8_t*>(allocate(initialSize));
        if (block == nullptr) return KV_MEMSTREAM_NO_MEMORY;
    }
    if (buffer_ != nullptr) free_(buffer_);
    buffer_ = block;
    allocate_ = allocate;
    free_ = free;
    reallocate_ = reallocate;
    initialSize_ = initialSize;
    capacity_ = initialSize;
    size_ = 0;
    position_ = 0;
    eof_ = false;
    growth_ = growth;
    return KV_OK;
}

bool KVIODynamicMemStream::isEOF() {
    return eof_;
}

bool KVIODynamicMemStream::isOpen() {
    return open_;
}

KVStatus KVIODynamicMemStream::open() {
    if (open_) return KV_OK;
    eof_ = false;
    open_ = true;
    position_ = 0;
    return KV_OK;
}

KVStatus KVIODynamicMemStream::close() {
    if (!open_) return KV_OK;
    position_ = kClosedPosition;
    open_ = false;
    return KV_OK;
}

std::uint32_t KVIODynamicMemStream::read(std::uint8_t* buffer, std::uint32_t count) {
    lastError_ = KV_FAILURE;
    if (!open_) return 0;
    if (position_ >= size_) {
        position_ = size_;
        eof_ = true;
        return 0;
    }
    const std::uint32_t available = size_ - position_;
    const std::uint32_t n = count < available ? count : available;
    if (n > 0) std::memcpy(buffer, buffer_ + position_, n);
    position_ += n;
    eof_ = n < count;
    return n;
}

std::uint32_t KVIODynamicMemStream::write(const std::uint8_t* buffer, std::uint32_t count) {
    lastError_ = KV_FAILURE;
    if (!open_) return 0;
    eof_ = false;
    // In 64 bits: a position near the top of the 32-bit range plus the count must not wrap
    // around to a small value that the buffer appears to hold.
    if (!reserve(std::uint64_t{position_} + count)) {
        lastError_ = KV_MEMSTREAM_NO_MEMORY;
        return 0;
    }
    // A seek beyond the end leaves a gap that reads back as zeros.
    if (position_ > size_) std::memset(buffer_ + size_, 0, position_ - size_);
    if (count > 0) std::memcpy(buffer_ + position_, buffer, count);
    position_ += count;
    if (position_ > size_) size_ = position_;
    return count;
}

// Makes room for needed bytes, growing the capacity by the growth factor when that is more
// than needed (a factor of 0 grows to exactly what is needed). On failure nothing changes.
bool KVIODynamicMemStream::reserve(std::uint64_t needed) {
    if (needed > kMaxData) return false;
    if (needed <= capacity_) return true;
    const double grown = static_cast<float>(capacity_) * growth_;
    std::uint32_t newCapacity = static_cast<std::uint32_t>(needed);
    if (grown > static_cast<double>(needed))
        newCapacity = grown >= kMaxData ? kMaxData : static_cast<std::uint32_t>(grown);

    std::uint8_t* block = nullptr;
    if (reallocate_ != nullptr) {
        block = static_cast<std::uint8_t*>(reallocate_(buffer_, newCapacity));
        if (block == nullptr) return false;
    } else {
        block = static_cast<std::uint8_t*>(allocate_(newCapacity));
        if (block == nullptr) return false;
        if (buffer_ != nullptr) {
            std::memcpy(block, buffer_, capacity_);
            free_(buffer_);
        }
    }
    buffer_ = block;
    capacity_ = newCapacity;
    return true;
}

KVStatus KVIODynamicMemStream::seek(std::int64_t offset, std::uint32_t direction) {
    if (offset < INT32_MIN || offset > INT32_MAX) return KV_STREAM_BAD_ARGUMENT;
    std::int64_t base = 0;
    switch (direction) {
    case KVIO_SEEK_SET:
        break;
    case KVIO_SEEK_CUR:
        base = position_;
        break;
    case KVIO_SEEK_END:
        base = size_;
        break;
    default:
        return KV_FAILURE;
    }
    eof_ = false;
    // A target before the start, or one that does not fit a position, is refused rather than
    // wrapped around to a large position.
    const std::int64_t target = base + offset;
    if (target < 0 || target >= kClosedPosition) return KV_FAILURE;
    position_ = static_cast<std::uint32_t>(target);
    return KV_OK;
}

std::int64_t KVIODynamicMemStream::tell() {
    lastError_ = KV_FAILURE;
    return position_;
}

KVIOStreamInf* KVIODynamicMemStream::duplicate() {
    auto* copy = new (std::nothrow) KVIODynamicMemStream();
    if (copy == nullptr) {
        lastError_ = KV_MEMSTREAM_NO_MEMORY;
        return nullptr;
    }
    copy->allocate_ = allocate_;
    copy->free_ = free_;
    copy->reallocate_ = reallocate_;
    if (capacity_ > 0) {
        copy->buffer_ = static_cast<std::uint8_t*>(allocate_(capacity_));
        if (copy->buffer_ == nullptr) {
            delete copy;
            lastError_ = KV_MEMSTREAM_NO_MEMORY;
            return nullptr;
        }
        if (size_ > 0) std::memcpy(copy->buffer_, buffer_, size_);
    }
    copy->initialSize_ = initialSize_;
    copy->capacity_ = capacity_;
    copy->size_ = size_;
    return copy;
}

KVStatus KVIODynamicMemStream::getLastError() {
    return lastError_;
}

const char* KVIODynamicMemStream::getID() {
    return "kv_dynamicmemstream:";
}

} // namespace Korvel
