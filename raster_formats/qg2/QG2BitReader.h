#pragma once
// The bits of one coded generation-2 block, most significant first. In the stream a byte 0xFF is
// followed by a stuffed byte: while a code is read the byte after a 0xFF is always skipped; while
// raw bits are read it is skipped when it is 0x00, and otherwise reading stays on the 0xFF (it
// gives 1-bits again) so that it never passes a marker. Only a bit that is wanted beyond the
// block's last byte fails, so a block whose last code ends on a byte boundary decodes.
//
// Bytes come into a 64-bit register ahead of their use (never beyond the block), eight at a time
// while none of them is 0xFF, and 0xFF 0x00 pairs one by one: the two readings of a byte after
// 0xFF agree then. The register stops filling at the block's end and after a 0xFF that no 0x00
// follows. While it holds 16 bits or more (fill),
// a code is taken from it without a check (peek, skip), and raw bits likewise while it holds them
// (raw). Nearer such a stop the caller reads bit by bit (codeBit, rawBits), and only there is the
// end of the block met (KV_QG2_BAD_CODE) and the byte after a 0xFF read as a code or raw bits
// need it.

#include "QG2ResumeState.h"
#include "QG2Status.h"
#include "support/KVBigEndian.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace Korvel {

class QG2BitReader {
public:
    // Reads bytes[start..size) from bit used (0 to 7) of the byte at start; start <= size.
    QG2BitReader(const std::uint8_t* bytes, std::size_t size, std::size_t start, std::uint32_t used)
        : data_(bytes), size_(size), next_(start), segment_(start) {
        refill();
        if (count_ > 0) skip(static_cast<int>(used));
    }

    // True when 16 bits or more are at hand, enough for any code from the register.
    bool fill() {
        if (count_ < 16) refill();
        return count_ >= 16;
    }
    // The next bits (1 to 32) without taking them, and taking them; within what is at hand.
    std::uint32_t peek(int bits) const {
        return static_cast<std::uint32_t>(register_ >> (64 - bits));
    }
    void skip(int bits) {
        register_ <<= bits;
        count_ -= bits;
    }
    std::uint32_t take(int bits) {
        const std::uint32_t value = peek(bits);
        skip(bits);
        return value;
    }
    // bits raw bits (1 to 32): from the register when it holds them, else bit by bit.
    std::uint32_t raw(int bits) {
        if (count_ < bits) refill();
        return count_ >= bits ? take(bits) : rawBits(bits);
    }

    // One bit of a code, read past any stop.
    std::uint32_t codeBit() {
        if (count_ == 0) continueForCode();
        return take(1);
    }
    // bits raw bits (at most 32), read past any stop.
    [[gnu::noinline]] std::uint32_t rawBits(int bits) {
        std::uint32_t value = 0;
        for (int i = 0; i < bits; ++i) {
            if (count_ == 0) continueForRaw();
            value = (value << 1) | take(1);
        }
        return value;
    }

    // Where the next code would start, with the coefficient position reached.
    QG2ResumeState save(std::uint64_t coefficient) const {
        std::size_t position = 0;
        std::uint32_t used = 0;
        if (count_ > 0) {
            // Within a byte of the register: count back from the last one taken in.
            position = last_;
            for (int k = (count_ - 1) / 8; k > 0; --k)
                position = previous(position);
            used = static_cast<std::uint32_t>(7 - (count_ - 1) % 8);
        } else {
            // The next byte, as a code would take it.
            position = std::min(size_, stop_ == Stop::Marker ? next_ + 1 : next_);
        }
        QG2ResumeState state;
        state.bytePosition = static_cast<std::uint32_t>(position);
        state.currentByte = position < size_ ? data_[position] : 0;
        state.bitPosition = used;
        state.coefficientPosition = static_cast<std::uint32_t>(coefficient);
        return state;
    }

private:
    enum class Stop { None, End, Marker };

    // True when a byte of bits 0xFF is among the eight.
    static bool hasFF(std::uint64_t bytes) {
        const std::uint64_t inverse = ~bytes;
        return ((inverse - 0x0101010101010101u) & bytes & 0x8080808080808080u) != 0;
    }

    // Takes bytes in until the register holds more than 56 bits or a stop is met: eight at once
    // when none of them is 0xFF, else one by one.
    void refill() {
        if (count_ <= 56 && stop_ == Stop::None && size_ - next_ >= 8) {
            const auto eight = loadBE<std::uint64_t>(data_ + next_);
            if (!hasFF(eight)) {
                const int bytes = (64 - count_) >> 3;
                register_ |= (eight >> (64 - 8 * bytes)) << (64 - count_ - 8 * bytes);
                count_ += 8 * bytes;
                next_ += static_cast<std::size_t>(bytes);
                last_ = next_ - 1;
                return;
            }
        }
        refillBytes();
    }

    [[gnu::noinline]] void refillBytes() {
        while (count_ <= 56 && stop_ == Stop::None) {
            if (next_ >= size_) {
                stop_ = Stop::End;
                return;
            }
            const std::uint8_t byte = data_[next_];
            register_ |= std::uint64_t{byte} << (56 - count_);
            count_ += 8;
            last_ = next_;
            if (byte != 0xFF) {
                next_ += 1;
            } else if (next_ + 1 < size_ && data_[next_ + 1] == 0x00) {
                next_ += 2;
            } else {
                next_ += 1;
                stop_ = Stop::Marker;
            }
        }
    }

    // The register is empty: a code steps over the byte after a 0xFF, whatever it is.
    [[gnu::noinline]] void continueForCode() {
        refill();
        if (count_ > 0) return;
        if (stop_ == Stop::End || next_ + 1 >= size_) throw KVUtilException(KV_QG2_BAD_CODE);
        next_ += 1;
        segment_ = next_;
        stop_ = Stop::None;
        refill();
    }

    // The register is empty: raw bits at a 0xFF before a marker read the 0xFF again.
    [[gnu::noinline]] void continueForRaw() {
        refill();
        if (count_ > 0) return;
        if (stop_ == Stop::End) throw KVUtilException(KV_QG2_BAD_CODE);
        register_ = std::uint64_t{0xFF} << 56;
        count_ = 8;
    }

    // The byte taken in before the one at position: one back, or two over a stuffed 0x00.
    std::size_t previous(std::size_t position) const {
        const std::size_t before = position - 1;
        return before > segment_ && data_[before] == 0x00 && data_[before - 1] == 0xFF ? before - 1
                                                                                       : before;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    // The next byte to take in; the first byte of the run taken in since the last stop; the last
    // byte taken in.
    std::size_t next_;
    std::size_t segment_;
    std::size_t last_ = 0;
    std::uint64_t register_ = 0;
    int count_ = 0;
    Stop stop_ = Stop::None;
};

} // namespace Korvel
