#include "qg3/container/QG3BandSet.h"

#include "support/KVStatusGuard.h"

#include <cstring>

namespace Korvel {

QG3BandSet::QG3BandSet(const QG3BandSet& other) {
    *this = other;
}

QG3BandSet& QG3BandSet::operator=(const QG3BandSet& other) {
    if (this == &other) return *this;
    std::unique_ptr<std::uint8_t[]> bits;
    if (other.bits_)
        bits.reset(kvThrowOutOfMemory([&] { return new std::uint8_t[other.byteCount()]; }));
    bits_ = std::move(bits);
    bitCount_ = other.bitCount_;
    setCount_ = other.setCount_;
    std::memcpy(data(), other.data(), byteCount());
    return *this;
}

KVStatus QG3BandSet::resizeAll(std::uint16_t n) {
    std::unique_ptr<std::uint8_t[]> bits;
    if (n > kInlineBands)
        KV_RETURN_IF_FAILED(kvGuard([&] { bits.reset(new std::uint8_t[(n + 7u) / 8u]); }));
    bits_ = std::move(bits);
    bitCount_ = n;
    setAll();
    return KV_OK;
}

void QG3BandSet::setAll() {
    if (bitCount_ == 0) return;
    std::memset(data(), 0xFF, byteCount());
    // The last byte holds only the bits of existing bands.
    if (bitCount_ % 8 != 0)
        data()[byteCount() - 1] = static_cast<std::uint8_t>((1u << (bitCount_ % 8)) - 1);
    setCount_ = bitCount_;
}

void QG3BandSet::clearAll() {
    if (bitCount_ > 0) std::memset(data(), 0, byteCount());
    setCount_ = 0;
}

void QG3BandSet::set(std::uint16_t band) {
    if (band >= bitCount_ || isSet(band)) return;
    data()[band / 8] = static_cast<std::uint8_t>(data()[band / 8] | (1u << (band % 8)));
    ++setCount_;
}

bool QG3BandSet::isSet(std::uint16_t band) const {
    return band < bitCount_ && (data()[band / 8] >> (band % 8)) & 1u;
}

bool QG3BandSet::operator==(const QG3BandSet& other) const {
    if (bitCount_ != other.bitCount_ || setCount_ != other.setCount_) return false;
    return bitCount_ == 0 || std::memcmp(data(), other.data(), byteCount()) == 0;
}

} // namespace Korvel
