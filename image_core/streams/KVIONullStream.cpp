#include "streams/KVIONullStream.h"

#include <limits>
#include <new>

namespace Korvel {

bool KVIONullStream::isEOF() {
    return false;
}

bool KVIONullStream::isOpen() {
    return open_;
}

KVStatus KVIONullStream::open() {
    open_ = true;
    return KV_OK;
}

KVStatus KVIONullStream::close() {
    open_ = false;
    return KV_OK;
}

bool KVIONullStream::advance(std::uint32_t count) {
    if (!open_ || position_ > std::numeric_limits<std::int64_t>::max() - count) return false;
    position_ += count;
    return true;
}

std::uint32_t KVIONullStream::read(std::uint8_t* /*buffer*/, std::uint32_t count) {
    return advance(count) ? count : 0;
}

std::uint32_t KVIONullStream::write(const std::uint8_t* /*buffer*/, std::uint32_t count) {
    return advance(count) ? count : 0;
}

KVStatus KVIONullStream::seek(std::int64_t offset, std::uint32_t direction) {
    if (!open_) return KV_FAILURE;
    std::int64_t target = 0;
    if (direction == KVIO_SEEK_SET)
        target = offset;
    else if (direction != KVIO_SEEK_CUR || __builtin_add_overflow(position_, offset, &target))
        return KV_FAILURE;
    // A negative position would read as a failed tell.
    if (target < 0) return KV_FAILURE;
    position_ = target;
    return KV_OK;
}

std::int64_t KVIONullStream::tell() {
    return position_;
}

KVIOStreamInf* KVIONullStream::duplicate() {
    return new (std::nothrow) KVIONullStream();
}

KVStatus KVIONullStream::getLastError() {
    return KV_OK;
}

const char* KVIONullStream::getID() {
    return "null://null";
}

} // namespace Korvel
