#pragma once
// The binary adaptive arithmetic (MQ) decoder of the subblock readers, with 64 contexts. It
// follows the MQ decoder of JPEG 2000 with the kernel's own byte intake: a marker byte (0x90 or
// more after 0xFF) is consumed, adding 0xFF00 once, and the end of the range supplies 0xFF bytes
// for ever, so a decoder never reads outside its range. Lives on the caller's stack for one
// subblock.

#include <cstddef>
#include <cstdint>

namespace Korvel {

class KernelMQDecoder {
public:
    // One entry of the state table: a probability state with its MPS. The SWITCH of the
    // standard's table is folded into the LPS successor.
    struct State {
        std::uint32_t qe;
        std::uint32_t mps;
        const State* nextMPS;
        const State* nextLPS;
    };
    static constexpr unsigned NumContexts = 64;
    static constexpr unsigned NumStates = 94;
    // Entry 2 * state + MPS for the 47 states of the standard's table.
    static const State* stateTable();

    KernelMQDecoder() = default;
    KernelMQDecoder(const KernelMQDecoder&) = delete;
    KernelMQDecoder& operator=(const KernelMQDecoder&) = delete;

    // Starts decoding length bytes at data, every context at state 0 with MPS 0. An empty range
    // reads nothing and decodes as if it held only 0xFF bytes.
    void mqInit(const unsigned char* data, std::size_t length);

    // One decision in context cx (0 to 63).
    unsigned mqDecodeBit(unsigned cx) {
        const State* e = contexts_[cx & (NumContexts - 1)];
        const std::uint32_t qe = e->qe;
        unsigned decision;
        A_ -= qe;
        if ((C_ >> 16) < qe) {
            // The LPS sub-interval, unless the exchange makes it the larger one.
            if (A_ < qe) {
                decision = e->mps;
                contexts_[cx & (NumContexts - 1)] = e->nextMPS;
            } else {
                decision = 1 - e->mps;
                contexts_[cx & (NumContexts - 1)] = e->nextLPS;
            }
            A_ = qe;
        } else {
            C_ -= qe << 16;
            if ((A_ & 0x8000) != 0) return e->mps;
            if (A_ < qe) {
                decision = 1 - e->mps;
                contexts_[cx & (NumContexts - 1)] = e->nextLPS;
            } else {
                decision = e->mps;
                contexts_[cx & (NumContexts - 1)] = e->nextMPS;
            }
        }
        do {
            if (CT_ == 0) byteIn();
            A_ <<= 1;
            C_ <<= 1;
            --CT_;
        } while ((A_ & 0x8000) == 0);
        return decision;
    }

    // Bytes taken in so far, look-ahead included: where data that follows the coded part begins.
    std::size_t bytesTakenIn() const { return static_cast<std::size_t>(cur_ - begin_); }

    std::uint32_t getC() const { return C_; }
    std::uint32_t getA() const { return A_; }
    std::uint32_t getCT() const { return CT_; }

private:
    void byteIn();

    std::uint32_t C_ = 0xFFFFFFFFu;
    std::uint32_t A_ = 0xFFFFFFFFu;
    std::uint32_t CT_ = 0xFFFFFFFFu;
    std::uint32_t B_ = 0xFFFFFFFFu;
    const State* contexts_[NumContexts] = {};
    const unsigned char* begin_ = nullptr;
    const unsigned char* cur_ = nullptr;
    const unsigned char* end_ = nullptr;
};

} // namespace Korvel
