#pragma once
// The binary adaptive arithmetic (MQ) decoder of the subblock readers, with 64 contexts. It
// follows the MQ decoder of JPEG 2000 with the kernel's own byte intake: a byte after 0xFF below
// 0x90 gives seven bits and adds its top bit to the code as a carry; a marker byte (0x90 or more
// after 0xFF) is consumed, adding 0xFF00 once; the end of the range supplies 0xFF bytes for ever,
// so a decoder never reads outside its range. Lives on the caller's stack for one subblock.
//
// The decisions are those of the bit-serial procedure, which takes in one byte each time its
// bit count runs out and shifts one bit per renormalisation step. Here the code is kept in the
// top 16 bits of a 64-bit register with the bits still to come below it, several bytes at a
// time, and a renormalisation shifts them all in one go. A byte after 0xFF whose top bit is set
// waits until the bits before it are shifted up, so that its carry reaches the code at the step
// it does in the bit-serial procedure. That procedure's count of bytes taken in, bit count and
// code register are worked out from this state when asked for.

#include <array>
#include <cstddef>
#include <cstdint>

namespace Korvel {

// A context as one word: Qe in bits 48-63, where it lines up with the code in the code register,
// and the entry 2 x state + MPS in bits 0-6.
using KernelMQContext = std::uint64_t;

// Qe, NMPS, NLPS and SWITCH of the 47 probability states of the MQ coder.
struct KernelMQState {
    std::uint16_t qe;
    std::uint8_t nmps;
    std::uint8_t nlps;
    std::uint8_t switchMPS;
};

inline constexpr std::array<KernelMQState, 47> kKernelMQStates = {{
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
}};

constexpr KernelMQContext kernelMQContext(unsigned entry) {
    return (KernelMQContext(kKernelMQStates[entry >> 1].qe) << 48) | entry;
}

inline constexpr KernelMQContext kKernelMQQeMask = KernelMQContext(0xFFFF) << 48;

// A context's word after a decision, by 4 x its entry + the outcome: 0 without renormalisation
// (the word itself), 1 after the MPS and 2 after the LPS (SWITCH included) with one; 3 unused.
constexpr std::array<KernelMQContext, 4 * 94> makeKernelMQTransitions() {
    std::array<KernelMQContext, 4 * 94> transitions{};
    for (unsigned state = 0; state < 47; ++state) {
        const KernelMQState& row = kKernelMQStates[state];
        for (unsigned mps = 0; mps < 2; ++mps) {
            const unsigned entry = 2 * state + mps;
            const unsigned lpsMPS = row.switchMPS != 0 ? 1 - mps : mps;
            transitions[4 * entry] = kernelMQContext(entry);
            transitions[4 * entry + 1] = kernelMQContext(2 * row.nmps + mps);
            transitions[4 * entry + 2] = kernelMQContext(2 * row.nlps + lpsMPS);
            transitions[4 * entry + 3] = kernelMQContext(entry);
        }
    }
    return transitions;
}

inline constexpr std::array<KernelMQContext, 4 * 94> kKernelMQTransitions =
    makeKernelMQTransitions();

// The code register: its top 16 bits are the code compared with Qe, its next ct bits the bits
// taken in but not yet shifted up.
struct KernelMQCode {
    std::uint64_t c = 0;
    std::uint32_t ct = 0;
};

// Where the bytes come from: the range, the read position, the last byte taken in and the
// number of 0xFF bytes supplied past the end.
struct KernelMQIntake {
    const std::uint8_t* begin = nullptr;
    const std::uint8_t* cur = nullptr;
    const std::uint8_t* end = nullptr;
    std::uint32_t b = 0;
    std::uint64_t fills = 0;
};

// Takes in bytes while there is room below the bits already taken in.
KernelMQCode kernelMQTakeIn(KernelMQCode code, KernelMQIntake& intake);
// Shifts the code register by n bits, taking in bytes as they are needed.
KernelMQCode kernelMQShift(KernelMQCode code, unsigned n, KernelMQIntake& intake);

// The interval A in the top 16 bits, lined up with the code and with Qe in a context's word.
inline constexpr std::uint64_t kKernelMQHalf = std::uint64_t(0x8000) << 48;

// The registers that every decision works on, apart from the contexts, so that a subblock
// decoder can hold them in locals: the interval, the code register and its bit count; the byte
// intake stays in the decoder.
struct KernelMQRegisters {
    std::uint64_t a = kKernelMQHalf;
    std::uint64_t c = 0;
    std::uint32_t ct = 0;
    KernelMQIntake* intake = nullptr;

