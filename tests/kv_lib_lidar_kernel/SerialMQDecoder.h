#pragma once
// The kernel's MQ decoder as the plain procedure: a 32-bit code register C whose upper 16 bits
// are compared with Qe, one byte taken in each time the bit count CT runs out, one shift per
// renormalisation step, and a context as a state number and an MPS, moved through the published
// state table (the test encoder's). The byte intake is the kernel's: after 0xFF a byte below
// 0x90 adds its bits from bit 9 (its top bit a carry into the code) and gives seven bits, a byte
// of 0x90 or more adds 0xFF00 once and is consumed, and the end of the range adds 0xFF00 with
// eight bits for ever. The fast decoder is tested against this one, on bytes such as those of
// randomMQBytes.

#include "MQEncoder.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace quarn_test {

class SerialMQDecoder {
public:
    static constexpr unsigned NumContexts = 64;

    void init(const std::uint8_t* data, std::size_t length) {
        begin_ = cur_ = data;
        end_ = data + length;
        B_ = length > 0 ? *cur_++ : 0xFF;
        C_ = B_ << 16;
        if (length < 2) {
            C_ += 0xFF00;
            CT_ = 8;
        } else {
            byteIn();
        }
        C_ <<= 7;
        CT_ -= 7;
        A_ = 0x8000;
        for (unsigned cx = 0; cx < NumContexts; ++cx)
            state_[cx] = mps_[cx] = 0;
    }

    unsigned decode(unsigned cx) {
        const MQProbability& p = mqProbability(state_[cx]);
        unsigned d;
        A_ -= p.qe;
        if ((C_ >> 16) < p.qe) {
            // The LPS sub-interval, unless the exchange makes it the larger one.
            d = A_ < p.qe ? mpsMove(cx, p) : lpsMove(cx, p);
            A_ = p.qe;
        } else {
            C_ -= p.qe << 16;
            if ((A_ & 0x8000) != 0) return mps_[cx];
            d = A_ < p.qe ? lpsMove(cx, p) : mpsMove(cx, p);
        }
        do {
            if (CT_ == 0) byteIn();
            A_ <<= 1;
            C_ <<= 1;
            --CT_;
        } while ((A_ & 0x8000) == 0);
        return d;
    }

    std::size_t bytesTakenIn() const { return static_cast<std::size_t>(cur_ - begin_); }
    std::uint32_t C() const { return C_; }
    std::uint32_t A() const { return A_; }
    std::uint32_t CT() const { return CT_; }
    unsigned state(unsigned cx) const { return state_[cx]; }
    unsigned mps(unsigned cx) const { return mps_[cx]; }

private:
    // A decision and the context's move: to the next state after the MPS; after the LPS to its
    // state, the MPS flipped where the table says so.
    unsigned mpsMove(unsigned cx, const MQProbability& p) {
        state_[cx] = p.nmps;
        return mps_[cx];
    }
    unsigned lpsMove(unsigned cx, const MQProbability& p) {
        const unsigned d = 1 - mps_[cx];
        if (p.swap) mps_[cx] = d;
        state_[cx] = p.nlps;
        return d;
    }

    void byteIn() {
        if (cur_ == end_) {
            C_ += 0xFF00;
            CT_ = 8;
            return;
        }
        const std::uint32_t x = *cur_++;
        if (B_ == 0xFF && x < 0x90) {
            C_ += x << 9;
            CT_ = 7;
        } else if (B_ == 0xFF) {
            C_ += 0xFF00;
            CT_ = 8;
        } else {
            C_ += x << 8;
            CT_ = 8;
        }
        B_ = x;
    }

    std::uint32_t C_ = 0;
    std::uint32_t A_ = 0;
    std::uint32_t CT_ = 0;
    std::uint32_t B_ = 0;
    unsigned state_[NumContexts] = {};
    unsigned mps_[NumContexts] = {};
    const std::uint8_t* begin_ = nullptr;
    const std::uint8_t* cur_ = nullptr;
    const std::uint8_t* end_ = nullptr;
};

// Random bytes with runs of 0xFF followed by every kind of byte: data below 0x80, carries (0x80
// to 0x8F) and markers (0x90 and more, 0xFF itself included).
inline std::vector<std::uint8_t> randomMQBytes(std::mt19937& random, std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    const unsigned ffShare = random() % 5;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned kind = random() % 8;
        if (i > 0 && bytes[i - 1] == 0xFF && kind < 3)
            bytes[i] = static_cast<std::uint8_t>(kind == 0   ? 0x80 + random() % 16
                                                 : kind == 1 ? 0x90 + random() % 0x70
                                                             : random() % 0x80);
        else
            bytes[i] = random() % 8 < ffShare ? 0xFF : static_cast<std::uint8_t>(random());
    }
    return bytes;
}

} // namespace quarn_test
