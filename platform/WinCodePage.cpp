// Windows-1252 <-> UTF-16. The bytes 0x80..0x9F carry typographic characters; the five of them
// that the page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the
// same value, as the system's own table does. Every other byte is its Latin-1 code point.

#include "WinCodePage.h"

#include <cstddef>
#include <string>

namespace {

constexpr char16_t kHighHalf[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr DWORD MB_PRECOMPOSED = 0x01;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;

bool knownCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_THREAD_ACP || codePage == CP_WINDOWS_1252;
}

char16_t toUnit(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kHighHalf[byte - 0x80] : char16_t(byte);
}

// The page's byte for a code unit, or -1 when the page has none.
int toByte(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
    for (int i = 0; i < 32; ++i) {
        if (kHighHalf[i] == unit) return 0x80 + i;
    }
    return -1;
}

bool isHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

int fail(DWORD error) {
    SetLastError(error);
    return 0;
}

} // namespace

UINT GetACP() {
    return CP_WINDOWS_1252;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR target,
                        int targetUnits) {
    if (!knownCodePage(codePage) || (flags & ~MB_PRECOMPOSED) != 0 || !source || sourceBytes == 0 ||
        sourceBytes < -1 || targetUnits < 0 || (targetUnits > 0 && !target))
        return fail(ERROR_INVALID_PARAMETER);
    std::size_t count = sourceBytes == -1 ? std::char_traits<char>::length(source) + 1
                                          : static_cast<std::size_t>(sourceBytes);
    if (count > 0x7FFFFFFF) return fail(ERROR_INVALID_PARAMETER);
    // One unit per byte: the page has no multi-byte characters.
    if (targetUnits == 0) return static_cast<int>(count);
    if (count > static_cast<std::size_t>(targetUnits)) return fail(ERROR_INSUFFICIENT_BUFFER);
    for (std::size_t i = 0; i < count; ++i)
        target[i] = toUnit(static_cast<unsigned char>(source[i]));
    return static_cast<int>(count);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceUnits, LPSTR target,
                        int targetBytes, LPCSTR defaultChar, BOOL* usedDefaultChar) {
    if (!knownCodePage(codePage) || (flags & ~WC_NO_BEST_FIT_CHARS) != 0 || !source ||
        sourceUnits == 0 || sourceUnits < -1 || targetBytes < 0 || (targetBytes > 0 && !target))
        return fail(ERROR_INVALID_PARAMETER);
    std::size_t count = sourceUnits == -1 ? std::char_traits<char16_t>::length(source) + 1
                                          : static_cast<std::size_t>(sourceUnits);
    const char substitute = defaultChar ? *defaultChar : '?';
    bool usedDefault = false;
    std::size_t written = 0;
    for (std::size_t i = 0; i < count; ++i) {
        int byte = toByte(source[i]);
        if (byte < 0) {
            usedDefault = true;
            byte = static_cast<unsigned char>(substitute);
            // A surrogate pair is one character and gets one substitute.
            if (isHighSurrogate(source[i]) && i + 1 < count && isLowSurrogate(source[i + 1])) ++i;
        }
        if (targetBytes > 0) {
            if (written >= static_cast<std::size_t>(targetBytes))
                return fail(ERROR_INSUFFICIENT_BUFFER);
            target[written] = static_cast<char>(byte);
        }
        ++written;
    }
    if (written > 0x7FFFFFFF) return fail(ERROR_INVALID_PARAMETER);
    if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
    return static_cast<int>(written);
}
