#pragma once
// The MQ arithmetic decoder of the raster subblocks: INITDEC, DECODE and RENORMD of JPEG 2000
// (ISO/IEC 15444-1 Annex C) over one plane's bytes at a time, with 19 contexts that start as in
// Table D.7 and carry over from plane to plane.
//
// The decisions are those of the standard's bit-serial RENORMD on a 16-bit code register, into
// which each step shifts the next bit of the plane; a byte after 0xFF adds its top bit to the
// register as a carry and gives its other seven bits, and no marker is looked for. At the end of
// the plane the decoder takes fill bytes, 0xFF after any byte but 0xFF and 0x7F after 0xFF, so it
// reads 1-bits for ever and never reads outside the plane's bytes.
//
// The code is kept in the top 16 bits of a 64-bit register with the bits still to come below it,
// several bytes at a time, and a renormalisation shifts them all in one go. A byte whose carry
// would reach bits not yet shifted in waits until they are, so the code register sees every
// carry at the step the bit-serial procedure does.

#include <array>
#include <cstdint>

namespace Korvel {

// One row of the probability state table (Table C.2 of the standard).
struct KVMQStateRow {
    std::uint16_t qe;
    std::uint8_t nlps;
    std::uint8_t nmps;
    std::uint8_t switchMPS;
    std::uint8_t reserved;
};

inline constexpr std::array<KVMQStateRow, 47> kMQStateTable = {{
    {0x5601, 1, 1, 1, 0},   {0x3401, 6, 2, 0, 0},   {0x1801, 9, 3, 0, 0},   {0x0AC1, 12, 4, 0, 0},
    {0x0521, 29, 5, 0, 0},  {0x0221, 33, 38, 0, 0}, {0x5601, 6, 7, 1, 0},   {0x5401, 14, 8, 0, 0},
    {0x4801, 14, 9, 0, 0},  {0x3801, 14, 10, 0, 0}, {0x3001, 17, 11, 0, 0}, {0x2401, 18, 12, 0, 0},
    {0x1C01, 20, 13, 0, 0}, {0x1601, 21, 29, 0, 0}, {0x5601, 14, 15, 1, 0}, {0x5401, 14, 16, 0, 0},
    {0x5101, 15, 17, 0, 0}, {0x4801, 16, 18, 0, 0}, {0x3801, 17, 19, 0, 0}, {0x3401, 18, 20, 0, 0},
    {0x3001, 19, 21, 0, 0}, {0x2801, 19, 22, 0, 0}, {0x2401, 20, 23, 0, 0}, {0x2201, 21, 24, 0, 0},
    {0x1C01, 22, 25, 0, 0}, {0x1801, 23, 26, 0, 0}, {0x1601, 24, 27, 0, 0}, {0x1401, 25, 28, 0, 0},
    {0x1201, 26, 29, 0, 0}, {0x1101, 27, 30, 0, 0}, {0x0AC1, 28, 31, 0, 0}, {0x09C1, 29, 32, 0, 0},
    {0x08A1, 30, 33, 0, 0}, {0x0521, 31, 34, 0, 0}, {0x0441, 32, 35, 0, 0}, {0x02A1, 33, 36, 0, 0},
    {0x0221, 34, 37, 0, 0}, {0x0141, 35, 38, 0, 0}, {0x0111, 36, 39, 0, 0}, {0x0085, 37, 40, 0, 0},
    {0x0049, 38, 41, 0, 0}, {0x0025, 39, 42, 0, 0}, {0x0015, 40, 43, 0, 0}, {0x0009, 41, 44, 0, 0},
    {0x0005, 42, 45, 0, 0}, {0x0001, 43, 45, 0, 0}, {0x5601, 46, 46, 0, 0},
}};

// A context as one word: Qe in bits 48-63, where it lines up with the code in the code register,
// and the index 2 x state + MPS in bits 0-6.
using KVMQContext = std::uint64_t;

constexpr KVMQContext mqContext(unsigned index) {
    return (KVMQContext(kMQStateTable[index >> 1].qe) << 48) | index;
}

inline constexpr KVMQContext kMQQeMask = KVMQContext(0xFFFF) << 48;

// A context's word after a decision, by 4 x its index + the outcome: 0 without renormalisation
// (the word itself), 1 after the MPS and 2 after the LPS (SWITCH included) with one; 3 unused.
constexpr std::array<KVMQContext, 4 * 94> makeMQTransitions() {
    std::array<KVMQContext, 4 * 94> transitions{};
    for (unsigned state = 0; state < 47; ++state) {
        const KVMQStateRow& row = kMQStateTable[state];
        for (unsigned mps = 0; mps < 2; ++mps) {
            const unsigned index = 2 * state + mps;
            const unsigned lpsMPS = row.switchMPS != 0 ? 1 - mps : mps;
            transitions[4 * index] = mqContext(index);
            transitions[4 * index + 1] = mqContext(2 * row.nmps + mps);
            transitions[4 * index + 2] = mqContext(2 * row.nlps + lpsMPS);
            transitions[4 * index + 3] = mqContext(index);
        }
    }
    return transitions;
}

inline constexpr std::array<KVMQContext, 4 * 94> kMQTransitions = makeMQTransitions();

// The code register C: its top 16 bits are the code compared with Qe, its next ct bits the
// bits taken in but not yet shifted up.
struct KVMQCode {
    std::uint64_t c = 0;
    std::uint32_t ct = 0;
};

// Where the bytes come from: the rest of the plane, and the last byte taken in.
struct KVMQIntake {
    const std::uint8_t* cur = nullptr;
    const std::uint8_t* end = nullptr;
    std::uint32_t b = 0;
};

// Takes in bytes while there is room below the bits already taken in.
KVMQCode mqTakeIn(KVMQCode code, KVMQIntake& intake);
// Shifts the code register by n bits, taking in bytes as they are needed.
KVMQCode mqShift(KVMQCode code, unsigned n, KVMQIntake& intake);

// The registers that every decision works on, apart from the contexts, so that a pass over a
// plane can hold them in locals: the interval A and the code register; the byte intake stays
// in the decoder. A is kept in the top 16 bits, lined up with the code and with Qe in a
// context's word, so that a decision needs neither shifted.
inline constexpr std::uint64_t kMQHalf = std::uint64_t(0x8000) << 48;

struct KVMQRegisters {
    std::uint64_t a = kMQHalf;
    std::uint32_t ct = 0;
    std::uint64_t c = 0;
    KVMQIntake* intake = nullptr;

