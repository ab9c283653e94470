#include "streams/KVIOFixedMemStream.h"

#include <algorithm>

namespace Korvel {

std::uint32_t KVIOFixedMemStream::read(std::uint8_t* buffer, std::uint32_t count) {
    const std::uint32_t got = std::min(count, count_ - position_);
    std::copy(bytes_ + position_, bytes_ + position_ + got, buffer);
    position_ += got;
    eof_ = got < count;
    return got;
}

KVStatus KVIOFixedMemStream::seek(std::int64_t offset, std::uint32_t direction) {
    // The place relative to the origin, refused when it cannot be told in 64 bits.
    std::int64_t to = 0;
    bool overflow = false;
    if (direction == KVIO_SEEK_SET)
        overflow = __builtin_sub_overflow(offset, origin_, &to);
    else if (direction == KVIO_SEEK_CUR)
        overflow = __builtin_add_overflow(std::int64_t(position_), offset, &to);
    else if (direction == KVIO_SEEK_END)
        overflow = __builtin_add_overflow(std::int64_t(count_), offset, &to);
    else
        return KV_FAILURE;
    if (overflow || to < 0 || to > count_) return KV_FAILURE;
    position_ = static_cast<std::uint32_t>(to);
    return KV_OK;
}

} // namespace Korvel
