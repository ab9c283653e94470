#include "MQInteger.h"

#include "BigEndian.h"
#include "Error.h"
#include "KernelBitReader.h"
#include "KernelMQDecoder.h"

#include <array>
#include <cstring>

namespace Korvel {

namespace {

template <class T> struct Names;
template <> struct Names<short> {
    static constexpr const char* header =
        "Korvel::SubblockReader::MQInteger<short,unsigned short>::readSubblockHeader";
    static constexpr const char* decode =
        "Korvel::SubblockReader::MQInteger<short,unsigned short>::decode";
};
template <> struct Names<int> {
    static constexpr const char* header =
        "Korvel::SubblockReader::MQInteger<int,unsigned int>::readSubblockHeader";
    static constexpr const char* decode =
        "Korvel::SubblockReader::MQInteger<int,unsigned int>::decode";
};
template <> struct Names<std::int64_t> {
    static constexpr const char* header =
        "Korvel::SubblockReader::MQInteger<__int64,unsigned __int64>::readSubblockHeader";
    static constexpr const char* decode =
        "Korvel::SubblockReader::MQInteger<__int64,unsigned __int64>::decode";
};

// Bits of the MQ planes, each in its context. The decoder's registers are a copy held for all
// the MQ planes of a subblock, so that they stay in machine registers; the contexts are a copy
// on the stack. The word of the last decision's context is held in a register and written back
// only after the next decision's context is read: a run of decisions in one context (the
// significance context of an empty neighbourhood, a refinement context) passes the word from
// one decision to the next in a register, and a read never waits for the write before it.
struct MQBits {
    KernelMQRegisters registers;
    KernelMQContext* contexts; // apart, so that the scalars here can live in machine registers
    unsigned last = 0;
    KernelMQContext lastWord = contexts[0];