    // One decision in a context of the given word; next receives the word after it.
    inline unsigned decide(KernelMQContext context, KernelMQContext& next);
    // One decision in a context (updated).
    unsigned decode(KernelMQContext& context) { return decide(context, context); }
};

class KernelMQDecoder {
public:
    static constexpr unsigned NumContexts = 64;

    KernelMQDecoder() { registers_.intake = &intake_; }
    KernelMQDecoder(const KernelMQDecoder&) = delete;
    KernelMQDecoder& operator=(const KernelMQDecoder&) = delete;

    // Starts decoding length bytes at data, every context at state 0 with MPS 0. An empty range
    // reads nothing and decodes as if it held only 0xFF bytes.
    void mqInit(const unsigned char* data, std::size_t length);

    // One decision in context cx (0 to 63).
    unsigned mqDecodeBit(unsigned cx) {
        return registers_.decode(contexts_[cx & (NumContexts - 1)]);
    }

    // For decoders that keep the registers and contexts in locals over a subblock: take them,
    // decide, and put the registers back before asking for the intake below.
    KernelMQRegisters& registers() { return registers_; }
    std::array<KernelMQContext, NumContexts>& contexts() { return contexts_; }

    // Bytes taken in so far by the bit-serial procedure, its look-ahead included: where data that
    // follows the coded part begins.
    std::size_t bytesTakenIn() const;

    // The registers of the bit-serial procedure: C (the code in bits 16-31, the CT bits still to
    // come below it), A and CT.
    std::uint32_t getC() const;
    std::uint32_t getA() const { return static_cast<std::uint32_t>(registers_.a >> 48); }
    std::uint32_t getCT() const;
    // The state (0 to 46) and MPS of a context.
    unsigned stateOf(unsigned cx) const { return (contexts_[cx] & 0x7F) >> 1; }
    unsigned mpsOf(unsigned cx) const { return contexts_[cx] & 1; }

private:
    struct Serial {
        std::size_t taken;
        std::uint32_t ct;
    };
    Serial serial() const;

    KernelMQIntake intake_;
    KernelMQRegisters registers_;
    std::array<KernelMQContext, NumContexts> contexts_{};
};

inline unsigned KernelMQRegisters::decide(KernelMQContext w, KernelMQContext& next) {
    // DECODE with its exchanges, free of branches on the decision (a branch here mispredicts on
    // every other decision of noisy data): the code lies in the lower (LPS) sub-interval or the
    // upper one, and either exchanges when the interval left to the MPS is the smaller. What
    // depends on the sub-interval is chosen by masks. Everything is in the top 16 bits of 64.
    const std::uint64_t qe = w & kKernelMQQeMask;
    const std::uint64_t rest = a - qe;
    const std::uint64_t lowerMask = std::uint64_t(0) - (c < qe ? 1u : 0u);
    const std::uint32_t lower = static_cast<std::uint32_t>(lowerMask) & 1u;
    const std::uint32_t belowHalf = static_cast<std::uint32_t>(~rest >> 63);
    const std::uint32_t lps = lower ^ (rest < qe ? 1u : 0u);
    // The interval of the decision, Qe below or A - Qe above. It renormalises when below half,
    // as the lower one always is (and then the upper one never exchanges: lps is 0 without
    // renormalisation).
    const std::uint64_t interval = rest ^ ((rest ^ qe) & lowerMask);
    next = kKernelMQTransitions[4 * (w & 0x7F) + (lower | belowHalf) + lps];
    // RENORMD, all its steps at once: the shifts that bring the interval's top bit to bit 63.
    // (The interval is never 0: Qe and A - Qe are both at least 1.)
    const unsigned n = static_cast<unsigned>(__builtin_clzll(interval));
    a = interval << n;
    const std::uint64_t code = c - (qe & ~lowerMask);
    if (n > ct) [[unlikely]] {
        const KernelMQCode shifted = kernelMQShift({code, ct}, n, *intake);
        c = shifted.c;
        ct = shifted.ct;
    } else {
        c = code << n;
        ct -= n;
    }
    return (static_cast<unsigned>(w) & 1u) ^ lps;
}

} // namespace Korvel
