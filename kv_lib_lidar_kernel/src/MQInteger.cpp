#include "MQInteger.h"

#include "BigEndian.h"
#include "Error.h"
#include "KernelBitReader.h"
#include "KernelMQDecoder.h"

#include <algorithm>
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

// Bits of the MQ planes, in the context of each decision: the decoder's registers and the
// contexts the planes use (0 to 35), held as copies for all the MQ planes of a subblock.
struct MQBits {
    KernelMQRegisters registers;
    KernelMQContext contexts[36];
    unsigned operator()(unsigned cx) { return registers.decode(contexts[cx]); }
};
// Bits of the raw planes; the context is not used.
struct RawBits {
    KernelBitReader& reader;
    unsigned operator()(unsigned) { return reader.readBit(); }
};

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
            return (magnitude[j] & above) == 0 ? 1u : (sign[j] != 0 ? 0u : 2u);
        };
        unsigned left = 1;
        unsigned here = state(0);
        for (std::int64_t i = 0; i < static_cast<std::int64_t>(n); ++i) {
            const unsigned right = state(i + 1);
            if (here != 1) {
                if (bits(18 + 3 * ((here == 0 ? 1u : 0u) + 2 * left) + right)) magnitude[i] |= bit;
            } else if (bits(3 * left + right)) {
                sign[i] = static_cast<unsigned char>(bits(9 + 3 * left + right));
                magnitude[i] |= bit;
            }
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
        MQBits mqBits{decoder.registers(), {}};
        std::copy_n(decoder.contexts().begin(), 36, mqBits.contexts);
        decoder.registers() = decodePlanes(mqBits, topPlane_, rawTopPlane_ + 1, n).registers;
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