    unsigned operator()(unsigned cx) {
        const KernelMQContext stored = contexts[cx];
        contexts[last] = lastWord;
        const KernelMQContext w = cx == last ? lastWord : stored;
        last = cx;
        return registers.decide(w, lastWord);
    }
};
// Bits of the raw planes; the context is not used.
struct RawBits {
    KernelBitReader& reader;
    unsigned operator()(unsigned) { return reader.readBit(); }
};

// The context of a sample's refinement or significance decision by 9 x its state + 3 x its
// left neighbour's + its right neighbour's: significance in 3l + r for a sample not yet
// significant (state 1), refinement in 18 + 3 (s + 2l) + r for one significant with sign s.
constexpr std::array<unsigned char, 27> makeContexts() {
    std::array<unsigned char, 27> contexts{};
    for (unsigned here = 0; here < 3; ++here)
        for (unsigned l = 0; l < 3; ++l)
            for (unsigned r = 0; r < 3; ++r)
                contexts[9 * here + 3 * l + r] = static_cast<unsigned char>(
                    here == 1 ? 3 * l + r : 18 + 3 * ((here == 0 ? 1 : 0) + 2 * l) + r);
    return contexts;
}
constexpr std::array<unsigned char, 27> kContexts = makeContexts();

} // namespace

template <class T, class U> void SubblockReader::MQInteger<T, U>::init() {
    // One and a half times the raw size of a subblock.
    allocateDataBuffer(subblockSize_ * sizeof(T) * 3 / 2);
    signs_ = allocate<unsigned char>(subblockSize_ + 2);
    magnitudes_ = allocate<U>(subblockSize_ + 2);
    planeTable_ = allocate<PlaneEntry>(MaxPlane + 1);
}

template <class T, class U>
std::uint64_t SubblockReader::MQInteger<T, U>::readSubblockHeader(BufferedIOReader& headerReader) {
    std::uint16_t v = 0;
    if (!BigEndian::read(headerReader, v))
        KORVEL_FAIL("SubblockReader", Names<T>::header, ErrorCode::Subband,
                    "bad read -- subblock header");
    if (v < 2048) {
        topPlane_ = lowestPlane_ = -1;
        rawTopPlane_ = -2;
        return std::uint64_t(v) + 1;
    }
    // 2048 itself and values above the largest plane range encode no valid range.
    if (v == 2048 || v > MaxHeader)
        KORVEL_FAIL("SubblockReader", Names<T>::header, ErrorCode::Subband, "bad subblock header");
    // Unpack the range: T from the block of values that w falls in, then L, then S.
    const std::int64_t w = v - 2048;
    std::int64_t t = 0;
    while (t < MaxPlane && w >= (t + 6) * (t + 2) * (t + 1) / 6 + 1)
        ++t;
    const std::int64_t r = w - t * (t + 1) * (t + 5) / 6;
    std::int64_t l = t;
    while (l > 0 && r < l * (2 * t - l + 5) / 2 + 1)
        --l;
    const std::int64_t s = l - 2 + r - l * (2 * t - l + 5) / 2;
    topPlane_ = static_cast<int>(t);
    lowestPlane_ = static_cast<int>(l);
    rawTopPlane_ = static_cast<int>(s);
    dataLength_ = readPlaneLengths(headerReader);
    checkDataLength(Names<T>::header);
    return 0;
}

template <class T, class U>
template <class Bits>
Bits SubblockReader::MQInteger<T, U>::decodePlanes(Bits bits, int top, int bottom,
                                                   std::uint64_t n) {
    unsigned char* const sign = signs_.get() + 1;
    U* const magnitude = magnitudes_.get() + 1;
    for (int plane = top; plane >= bottom; --plane) {
        const U bit = static_cast<U>(U(1) << plane);
        // Significance is judged by the bits above this plane only.
        const U above = static_cast<U>(~static_cast<U>(static_cast<U>(bit - 1) | bit));
        // Neighbour state: 1 not yet significant, 0 significant negative, 2 significant
        // positive. A sample's state stays as it was for the whole plane, so each is worked out
        // once, as the right neighbour, and carried on.
        auto state = [&](std::int64_t j) -> unsigned {
            const unsigned significant = (magnitude[j] & above) != 0 ? 1u : 0u;
            return 1u + significant - 2u * (significant & sign[j]);
        };
        unsigned left = 1;
        unsigned here = state(0);
        for (std::int64_t i = 0; i < static_cast<std::int64_t>(n); ++i) {
            const unsigned right = state(i + 1);
            // One decision either way, refinement or significance, in the context the three
            // states give; a 1 sets the bit, and only a sample that becomes significant goes on
            // to its sign.
            const unsigned significant = here != 1 ? 1u : 0u;
            const unsigned d = bits(kContexts[9 * here + 3 * left + right]);
            magnitude[i] |= static_cast<U>(bit & (U(0) - U(d)));
            if (d > significant) sign[i] = static_cast<unsigned char>(bits(9 + 3 * left + right));
            left = here;
            here = right;
        }
    }
    return bits;
}

template <class T, class U>
void SubblockReader::MQInteger<T, U>::decode(void* buffer, std::uint64_t n) {
    std::memset(signs_.get(), 0, static_cast<std::size_t>(n + 2));
    std::memset(magnitudes_.get(), 0, static_cast<std::size_t>((n + 2) * sizeof(U)));
    const unsigned char* const data = dataBuffer_.get();
    const std::size_t length = static_cast<std::size_t>(dataLength_);
    // The MQ start always happens and takes in the first bytes, even without MQ planes.
    KernelMQDecoder decoder;
    decoder.mqInit(data, length);
    if (topPlane_ > rawTopPlane_) {
        std::array<KernelMQContext, KernelMQDecoder::NumContexts> contexts = decoder.contexts();
        decoder.registers() = decodePlanes(MQBits{decoder.registers(), contexts.data()}, topPlane_,
                                           rawTopPlane_ + 1, n)
                                  .registers;
    }
    if (rawTopPlane_ >= lowestPlane_) {
        const std::size_t start = decoder.bytesTakenIn();
        KernelBitReader reader;
        reader.init(data + start, length - start);
        for (int p = rawTopPlane_; p >= lowestPlane_; --p) {
            decodePlanes(RawBits{reader}, p, p, n);
            if (reader.exhausted())
                KORVEL_FAIL("SubblockReader", Names<T>::decode, ErrorCode::Subband,
                            "raw bits past the end of subblock data");
        }
    }
    T* const out = static_cast<T*>(buffer);
    const unsigned char* const sign = signs_.get() + 1;
    const U* const magnitude = magnitudes_.get() + 1;
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = static_cast<T>(sign[i] != 0 ? static_cast<U>(U(0) - magnitude[i]) : magnitude[i]);
}

template class SubblockReader::MQInteger<short, unsigned short>;
template class SubblockReader::MQInteger<int, unsigned int>;
template class SubblockReader::MQInteger<std::int64_t, std::uint64_t>;

} // namespace Korvel
