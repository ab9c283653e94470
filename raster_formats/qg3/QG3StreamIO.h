#pragma once
// Big-endian field access on a byte stream, shared by the container's readers and writers.
// BodyReader reads the fields of one packet body and refuses to run past the body's length, so a
// body shorter than its fields ends in a short-read status rather than in the next packet.

#include "KVBigEndian.h"
#include "KVIOStreamInf.h"
#include "QG3Status.h"

#include <bit>
#include <cstdint>
#include <limits>

namespace Korvel::qg3io {

// The stream's own last error, or fallback when the stream reports none.
inline KVStatus lastErrorOr(KVIOStreamInf* stream, KVStatus fallback) {
    const KVStatus error = stream->getLastError();
    return error != KV_OK ? error : fallback;
}

// Bytes from the stream's position to its end; -1 when they cannot be told.
inline std::int64_t bytesToEnd(KVIOStreamInf* stream) {
    const std::int64_t here = stream->tell();
    if (here < 0 || stream->seek(0, KVIO_SEEK_END) != KV_OK) return -1;
    const std::int64_t end = stream->tell();
    if (stream->seek(here, KVIO_SEEK_SET) != KV_OK || end < 0) return -1;
    return end > here ? end - here : 0;
}

// A body length checked against the bytes the stream still holds: -1 (to the end) becomes those
// bytes; a longer body, or a stream that cannot tell, is a short read. Bodies whose fields size
// an allocation resolve their length this way first.
inline KVStatus resolveBodyLength(KVIOStreamInf* stream, std::int64_t length,
                                  std::int64_t& resolved) {
    const std::int64_t left = bytesToEnd(stream);
    if (left < 0 || length > left) return KV_QG3_READ_FAILED;
    resolved = length < 0 ? left : length;
    return KV_OK;
}

class BodyReader {
public:
    // length -1: the body runs to the end of the stream, which then bounds every read.
    BodyReader(KVIOStreamInf* stream, std::int64_t length)
        : stream_(stream),
          remaining_(length < 0 ? std::numeric_limits<std::int64_t>::max() : length) {}

    std::int64_t remaining() const { return remaining_; }
    bool has(std::uint64_t count) const { return count <= static_cast<std::uint64_t>(remaining_); }

    template <typename T> KVStatus read(T& value) {
        if (!has(sizeof(T)) || !readBE(stream_, value)) return KV_QG3_READ_FAILED;
        remaining_ -= sizeof(T);
        return KV_OK;
    }
    KVStatus readFloat(float& value) {
        std::uint32_t bits = 0;
        const KVStatus status = read(bits);
        value = std::bit_cast<float>(bits);
        return status;
    }
    KVStatus readDouble(double& value) {
        std::uint64_t bits = 0;
        const KVStatus status = read(bits);
        value = std::bit_cast<double>(bits);
        return status;
    }
    KVStatus readBytes(std::uint8_t* buffer, std::uint32_t count) {
        if (!has(count) || stream_->read(buffer, count) != count) return KV_QG3_READ_FAILED;
        remaining_ -= count;
        return KV_OK;
    }

private:
    KVIOStreamInf* stream_;
    std::int64_t remaining_;
};

} // namespace Korvel::qg3io
