#include "ByteBuilder.h"

#include <bit>
#include <cstring>

namespace quarn_test {

ByteBuilder& ByteBuilder::be(std::uint64_t value, unsigned width) {
    for (unsigned i = width; i-- > 0;)
        bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
}

ByteBuilder& ByteBuilder::f32(float value) {
    return u32(std::bit_cast<std::uint32_t>(value));
}

ByteBuilder& ByteBuilder::f64(double value) {
    return u64(std::bit_cast<std::uint64_t>(value));
}

ByteBuilder& ByteBuilder::bytes(const Bytes& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
    return *this;
}

ByteBuilder& ByteBuilder::text(const char* chars) {
    bytes_.insert(bytes_.end(), chars, chars + std::strlen(chars));
    return *this;
}

void putBE(Bytes& bytes, std::size_t offset, std::uint64_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i)
        bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
}

} // namespace quarn_test
