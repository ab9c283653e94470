#include "KernelMQDecoder.h"

namespace Korvel {

namespace {

using State = KernelMQDecoder::State;

// Both MPS entries of one state: Qe, the MPS and LPS successors, and whether an LPS flips the
// MPS (SWITCH).
#define KORVEL_MQ_STATE(qe, nmps, nlps, flip)                                                      \
    {qe, 0, &kStates[2 * (nmps)], &kStates[2 * (nlps) + (flip)]}, {                                \
        qe, 1, &kStates[2 * (nmps) + 1], &kStates[2 * (nlps) + 1 - (flip)]                         \
    }

// The 47 probability states of the MQ coder.
constexpr State kStates[KernelMQDecoder::NumStates] = {
    KORVEL_MQ_STATE(0x5601, 1, 1, 1),   KORVEL_MQ_STATE(0x3401, 2, 6, 0),
    KORVEL_MQ_STATE(0x1801, 3, 9, 0),   KORVEL_MQ_STATE(0x0AC1, 4, 12, 0),
    KORVEL_MQ_STATE(0x0521, 5, 29, 0),  KORVEL_MQ_STATE(0x0221, 38, 33, 0),
    KORVEL_MQ_STATE(0x5601, 7, 6, 1),   KORVEL_MQ_STATE(0x5401, 8, 14, 0),
    KORVEL_MQ_STATE(0x4801, 9, 14, 0),  KORVEL_MQ_STATE(0x3801, 10, 14, 0),
    KORVEL_MQ_STATE(0x3001, 11, 17, 0), KORVEL_MQ_STATE(0x2401, 12, 18, 0),
    KORVEL_MQ_STATE(0x1C01, 13, 20, 0), KORVEL_MQ_STATE(0x1601, 29, 21, 0),
    KORVEL_MQ_STATE(0x5601, 15, 14, 1), KORVEL_MQ_STATE(0x5401, 16, 14, 0),
    KORVEL_MQ_STATE(0x5101, 17, 15, 0), KORVEL_MQ_STATE(0x4801, 18, 16, 0),
    KORVEL_MQ_STATE(0x3801, 19, 17, 0), KORVEL_MQ_STATE(0x3401, 20, 18, 0),
    KORVEL_MQ_STATE(0x3001, 21, 19, 0), KORVEL_MQ_STATE(0x2801, 22, 19, 0),
    KORVEL_MQ_STATE(0x2401, 23, 20, 0), KORVEL_MQ_STATE(0x2201, 24, 21, 0),
    KORVEL_MQ_STATE(0x1C01, 25, 22, 0), KORVEL_MQ_STATE(0x1801, 26, 23, 0),
    KORVEL_MQ_STATE(0x1601, 27, 24, 0), KORVEL_MQ_STATE(0x1401, 28, 25, 0),
    KORVEL_MQ_STATE(0x1201, 29, 26, 0), KORVEL_MQ_STATE(0x1101, 30, 27, 0),
    KORVEL_MQ_STATE(0x0AC1, 31, 28, 0), KORVEL_MQ_STATE(0x09C1, 32, 29, 0),
    KORVEL_MQ_STATE(0x08A1, 33, 30, 0), KORVEL_MQ_STATE(0x0521, 34, 31, 0),
    KORVEL_MQ_STATE(0x0441, 35, 32, 0), KORVEL_MQ_STATE(0x02A1, 36, 33, 0),
    KORVEL_MQ_STATE(0x0221, 37, 34, 0), KORVEL_MQ_STATE(0x0141, 38, 35, 0),
    KORVEL_MQ_STATE(0x0111, 39, 36, 0), KORVEL_MQ_STATE(0x0085, 40, 37, 0),
    KORVEL_MQ_STATE(0x0049, 41, 38, 0), KORVEL_MQ_STATE(0x0025, 42, 39, 0),
    KORVEL_MQ_STATE(0x0015, 43, 40, 0), KORVEL_MQ_STATE(0x0009, 44, 41, 0),
    KORVEL_MQ_STATE(0x0005, 45, 42, 0), KORVEL_MQ_STATE(0x0001, 45, 43, 0),
    KORVEL_MQ_STATE(0x5601, 46, 46, 0),
};

#undef KORVEL_MQ_STATE

} // namespace

const KernelMQDecoder::State* KernelMQDecoder::stateTable() {
    return kStates;
}

void KernelMQDecoder::byteIn() {
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

void KernelMQDecoder::mqInit(const unsigned char* data, std::size_t length) {
    begin_ = cur_ = data;
    end_ = data + length;
    B_ = length > 0 ? *cur_++ : 0xFF;
    C_ = B_ << 16;
    if (length == 1 || length == 0) {
        C_ += 0xFF00;
        CT_ = 8;
    } else {
        byteIn();
    }
    C_ <<= 7;
    CT_ -= 7;
    A_ = 0x8000;
    for (const State*& context : contexts_)
        context = &kStates[0];
}

} // namespace Korvel
