#pragma once
// Reads the big-endian fields of one body of a stream: a packet body, a header, a whole file.
// Every read and seek is checked against the bytes the body still holds before it touches the
// stream, so a count or an offset taken from a file ends in the caller's short-read status
// rather than in the next body or beyond the end, and sizes nothing it has not checked. A body
// already in memory is read through a KVIOFixedMemStream over it.

#include "streams/KVIOFixedMemStream.h"
#include "streams/KVIOStreamInf.h"
#include "support/KVBigEndian.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>

namespace Korvel {

class KVIOBodyReader {
public:
    // A body read straight through from where the stream stands; it cannot seek.
    static constexpr std::int64_t kHere = -1;
    // A body that runs to the stream's end, which then bounds the reads.
    static constexpr std::int64_t kToEnd = -1;

    // The body is length bytes from offset start of the stream (kHere: from where the stream
    // stands); positions count from start. Reads go on from where the stream stands, so a reader
    // over a body elsewhere seeks first. A read past the body is shortRead, a stream that refuses
    // a seek seekFailed.
    KVIOBodyReader(KVIOStreamInf* stream, std::int64_t start, std::int64_t length,
                   KVStatus shortRead, KVStatus seekFailed)
        : stream_(stream), start_(start),
          length_(length < 0 ? std::numeric_limits<std::uint64_t>::max()
                             : static_cast<std::uint64_t>(length)),
          shortRead_(shortRead), seekFailed_(seekFailed) {}
    // A body already in memory: count bytes at bytes, which outlive the reader; positions count
    // from bytes.
    KVIOBodyReader(const std::uint8_t* bytes, std::uint32_t count, KVStatus shortRead,
                   KVStatus seekFailed)
        : memory_(bytes, count), stream_(&memory_), start_(0), length_(count),
          shortRead_(shortRead), seekFailed_(seekFailed) {}
    // A reader over memory reads through a stream of its own.
    KVIOBodyReader(const KVIOBodyReader&) = delete;
    KVIOBodyReader& operator=(const KVIOBodyReader&) = delete;

    std::uint64_t length() const { return length_; }
    std::uint64_t position() const { return position_; }
    // Bytes between the position and the end of the body.
    std::uint64_t remaining() const { return position_ < length_ ? length_ - position_ : 0; }
    bool has(std::uint64_t count) const { return count <= remaining(); }

    // To offset bytes into the body.
    KVStatus seek(std::uint64_t offset);
    // Exactly count bytes. A body in memory is copied straight from its stream, which is final.
    KVStatus read(std::uint8_t* buffer, std::uint64_t count) {
        if (count > remaining()) return shortRead_;
        if (stream_ != &memory_) return readStream(buffer, count);
        // The stream stands at the position, and the body's length is 32 bits.
        std::copy_n(memory_.take(static_cast<std::uint32_t>(count)), count, buffer);
        position_ += count;
        return KV_OK;
    }
    // Up to count bytes, as many as the body and the stream hold: the number read.
    std::uint32_t readSome(std::uint8_t* buffer, std::uint32_t count);
    // One integer field; the value is left as it was when the read fails.
    template <typename T> KVStatus read(T& value) {
        std::uint8_t bytes[sizeof(T)];
        const KVStatus status = read(bytes, sizeof(T));
        if (status == KV_OK) value = loadBE<T>(bytes);
        return status;
    }
    KVStatus readFloat(float& value) { return readBits<std::uint32_t>(value); }
    KVStatus readDouble(double& value) { return readBits<std::uint64_t>(value); }

private:
    KVStatus readStream(std::uint8_t* buffer, std::uint64_t count);
    template <typename Bits, typename T> KVStatus readBits(T& value) {
        Bits bits = 0;
        const KVStatus status = read(bits);
        if (status == KV_OK) value = std::bit_cast<T>(bits);
        return status;
    }

    KVIOFixedMemStream memory_;
    KVIOStreamInf* stream_;
    std::int64_t start_;
    std::uint64_t length_;
    std::uint64_t position_ = 0;
    KVStatus shortRead_;
    KVStatus seekFailed_;
};

} // namespace Korvel
