#include "ByteBuilder.h"

namespace quarn_test {

void appendBE(Bytes& bytes, std::uint64_t value, unsigned width) {
    for (unsigned i = width; i-- > 0;)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Out of line and byte by byte: GCC 12 at -O3 reports a false -Wstringop-overflow for a range
// insert of a text into an empty vector once it can see both.
void appendText(Bytes& bytes, const char* chars) {
    for (; *chars != '\0'; ++chars)
        bytes.push_back(static_cast<std::uint8_t>(*chars));
}

void putBE(Bytes& bytes, std::size_t offset, std::uint64_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i)
        bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
}

} // namespace quarn_test
