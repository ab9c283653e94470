// UTF-16 <-> UTF-8 by the Unicode standard's encoding forms, and the active code page through the
// system's converters.

#include "support/KVCharConvert.h"

#include "WinCodePage.h"

#include <climits>
#include <cstddef>
#include <new>
#include <string>

namespace Korvel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Trailing bytes announced by a UTF-8 lead byte. Five- and six-byte forms are counted so that a
// cut-off one is told apart from an illegal one, but they are never legal.
int trailingBytes(unsigned char lead) {
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 1;
    if (lead < 0xF0) return 2;
    if (lead < 0xF8) return 3;
    if (lead < 0xFC) return 4;
    return 5;
}

// Well-formed UTF-8 of the given length: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isLegalUtf8(const unsigned char* s, int length) {
    const unsigned char lead = s[0];
    if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || length > 4) return false;
    for (int i = 1; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xBF) return false;
    }
    if (length >= 2) {
        const unsigned char second = s[1];
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
            (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return false;
    }
    return true;
}

int utf8Length(char32_t c) {
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

template <typename Unit> std::size_t lengthOf(const Unit* text) {
    return std::char_traits<Unit>::length(text);
}

} // namespace

KVConversionResult convertUTF16toUTF8(const char16_t*& source, const char16_t* sourceEnd,
                                      char*& target, char* targetEnd, KVConversionFlags flags) {
    const bool strict = flags == KV_STRICT_CONVERSION;
    while (source < sourceEnd) {
        const char16_t* start = source;
        char32_t c = *source++;
        if (isHighSurrogate(c)) {
            if (source == sourceEnd) {
                source = start;
                return KV_SOURCE_EXHAUSTED;
            }
            if (isLowSurrogate(*source)) {
                c = ((c - 0xD800) << 10) + (*source++ - 0xDC00) + 0x10000;
            } else if (strict) {
                source = start;
                return KV_SOURCE_ILLEGAL;
            }
        } else if (strict && isLowSurrogate(c)) {
            source = start;
            return KV_SOURCE_ILLEGAL;
        }
        if (c > kMaxCodePoint) c = kReplacement;

        const int length = utf8Length(c);
        if (targetEnd - target < length) {
            source = start;
            return KV_TARGET_EXHAUSTED;
        }
        static constexpr unsigned char kLeadMark[5] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
        for (int i = length - 1; i > 0; --i) {
            target[i] = static_cast<char>(0x80 | (c & 0x3F));
            c >>= 6;
        }
        target[0] = static_cast<char>(kLeadMark[length] | c);
        target += length;
    }
    return KV_CONVERSION_OK;
}

KVConversionResult convertUTF8toUTF16(const char*& source, const char* sourceEnd, char16_t*& target,
                                      char16_t* targetEnd, KVConversionFlags flags) {
    const bool strict = flags == KV_STRICT_CONVERSION;
    while (source < sourceEnd) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(source);
        const int extra = trailingBytes(bytes[0]);
        if (extra >= sourceEnd - source) return KV_SOURCE_EXHAUSTED;
        if (!isLegalUtf8(bytes, extra + 1)) return KV_SOURCE_ILLEGAL;

        char32_t c = extra == 0 ? bytes[0] : bytes[0] & (0x3F >> extra);
        for (int i = 1; i <= extra; ++i)
            c = (c << 6) | (bytes[i] & 0x3F);

        if (c <= 0xFFFF) {
            if (target >= targetEnd) return KV_TARGET_EXHAUSTED;
            if (isHighSurrogate(c) || isLowSurrogate(c)) {
                if (strict) return KV_SOURCE_ILLEGAL;
                c = kReplacement;
            }
            *target++ = static_cast<char16_t>(c);
        } else if (c > kMaxCodePoint) {
            if (strict) return KV_SOURCE_ILLEGAL;
            if (target >= targetEnd) return KV_TARGET_EXHAUSTED;
            *target++ = static_cast<char16_t>(kReplacement);
        } else {
            if (targetEnd - target < 2) return KV_TARGET_EXHAUSTED;
            c -= 0x10000;
            *target++ = static_cast<char16_t>(0xD800 + (c >> 10));
            *target++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        }
        source += extra + 1;
    }
    return KV_CONVERSION_OK;
}

std::unique_ptr<char[]> utf16ToUtf8(const char16_t* text) {
    if (!text) return nullptr;
    const std::size_t units = lengthOf(text);
    // At most three bytes per unit: a surrogate pair (two units) takes four.
    if (units > (SIZE_MAX - 1) / 3) return nullptr;
    const std::size_t capacity = 3 * units + 1;
    std::unique_ptr<char[]> out(new (std::nothrow) char[capacity]());
    if (!out) return nullptr;
    const char16_t* source = text;
    char* target = out.get();
    convertUTF16toUTF8(source, text + units + 1, target, out.get() + capacity,
                       KV_STRICT_CONVERSION);
    return out;
}

std::unique_ptr<char16_t[]> utf8ToUtf16(const char* text) {
    if (!text) return nullptr;
    const std::size_t bytes = lengthOf(text);
    const std::size_t capacity = bytes + 1;
    std::unique_ptr<char16_t[]> out(new (std::nothrow) char16_t[capacity]());
    if (!out) return nullptr;
    const char* source = text;
    char16_t* target = out.get();
    convertUTF8toUTF16(source, text + bytes + 1, target, out.get() + capacity,
                       KV_STRICT_CONVERSION);
    return out;
}

std::unique_ptr<char[]> ansiToUtf8(const char* text) {
    if (!text) return nullptr;
    // The code page's characters take one UTF-16 unit each.
    const std::size_t capacity = lengthOf(text) + 1;
    if (capacity > INT_MAX) return nullptr;
    std::unique_ptr<char16_t[]> wide(new (std::nothrow) char16_t[capacity]());
    if (!wide) return nullptr;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.get(), static_cast<int>(capacity)) == 0)
        return nullptr;
    return utf16ToUtf8(wide.get());
}

std::unique_ptr<char[]> utf8ToAnsi(const char* text) {
    std::unique_ptr<char16_t[]> wide = utf8ToUtf16(text);
    if (!wide) return nullptr;
    // Room for two bytes per unit, as a double-byte page would need.
    const std::size_t units = lengthOf(wide.get());
    if (units > (INT_MAX - 1) / 2) return nullptr;
    const std::size_t capacity = 2 * units + 1;
    std::unique_ptr<char[]> out(new (std::nothrow) char[capacity]());
    if (!out) return nullptr;
    if (WideCharToMultiByte(CP_ACP, 0, wide.get(), -1, out.get(), static_cast<int>(capacity),
                            nullptr, nullptr) == 0)
        return nullptr;
    return out;
}

} // namespace Korvel
