#pragma once
// The test side's one way to lay out big-endian bytes: fields appended in order (appendBE, and the
// ByteFields appenders that the file writers build on), and fields patched in place in a file
// already built (putBE).

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace quarn_test {

using Bytes = std::vector<std::uint8_t>;

// Appends the low width bytes of value, most significant first.
void appendBE(Bytes& bytes, std::uint64_t value, unsigned width);

// Appends the characters of a NUL-terminated text, without the NUL.
void appendText(Bytes& bytes, const char* chars);

// Overwrites width bytes at offset with value, big-endian.
void putBE(Bytes& bytes, std::size_t offset, std::uint64_t value, unsigned width);

// Big-endian field appenders that return the writer deriving from them, so that a writer's own
// methods chain with the fields.
template <class Self> class ByteFields {
public:
    Self& be(std::uint64_t value, unsigned width) {
        appendBE(bytes_, value, width);
        return self();
    }
    Self& u8(std::uint64_t value) { return be(value, 1); }
    Self& u16(std::uint64_t value) { return be(value, 2); }
    Self& u32(std::uint64_t value) { return be(value, 4); }
    Self& u64(std::uint64_t value) { return be(value, 8); }
    Self& f32(float value) { return u32(std::bit_cast<std::uint32_t>(value)); }
    Self& f64(double value) { return u64(std::bit_cast<std::uint64_t>(value)); }
    Self& bytes(const Bytes& more) {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
        return self();
    }
    Self& text(const char* chars) {
        appendText(bytes_, chars);
        return self();
    }

    std::size_t size() const { return bytes_.size(); }
    const Bytes& data() const { return bytes_; }
    Bytes take() { return std::move(bytes_); }

protected:
    Self& self() { return static_cast<Self&>(*this); }

    Bytes bytes_;
};

// Appends big-endian fields.
class ByteBuilder : public ByteFields<ByteBuilder> {};

} // namespace quarn_test
