#include "KVMQDecoder.h"

namespace Korvel {

KVMQDecoder::KVMQDecoder() {
    // Table D.7: the zero-coding context without significant neighbours starts in state 4, the
    // run-length context in state 3 and the uniform context in state 46.
    contexts_[0] = 2 * 4;
    contexts_[17] = 2 * 3;
    contexts_[18] = 2 * 46;
}

void KVMQDecoder::initDec(const std::uint8_t* data, std::uint32_t length) {
    cur_ = data;
    end_ = data + length;
    // The first byte comes from the plane, or from the fill when the plane is empty.
    b_ = 0;
    byteIn();
    c_ = b_ << 16;
    byteIn();
    c_ <<= 7;
    ct_ -= 7;
    a_ = 0x8000;
}

} // namespace Korvel
