#pragma once
// UTF-16 text helpers of the stand-in: lengths, comparisons and conversion to and from UTF-8.

#include "WinTypes.h"

#include <string>
#include <string_view>

int lstrlenW(LPCWSTR text);
// Case-insensitive comparison (ASCII letters), as for registry names.
int lstrcmpiW(LPCWSTR a, LPCWSTR b);

namespace quarn_platform {

// Unpaired surrogates and malformed UTF-8 become U+FFFD.
std::string toUtf8(std::u16string_view text);
std::u16string toUtf16(std::string_view text);
// UTF-8 that keeps an unpaired surrogate as the three bytes of its own code point, so that any
// UTF-16 text, well-formed or not, comes back unchanged (the registry's names).
std::string toWtf8(std::u16string_view text);
std::u16string fromWtf8(std::string_view text);
// ASCII-only case folding, for case-insensitive names.
std::u16string foldCase(std::u16string_view text);
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);
// A GUID in registry form, "{XXXXXXXX-...}".
std::u16string guidText(const GUID& guid);

} // namespace quarn_platform
