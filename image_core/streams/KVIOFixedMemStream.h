#pragma once
// A read-only stream over bytes that another owns: a body already read into memory, a record kept
// by its packet. Its positions are those the bytes have in the stream they came from, origin to
// origin + count, and its end is theirs, so that code reading it sees what it would see in that
// stream. It is always open; it cannot be written or duplicated.

#include "streams/KVIOStreamInf.h"

#include <cstdint>

namespace Korvel {

class KVIOFixedMemStream final : public KVIOStreamInf {
public:
    KVIOFixedMemStream() = default;
    // The count bytes at bytes outlive the stream.
    KVIOFixedMemStream(const std::uint8_t* bytes, std::uint32_t count, std::int64_t origin = 0)
        : bytes_(bytes), count_(count), origin_(origin) {}

    bool isEOF() override { return eof_; }
    bool isOpen() override { return true; }
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override;
    // From origin to origin + count only; any other place, or direction, fails with 1.
    KVStatus seek(std::int64_t offset, std::uint32_t direction) override;
    std::int64_t tell() override { return origin_ + position_; }
    // The next count bytes, in place, and the position past them; nullptr (and no move) when
    // fewer remain.
    const std::uint8_t* take(std::uint32_t count) {
        if (count > count_ - position_) return nullptr;
        const std::uint8_t* at = bytes_ + position_;
        position_ += count;
        return at;
    }

private:
    const std::uint8_t* bytes_ = nullptr;
    std::uint32_t count_ = 0;
    std::int64_t origin_ = 0;
    std::uint32_t position_ = 0;
    bool eof_ = false;
};

} // namespace Korvel
