#pragma once
// Reads uncoded bits from a byte range, least significant bit of each byte first. Reading past
// the end yields 0 bits and marks the reader exhausted, so that a caller can check once after a
// loop instead of at every bit. Lives on the caller's stack for one subblock.

#include <cstddef>
#include <cstdint>

namespace Korvel {

class KernelBitReader {
public:
    void init(const unsigned char* data, std::size_t length) {
        begin_ = cur_ = data;
        end_ = data + length;
        byte_ = 0;
        bitCount_ = 8;
        exhausted_ = false;
    }

    unsigned readBit() {
        if (bitCount_ == 8) {
            if (cur_ == end_) {
                exhausted_ = true;
                return 0;
            }
            byte_ = *cur_++;
            bitCount_ = 0;
        }
        return (byte_ >> bitCount_++) & 1;
    }

    // True once a bit was asked for beyond the end of the range.
    bool exhausted() const { return exhausted_; }
    std::size_t bytesRead() const { return static_cast<std::size_t>(cur_ - begin_); }

private:
    std::uint32_t byte_ = 0;
    std::uint32_t bitCount_ = 8;
    const unsigned char* begin_ = nullptr;
    const unsigned char* cur_ = nullptr;
    const unsigned char* end_ = nullptr;
    bool exhausted_ = false;
};

} // namespace Korvel
