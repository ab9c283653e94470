#include "KernelMQDecoder.h"

#include <algorithm>
#include <cstring>

namespace Korvel {

namespace {

// The bits a byte of the range gives the bit-serial procedure: seven after a 0xFF when below
// 0x90 (a marker adds 0xFF00, eight bits), else eight. at is the byte's position, after the first.
unsigned bitsOf(const std::uint8_t* at) {
    return at[-1] == 0xFF && at[0] < 0x90 ? 7 : 8;
}

} // namespace

KernelMQCode kernelMQTakeIn(KernelMQCode code, KernelMQIntake& in) {
    // Four bytes at once when none of them follows a 0xFF, so that all 32 bits go in as they
    // stand: the next byte's top bit goes to bit 47 - ct, and the four need ct at most 16.
    if (code.ct <= 16 && in.b != 0xFF && in.end - in.cur >= 4) {
        std::uint32_t x;
        std::memcpy(&x, in.cur, 4);
        x = __builtin_bswap32(x);
        if ((x >> 24) != 0xFF && ((x >> 16) & 0xFF) != 0xFF && ((x >> 8) & 0xFF) != 0xFF) {
            code.c += std::uint64_t(x) << (16 - code.ct);
            code.ct += 32;
            in.cur += 4;
            in.b = x & 0xFF;
        }
    }
    while (code.ct <= 40) {
        if (in.cur == in.end) {
            // Past the end: 0xFF00, eight bits, for ever.
            code.c += std::uint64_t(0xFF) << (40 - code.ct);
            code.ct += 8;
            ++in.fills;
            continue;
        }
        const std::uint32_t x = *in.cur;
        if (in.b != 0xFF) {
            code.c += std::uint64_t(x) << (40 - code.ct);
            code.ct += 8;
        } else if (x >= 0x90) {
            // A marker: consumed, adding 0xFF00 once.
            code.c += std::uint64_t(0xFF) << (40 - code.ct);
            code.ct += 8;
        } else {
            // Seven bits, and the top bit a carry into the last bit of the 0xFF. A carry waits
            // while bits of the 0xFF are still to be shifted up, as it reaches the code only then.
            if (x >= 0x80 && code.ct > 0) break;
            code.c += std::uint64_t(x) << (41 - code.ct);
            code.ct += 7;
        }
        ++in.cur;
        in.b = x;
    }
    return code;
}

KernelMQCode kernelMQShift(KernelMQCode code, unsigned n, KernelMQIntake& in) {
    code = kernelMQTakeIn(code, in);
    // Fewer bits than shifts only while a carry waits: shift those in first.
    while (n > code.ct) {
        code.c <<= code.ct;
        n -= code.ct;
        code.ct = 0;
        code = kernelMQTakeIn(code, in);
    }
    code.c <<= n;
    code.ct -= n;
    return code;
}

void KernelMQDecoder::mqInit(const unsigned char* data, std::size_t length) {
    KernelMQIntake& in = intake_;
    in.begin = in.cur = data;
    in.end = data + length;
    in.fills = 0;
    // The bit-serial start on its 32-bit register: the first byte, the second taken in as any
    // later byte (or the end's 0xFF00 when the range is shorter), seven shifts. The register then
    // moves to the top of the 64-bit one and the rest of the room is filled.
    in.b = length > 0 ? *in.cur++ : 0xFF;
    std::uint32_t c = in.b << 16;
    std::uint32_t ct = 8;
    if (length < 2) {
        c += 0xFF00;
    } else {
        const std::uint32_t x = *in.cur++;
        if (in.b != 0xFF)
            c += x << 8;
        else if (x >= 0x90)
            c += 0xFF00;
        else {
            c += x << 9;
            ct = 7;
        }
        in.b = x;
    }
    const KernelMQCode code = kernelMQTakeIn({std::uint64_t(c << 7) << 32, ct - 7}, in);
    registers_.c = code.c;
    registers_.ct = code.ct;
    registers_.a = kKernelMQHalf;
    contexts_.fill(kernelMQContext(0));
}

KernelMQDecoder::Serial KernelMQDecoder::serial() const {
    // The bit-serial procedure takes in a byte only when a shift needs its first bit: the bytes
    // whose bits all still wait below the code are not taken in yet. Walk back over them, the
    // 0xFF bytes supplied past the end first; the start's bytes are always taken in.
    const KernelMQIntake& in = intake_;
    const std::uint8_t* const start =
        in.begin + std::min<std::size_t>(static_cast<std::size_t>(in.end - in.begin), 2);
    std::uint32_t pending = registers_.ct;
    std::uint64_t fills = in.fills;
    const std::uint8_t* cur = in.cur;
    for (;;) {
        const unsigned bits = fills > 0 ? 8 : cur > start ? bitsOf(cur - 1) : 64;
        if (bits > pending) break;
        pending -= bits;
        if (fills > 0)
            --fills;
        else
            --cur;
    }
    return {static_cast<std::size_t>(cur - in.begin), pending};
}

std::size_t KernelMQDecoder::bytesTakenIn() const {
    return serial().taken;
}

std::uint32_t KernelMQDecoder::getCT() const {
    return serial().ct;
}

std::uint32_t KernelMQDecoder::getC() const {
    // The code and the CT bits below it; the bit-serial register holds no bits further down.
    const std::uint32_t top = static_cast<std::uint32_t>(registers_.c >> 32);
    return top & ~((std::uint32_t(1) << (16 - serial().ct)) - 1);
}

} // namespace Korvel
