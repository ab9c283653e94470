#include "KVMQDecoder.h"

#include "support/KVBigEndian.h"

namespace Korvel {

KVMQDecoder::KVMQDecoder() {
    registers_.intake = &intake_;
    // Table D.7: the zero-coding context without significant neighbours starts in state 4, the
    // run-length context in state 3 and the uniform context in state 46.
    contexts_.fill(mqContext(0));
    contexts_[0] = mqContext(2 * 4);
    contexts_[17] = mqContext(2 * 3);
    contexts_[18] = mqContext(2 * 46);
}

KVMQCode mqTakeIn(KVMQCode code, KVMQIntake& in) {
    // Four bytes at once when none of them follows a 0xFF, so that all 32 bits go in as they
    // stand: the next byte's top bit goes to bit 47 - ct, and the four need ct at most 16.
    if (code.ct <= 16 && in.b != 0xFF && in.end - in.cur >= 4) {
        const std::uint32_t x = loadBE<std::uint32_t>(in.cur);
        if ((x >> 24) != 0xFF && ((x >> 16) & 0xFF) != 0xFF && ((x >> 8) & 0xFF) != 0xFF) {
            code.c += std::uint64_t(x) << (16 - code.ct);
            code.ct += 32;
            in.cur += 4;
            in.b = x & 0xFF;
        }
    }
    // The bits taken in lie below the code: the next byte's top bit goes to bit 47 - ct.
    while (code.ct <= 40) {
        const bool inPlane = in.cur != in.end;
        const std::uint32_t x = inPlane ? *in.cur : (in.b == 0xFF ? 0x7F : 0xFF);
        if (in.b == 0xFF) {
            // Seven bits, and the top bit a carry into the last bit of the 0xFF. A carry waits
            // while bits of the 0xFF are still to be shifted up, as it reaches the code only then.
            if (x >= 0x80 && code.ct > 0) break;
            code.c += std::uint64_t(x) << (41 - code.ct);
            code.ct += 7;
        } else {
            code.c += std::uint64_t(x) << (40 - code.ct);
            code.ct += 8;
        }
        if (inPlane) ++in.cur;
        in.b = x;
    }
    return code;
}

KVMQCode mqShift(KVMQCode code, unsigned n, KVMQIntake& in) {
    code = mqTakeIn(code, in);
    // Fewer bits than shifts only while a carry waits: shift those in first.
    while (n > code.ct) {
        code.c <<= code.ct;
        n -= code.ct;
        code.ct = 0;
        code = mqTakeIn(code, in);
    }
    code.c <<= n;
    code.ct -= n;
    return code;
}

void KVMQDecoder::initDec(const std::uint8_t* data, std::uint32_t length) {
    KVMQIntake& in = intake_;
    in.cur = data;
    in.end = data + length;
    // INITDEC on the standard's 32-bit register: the first byte from the plane, or from the fill
    // when the plane is empty (as after any byte but 0xFF); the second taken in as any later
    // byte; seven shifts. The register then moves to the top of the 64-bit one.
    const std::uint32_t first = in.cur != in.end ? *in.cur++ : 0xFF;
    const std::uint32_t second = in.cur != in.end ? *in.cur++ : (first == 0xFF ? 0x7F : 0xFF);
    std::uint32_t c = first << 16;
    std::uint32_t ct;
    if (first == 0xFF) {
        c += second << 9;
        ct = 7;
    } else {
        c += second << 8;
        ct = 8;
    }
    in.b = second;
    const KVMQCode code = mqTakeIn({std::uint64_t(c << 7) << 32, ct - 7}, in);
    registers_.c = code.c;
    registers_.ct = code.ct;
    registers_.a = kMQHalf;
}

} // namespace Korvel
