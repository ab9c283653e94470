#pragma once
// The MQ arithmetic decoder of the raster subblocks: INITDEC, DECODE and RENORMD of JPEG 2000
// (ISO/IEC 15444-1 Annex C) over one plane's bytes at a time, with 19 contexts that start as in
// Table D.7 and carry over from plane to plane.
//
// The code register is the standard's 32-bit C: its high 16 bits are the code compared with Qe,
// its low bits hold the bits of the last byte taken in that are not yet shifted up, and CT
// counts them. Shifting the whole register once per renormalisation step gives the same
// decisions as shifting single bits into a 16-bit code register, with one byte fetch per eight
// steps. A byte after 0xFF adds its top bit as a carry and gives seven bits; no marker is looked
// for. At the end of the plane the decoder takes fill bytes, 0xFF after any byte but 0xFF and
// 0x7F after 0xFF, so it reads 1-bits for ever and never reads outside the plane's bytes.

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

// A context's state and MPS as one index, 2 x state + MPS, with the successors after an MPS and
// an LPS renormalisation worked out from the table (SWITCH included).
struct KVMQEntry {
    std::uint16_t qe;
    std::uint8_t nextMPS;
    std::uint8_t nextLPS;
};

constexpr std::array<KVMQEntry, 94> makeMQEntries() {
    std::array<KVMQEntry, 94> entries{};
    for (unsigned state = 0; state < 47; ++state) {
        const KVMQStateRow& row = kMQStateTable[state];
        for (unsigned mps = 0; mps < 2; ++mps) {
            const unsigned lpsMPS = row.switchMPS != 0 ? 1 - mps : mps;
            entries[2 * state + mps] = {row.qe, static_cast<std::uint8_t>(2 * row.nmps + mps),
                                        static_cast<std::uint8_t>(2 * row.nlps + lpsMPS)};
        }
    }
    return entries;
}

inline constexpr std::array<KVMQEntry, 94> kMQEntries = makeMQEntries();

class KVMQDecoder {
public:
    static constexpr unsigned NumContexts = 19;

    // Contexts as Table D.7: context 0 in state 4, 17 in state 3, 18 in state 46, all others in
    // state 0; every MPS 0.
    KVMQDecoder();

    // INITDEC on a plane's bytes; the contexts keep their states.
    void initDec(const std::uint8_t* data, std::uint32_t length);

    // One decision in context cx (below NumContexts).
    inline unsigned decode(unsigned cx);

    // The state index (0 to 46) and MPS of a context.
    unsigned stateOf(unsigned cx) const { return contexts_[cx] >> 1; }
    unsigned mpsOf(unsigned cx) const { return contexts_[cx] & 1; }

private:
    inline void byteIn();
    inline void renormalise();

    std::uint32_t a_ = 0x8000;
    std::uint32_t c_ = 0;
    std::uint32_t ct_ = 0;
    std::uint32_t b_ = 0; // the last byte taken in
    const std::uint8_t* cur_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    std::array<std::uint8_t, NumContexts> contexts_{};
};

// BYTEIN, with the fill past the end of the plane.
inline void KVMQDecoder::byteIn() {
    const std::uint32_t fill = b_ == 0xFF ? 0x7F : 0xFF;
    const std::uint32_t x = cur_ != end_ ? *cur_++ : fill;
    if (b_ == 0xFF) {
        c_ += x << 9;
        ct_ = 7;
    } else {
        c_ += x << 8;
        ct_ = 8;
    }
    b_ = x;
}

inline void KVMQDecoder::renormalise() {
    do {
        if (ct_ == 0) byteIn();
        a_ <<= 1;
        c_ <<= 1;
        --ct_;
    } while ((a_ & 0x8000) == 0);
}

inline unsigned KVMQDecoder::decode(unsigned cx) {
    std::uint8_t& context = contexts_[cx];
    const KVMQEntry e = kMQEntries[context];
    const std::uint32_t qe = e.qe;
    const unsigned mps = context & 1u;
    unsigned d;
    a_ -= qe;
    if ((c_ >> 16) < qe) {
        // LPS_EXCHANGE
        if (a_ < qe) {
            d = mps;
            context = e.nextMPS;
        } else {
            d = mps ^ 1u;
            context = e.nextLPS;
        }
        a_ = qe;
    } else {
        c_ -= qe << 16;
        if ((a_ & 0x8000) != 0) return mps;
        // MPS_EXCHANGE
        if (a_ < qe) {
            d = mps ^ 1u;
            context = e.nextLPS;
        } else {
            d = mps;
            context = e.nextMPS;
        }
    }
    renormalise();
    return d;
}

} // namespace Korvel
