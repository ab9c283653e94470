#include "streams/KVIOBodyReader.h"

#include <algorithm>

namespace Korvel {

KVStatus KVIOBodyReader::seek(std::uint64_t offset) {
    if (start_ < 0) return seekFailed_;
    constexpr auto kMaxOffset =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (offset > length_ || offset > kMaxOffset - static_cast<std::uint64_t>(start_))
        return shortRead_;
    if (stream_->seek(start_ + static_cast<std::int64_t>(offset), KVIO_SEEK_SET) != KV_OK)
        return seekFailed_;
    position_ = offset;
    return KV_OK;
}

KVStatus KVIOBodyReader::readStream(std::uint8_t* buffer, std::uint64_t count) {
    // The stream moves at most 32 bits of bytes per call.
    while (count > 0) {
        const auto chunk =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(count, std::uint64_t{1} << 30));
        const std::uint32_t got = stream_->read(buffer, chunk);
        position_ += got;
        if (got != chunk) return shortRead_;
        buffer += chunk;
        count -= chunk;
    }
    return KV_OK;
}

std::uint32_t KVIOBodyReader::readSome(std::uint8_t* buffer, std::uint32_t count) {
    const auto wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, remaining()));
    std::uint32_t got = 0;
    // A stream that gives part of a read is asked again until it gives nothing.
    while (got < wanted) {
        const std::uint32_t more = stream_->read(buffer + got, wanted - got);
        if (more == 0) break;
        got += more;
    }
    position_ += got;
    return got;
}

} // namespace Korvel
