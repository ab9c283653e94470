#include "MQFloatingPoint.h"

#include "KernelMQDecoder.h"

#include <algorithm>
#include <bit>

namespace Korvel {

namespace {

template <class T> constexpr const char* headerFunction() {
    if constexpr (sizeof(T) == 4)
        return "Korvel::SubblockReader::MQFloatingPoint<float,unsigned int>::readSubblockHeader";
    else
        return "Korvel::SubblockReader::MQFloatingPoint<double,unsigned __int64>::"
               "readSubblockHeader";
}

} // namespace

template <class T, class U> void SubblockReader::MQFloatingPoint<T, U>::init() {
    // One and a half times the raw size of a subblock.
    allocateDataBuffer(subblockSize_ * sizeof(T) * 3 / 2);
    topPlane_ = 0;
    rawTopPlane_ = -1;
}

template <class T, class U>
std::uint64_t
SubblockReader::MQFloatingPoint<T, U>::readSubblockHeader(BufferedIOReader& headerReader) {
    return readFloatingPointHeader(headerReader, headerFunction<T>());
}

template <class T, class U>
void SubblockReader::MQFloatingPoint<T, U>::decode(void* buffer, std::uint64_t n) {
    static_assert(sizeof(T) == sizeof(U));
    constexpr unsigned Bits = 8 * sizeof(U);
    KernelMQDecoder decoder;
    decoder.mqInit(dataBuffer_.get(), static_cast<std::size_t>(dataLength_));
    // The registers and the contexts of the bits stay in locals for the whole subblock.
    KernelMQRegisters mq = decoder.registers();
    KernelMQContext contexts[Bits];
    std::copy_n(decoder.contexts().begin(), Bits, contexts);
    T* const out = static_cast<T*>(buffer);
    for (std::uint64_t i = 0; i < n; ++i) {
        U pattern = 0;
#pragma GCC unroll 8
        for (unsigned b = 0; b < Bits; ++b)
            pattern |= U(mq.decode(contexts[b])) << b;
        out[i] = std::bit_cast<T>(pattern);
    }
}

template class SubblockReader::MQFloatingPoint<float, unsigned int>;
template class SubblockReader::MQFloatingPoint<double, std::uint64_t>;

} // namespace Korvel
