#pragma once
// The test side's one way to lay out big-endian bytes: fields appended in order, and fields
// patched in place in a file already built.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace quarn_test {

using Bytes = std::vector<std::uint8_t>;

// Appends big-endian fields.
class ByteBuilder {
public:
    ByteBuilder& be(std::uint64_t value, unsigned width);
    ByteBuilder& u8(std::uint64_t value) { return be(value, 1); }
    ByteBuilder& u16(std::uint64_t value) { return be(value, 2); }
    ByteBuilder& u32(std::uint64_t value) { return be(value, 4); }
    ByteBuilder& u64(std::uint64_t value) { return be(value, 8); }
    ByteBuilder& f32(float value);
    ByteBuilder& f64(double value);
    ByteBuilder& bytes(const Bytes& more);
    ByteBuilder& text(const char* chars);

    std::size_t size() const { return bytes_.size(); }
    const Bytes& data() const { return bytes_; }
    Bytes take() { return std::move(bytes_); }

private:
    Bytes bytes_;
};

// Overwrites width bytes at offset with value, big-endian.
void putBE(Bytes& bytes, std::size_t offset, std::uint64_t value, unsigned width);

} // namespace quarn_test
