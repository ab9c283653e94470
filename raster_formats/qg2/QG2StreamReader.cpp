#include "QG2StreamReader.h"

#include "KVBigEndian.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace Korvel {

KVStatus QG2StreamReader::seek(std::uint64_t offset) {
    if (offset > length_ ||
        offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return KV_QG2_SHORT_READ;
    if (stream_->seek(static_cast<std::int64_t>(offset), KVIO_SEEK_SET) != KV_OK)
        return KV_QG2_SEEK_FAILED;
    position_ = offset;
    return KV_OK;
}

KVStatus QG2StreamReader::read(std::uint8_t* buffer, std::uint64_t count) {
    if (count > remaining()) return KV_QG2_SHORT_READ;
    // The stream moves at most 32 bits of bytes per call.
    while (count > 0) {
        const auto chunk =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(count, std::uint64_t{1} << 30));
        const std::uint32_t got = stream_->read(buffer, chunk);
        position_ += got;
        if (got != chunk) return KV_QG2_SHORT_READ;
        buffer += chunk;
        count -= chunk;
    }
    return KV_OK;
}

KVStatus QG2StreamReader::readU8(std::uint8_t& value) {
    return read(&value, 1);
}

KVStatus QG2StreamReader::readU32(std::uint32_t& value) {
    std::uint8_t b[4];
    const KVStatus status = read(b, 4);
    if (status != KV_OK) return status;
    value = loadBE<std::uint32_t>(b);
    return KV_OK;
}

KVStatus QG2StreamReader::readFloat(float& value) {
    std::uint32_t bits = 0;
    const KVStatus status = readU32(bits);
    if (status == KV_OK) value = std::bit_cast<float>(bits);
    return status;
}

} // namespace Korvel