    // One decision in a context of the given word; next receives the word after it.
    inline unsigned decide(KVMQContext context, KVMQContext& next);
    // One decision in a context (updated).
    unsigned decode(KVMQContext& context) { return decide(context, context); }
};

class KVMQDecoder {
public:
    static constexpr unsigned NumContexts = 19;

    // Contexts as Table D.7: context 0 in state 4, 17 in state 3, 18 in state 46, all others in
    // state 0; every MPS 0.
    KVMQDecoder();
    KVMQDecoder(const KVMQDecoder&) = delete;
    KVMQDecoder& operator=(const KVMQDecoder&) = delete;

    // INITDEC on a plane's bytes; the contexts keep their states.
    void initDec(const std::uint8_t* data, std::uint32_t length);

    // One decision in context cx (below NumContexts).
    unsigned decode(unsigned cx) { return registers_.decode(contexts_[cx]); }

    KVMQRegisters& registers() { return registers_; }
    // The contexts as words (see KVMQContext).
    std::array<KVMQContext, NumContexts>& contexts() { return contexts_; }
    // The state index (0 to 46) and MPS of a context.
    unsigned stateOf(unsigned cx) const { return (contexts_[cx] & 0xFF) >> 1; }
    unsigned mpsOf(unsigned cx) const { return contexts_[cx] & 1; }

private:
    KVMQIntake intake_;
    KVMQRegisters registers_;
    std::array<KVMQContext, NumContexts> contexts_{};
};

inline unsigned KVMQRegisters::decide(KVMQContext w, KVMQContext& next) {
    // DECODE with its exchanges, free of branches on the decision (a branch here mispredicts
    // on every other decision of a noisy plane): the code lies in the lower (LPS) sub-interval
    // or the upper one, and either exchanges when the interval left to the MPS is the smaller.
    // What depends on the sub-interval is chosen by masks, as compilers turn a condition used
    // this often into branches. Everything is in the top 16 bits of 64.
    const std::uint64_t qe = w & kMQQeMask;
    const std::uint64_t rest = a - qe;
    const std::uint64_t lowerMask = std::uint64_t(0) - (c < qe ? 1u : 0u);
    const std::uint32_t lower = static_cast<std::uint32_t>(lowerMask) & 1u;
    const std::uint32_t belowHalf = static_cast<std::uint32_t>(~rest >> 63);
    const std::uint32_t lps = lower ^ (rest < qe ? 1u : 0u);
    // The interval of the decision, Qe below or A - Qe above. It renormalises when below half,
    // as the lower one always is (and then the upper one never exchanges: lps is 0 without
    // renormalisation).
    const std::uint64_t interval = rest ^ ((rest ^ qe) & lowerMask);
    next = kMQTransitions[4 * (w & 0x7F) + (lower | belowHalf) + lps];
    // RENORMD, all its steps at once: the shifts that bring the interval's top bit to bit 63.
    // (The interval is never 0: Qe and A - Qe are both at least 1.)
    const unsigned n = static_cast<unsigned>(__builtin_clzll(interval));
    a = interval << n;
    const std::uint64_t code = c - (qe & ~lowerMask);
    if (n > ct) [[unlikely]] {
        const KVMQCode shifted = mqShift({code, ct}, n, *intake);
        c = shifted.c;
        ct = shifted.ct;
    } else {
        c = code << n;
        ct -= n;
    }
    return (static_cast<unsigned>(w) & 1u) ^ lps;
}

} // namespace Korvel
