#pragma once
// Writes classical metadata blocks byte by byte from the layout, for the reader's tests and for
// the files of the raster readers' tests. All integers are big-endian.
//
//   block:  u16 first header word, u16 second header word, records...
//   record: u32 tag, zero-terminated name, u32 type code, u32 count, u32 number of dimensions,
//           u32 per dimension, count elements (1-byte values as they stand, 2-, 4- and 8-byte
//           values big-endian, texts as zero-terminated strings)
//
// Whole records come from the typed helpers; the raw pieces (header, be, text, raw) make broken
// and hand-made blocks.

#include "ByteBuilder.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quarn_test {

// Block type codes (not the record data types they become).
namespace cm {
inline constexpr std::uint32_t U8 = 1;
inline constexpr std::uint32_t U16 = 2;
inline constexpr std::uint32_t U32 = 3;
inline constexpr std::uint32_t TEXT = 5;
inline constexpr std::uint32_t F32 = 6;
inline constexpr std::uint32_t F64 = 7;
inline constexpr std::uint32_t S8 = 8;
inline constexpr std::uint32_t S16 = 9;
inline constexpr std::uint32_t S32 = 10;
} // namespace cm

class ClassicalMetadataWriter : public ByteFields<ClassicalMetadataWriter> {
public:
    // Starts the block with its two header words.
    explicit ClassicalMetadataWriter(std::uint16_t firstWord = 1, std::uint16_t secondWord = 0);

    // --- whole records ---------------------------------------------------------------------------
    // "IMAGE::SOM" / "IMAGE::EOM": tags 10 / 11, code 3, count 0, no dimensions.
    ClassicalMetadataWriter& som();
    ClassicalMetadataWriter& eom();
    // A record with an empty name, which ends the block (only the tag and the zero are written).
    ClassicalMetadataWriter& emptyName(std::uint32_t tag = 0);

    // count = values.size() elements of sizeof(T) bytes each, and the dimensions given (none for
    // a scalar).
    template <class T>
    ClassicalMetadataWriter& record(std::string_view name, std::uint32_t typeCode,
                                    const std::vector<T>& values,
                                    const std::vector<std::uint32_t>& dims, std::uint32_t tag = 0) {
        header(name, typeCode, static_cast<std::uint32_t>(values.size()), dims, tag);
        for (const T& value : values)
            element(value);
        return *this;
    }
    // One value, no dimensions.
    template <class T>
    ClassicalMetadataWriter& scalar(std::string_view name, std::uint32_t typeCode, T value) {
        return record(name, typeCode, std::vector<T>{value}, {});
    }
    // n values, one dimension of n.
    template <class T>
    ClassicalMetadataWriter& vector(std::string_view name, std::uint32_t typeCode,
                                    const std::vector<T>& values) {
        return record(name, typeCode, values, {static_cast<std::uint32_t>(values.size())});
    }
    // Code 5: count = texts.size() strings; dims as given (empty: none).
    ClassicalMetadataWriter& texts(std::string_view name, const std::vector<std::string>& texts,
                                   const std::vector<std::uint32_t>& dims);

    // --- raw pieces ------------------------------------------------------------------------------
    // Tag, name, type code, count, the number of dimensions and the dimensions; no data.
    ClassicalMetadataWriter& header(std::string_view name, std::uint32_t typeCode,
                                    std::uint32_t count, const std::vector<std::uint32_t>& dims,
                                    std::uint32_t tag = 0);
    // As above with a number of dimensions that need not match the list (for invalid blocks).
    ClassicalMetadataWriter& header(std::string_view name, std::uint32_t typeCode,
                                    std::uint32_t count, std::uint32_t numDims,
                                    const std::vector<std::uint32_t>& dims, std::uint32_t tag = 0);
    // The text and its terminating zero.
    ClassicalMetadataWriter& text(std::string_view text);
    ClassicalMetadataWriter& raw(const std::vector<std::uint8_t>& bytes);

    // One element: its bytes as an unsigned integer of its size, big-endian.
    template <class T> ClassicalMetadataWriter& element(T value) {
        static_assert(std::is_arithmetic_v<T> &&
                      (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8));
        std::uint64_t bits = 0;
        if constexpr (sizeof(T) == 1) {
            std::uint8_t b;
            std::memcpy(&b, &value, 1);
            bits = b;
        } else if constexpr (sizeof(T) == 2) {
            std::uint16_t b;
            std::memcpy(&b, &value, 2);
            bits = b;
        } else if constexpr (sizeof(T) == 4) {
            std::uint32_t b;
            std::memcpy(&b, &value, 4);
            bits = b;
        } else {
            std::memcpy(&bits, &value, 8);
        }
        return be(bits, sizeof(T));
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
};

} // namespace quarn_test
