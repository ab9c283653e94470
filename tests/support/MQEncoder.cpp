#include "MQEncoder.h"

#include <stdexcept>

namespace quarn_test {

namespace {

// Table C.2 of T.800 (Table E.1 of T.88): Qe, NMPS, NLPS, SWITCH.
using Probability = MQProbability;
constexpr Probability kTable[47] = {
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},
    {0x0521, 5, 29, 0},  {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},
    {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0}, {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0},
    {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1}, {0x5401, 16, 14, 0},
    {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0},
    {0x1C01, 25, 22, 0}, {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0},
    {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0}, {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0},
    {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0}, {0x02A1, 36, 33, 0},
    {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0},
    {0x0005, 45, 42, 0}, {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
};

} // namespace

const MQProbability& mqProbability(unsigned state) {
    return kTable[state];
}

// INITENC; the byte before the segment is 0, so CT starts at 12.
MQEncoder::MQEncoder() : out_(1, 0) {}

void MQEncoder::setContext(unsigned cx, unsigned state, unsigned mps) {
    state_[cx] = state;
    mps_[cx] = mps;
}

void MQEncoder::restart() {
    A_ = 0x8000;
    C_ = 0;
    CT_ = 12;
    shifts_ = 0;
    out_.assign(1, 0);
}

void MQEncoder::encode(unsigned cx, unsigned decision) {
    const Probability& p = kTable[state_[cx]];
    A_ -= p.qe;
    if (decision == mps_[cx]) {
        // CODEMPS
        if ((A_ & 0x8000) != 0) {
            C_ += p.qe;
            return;
        }
        if (A_ < p.qe)
            A_ = p.qe;
        else
            C_ += p.qe;
        state_[cx] = p.nmps;
    } else {
        // CODELPS
        if (A_ < p.qe)
            C_ += p.qe;
        else
            A_ = p.qe;
        if (p.swap) mps_[cx] = 1 - mps_[cx];
        state_[cx] = p.nlps;
    }
    renormalise();
}

void MQEncoder::renormalise() {
    do {
        A_ <<= 1;
        C_ <<= 1;
        ++shifts_;
        if (--CT_ == 0) byteOut();
    } while ((A_ & 0x8000) == 0);
}

void MQEncoder::byteOut() {
    std::uint8_t& b = out_.back();
    if (b != 0xFF && C_ >= 0x8000000) {
        // Carry into the last byte.
        ++b;
        C_ &= 0x7FFFFFF;
    }
    if (out_.back() == 0xFF) {
        // Bit stuffing: only seven bits follow 0xFF.
        out_.push_back(static_cast<std::uint8_t>(C_ >> 20));
        C_ &= 0xFFFFF;
        CT_ = 7;
    } else {
        out_.push_back(static_cast<std::uint8_t>(C_ >> 19));
        C_ &= 0x7FFFF;
        CT_ = 8;
    }
}

std::vector<std::uint8_t> MQEncoder::flush(bool marker) {
    // SETBITS
    const std::uint32_t tempC = C_ + A_;
    C_ |= 0xFFFF;
    if (C_ >= tempC) C_ -= 0x8000;
    C_ <<= CT_;
    byteOut();
    C_ <<= CT_;
    byteOut();
    std::vector<std::uint8_t> segment(out_.begin() + 1, out_.end());
    if (marker) {
        if (segment.empty() || segment.back() != 0xFF) segment.push_back(0xFF);
        segment.push_back(0xAC);
    } else if (!segment.empty() && segment.back() == 0xFF) {
        segment.pop_back();
    }
    return segment;
}

std::vector<std::uint8_t> fitSegment(std::vector<std::uint8_t> segment, std::uint64_t shifts) {
    // Count the decoder's intake: two bytes at the start, leaving 1 bit (0 after FF and a byte
    // below 0x90), then one byte each time the count is used up. Bytes beyond the segment are
    // 0xFF and count 8 bits.
    std::uint64_t taken = 1;
    unsigned b = segment.empty() ? 0xFF : segment[0];
    auto bitsOfNext = [&]() -> unsigned {
        const unsigned x = taken < segment.size() ? segment[taken] : 0xFF;
        const unsigned bits = (b == 0xFF && x < 0x90) ? 7 : 8;
        b = x;
        ++taken;
        return bits;
    };
    unsigned ct = bitsOfNext() - 7;
    for (std::uint64_t i = 0; i < shifts; ++i) {
        if (ct == 0) ct = bitsOfNext();
        --ct;
    }
    if (taken > (1u << 30)) throw std::length_error("MQ segment too long");
    segment.resize(static_cast<std::size_t>(taken), 0xFF);
    return segment;
}

} // namespace quarn_test
