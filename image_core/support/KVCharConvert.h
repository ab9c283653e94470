#pragma once
// Conversion between UTF-8, UTF-16 and the system's active code page.

#include <cstdint>
#include <memory>

namespace Korvel {

// Results of the range converters.
enum KVConversionResult : std::uint32_t {
    KV_CONVERSION_OK = 0,
    KV_SOURCE_EXHAUSTED = 1, // a sequence is cut off at the end of the source
    KV_TARGET_EXHAUSTED = 2,
    KV_SOURCE_ILLEGAL = 3,
};

enum KVConversionFlags : std::uint32_t {
    KV_STRICT_CONVERSION = 0,
    // Unpaired surrogates pass through (UTF-16 to UTF-8) or become U+FFFD (UTF-8 to UTF-16).
    KV_LENIENT_CONVERSION = 1,
};

// Convert [source, sourceEnd) into [target, targetEnd), advancing both past what was converted.
// On any result but KV_CONVERSION_OK the source stops before the sequence that could not be
// converted.
KVConversionResult convertUTF16toUTF8(const char16_t*& source, const char16_t* sourceEnd,
                                      char*& target, char* targetEnd, KVConversionFlags flags);
KVConversionResult convertUTF8toUTF16(const char*& source, const char* sourceEnd, char16_t*& target,
                                      char16_t* targetEnd, KVConversionFlags flags);

// Zero-terminated conversions. Each gives a new string, or null for a null input or when memory
// runs out. Input that cannot be converted ends the output early: the output holds what came
// before it.
std::unique_ptr<char[]> utf16ToUtf8(const char16_t* text);
std::unique_ptr<char16_t[]> utf8ToUtf16(const char* text);
// Through the active code page.
std::unique_ptr<char[]> ansiToUtf8(const char* text);
std::unique_ptr<char[]> utf8ToAnsi(const char* text);

} // namespace Korvel
