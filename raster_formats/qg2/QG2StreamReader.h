#pragma once
// Big-endian field reads for the generation-2 file classes. Every read and seek is checked
// against the stream's length first, so a count or an offset beyond the file ends in
// KV_QG2_SHORT_READ before anything is sized from it.

#include "KVIOStreamInf.h"
#include "QG2Status.h"

#include <cstdint>

namespace Korvel {

class QG2StreamReader {
public:
    QG2StreamReader(KVIOStreamInf* stream, std::uint64_t length)
        : stream_(stream), length_(length) {}

    std::uint64_t length() const { return length_; }
    std::uint64_t position() const { return position_; }
    // Bytes between the position and the end of the stream.
    std::uint64_t remaining() const { return position_ < length_ ? length_ - position_ : 0; }

    // KV_QG2_SHORT_READ for an offset beyond the end, KV_QG2_SEEK_FAILED when the stream refuses.
    KVStatus seek(std::uint64_t offset);
    // Exactly count bytes, or KV_QG2_SHORT_READ.
    KVStatus read(std::uint8_t* buffer, std::uint64_t count);
    KVStatus readU8(std::uint8_t& value);
    KVStatus readU32(std::uint32_t& value);
    KVStatus readFloat(float& value);

private:
    KVIOStreamInf* stream_;
    std::uint64_t length_;
    std::uint64_t position_ = 0;
};

} // namespace Korvel
