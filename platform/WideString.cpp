#include "WideString.h"

int lstrlenW(LPCWSTR text) {
    if (!text) return 0;
    int n = 0;
    while (text[n])
        ++n;
    return n;
}

int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
    std::u16string fa = quarn_platform::foldCase(a ? a : u"");
    std::u16string fb = quarn_platform::foldCase(b ? b : u"");
    return fa.compare(fb) < 0 ? -1 : (fa == fb ? 0 : 1);
}

namespace quarn_platform {

namespace {
void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string encode(std::u16string_view text, bool keepLoneSurrogates) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF && !keepLoneSurrogates) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string decode(std::string_view text, bool keepLoneSurrogates) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        char32_t c = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xC2 && b <= 0xF4) {
            size_t want = b < 0xE0 ? 2 : (b < 0xF0 ? 3 : 4);
            // A broken sequence is replaced once, with the continuation bytes it did have.
            char32_t v = b & (0x3F >> (want - 1));
            len = 1;
            while (len < want && i + len < text.size() &&
                   (static_cast<unsigned char>(text[i + len]) & 0xC0) == 0x80) {
                v = (v << 6) | (static_cast<unsigned char>(text[i + len]) & 0x3F);
                ++len;
            }
            const char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
            const bool surrogate = v >= 0xD800 && v <= 0xDFFF;
            if (len == want && v >= minimum[want] && v <= 0x10FFFF &&
                (!surrogate || keepLoneSurrogates))
                c = v;
        }
        i += len;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

} // namespace

std::string toUtf8(std::u16string_view text) {
    return encode(text, false);
}

std::u16string toUtf16(std::string_view text) {
    return decode(text, false);
}

std::string toWtf8(std::u16string_view text) {
    return encode(text, true);
}

std::u16string fromWtf8(std::string_view text) {
    return decode(text, true);
}

std::u16string foldCase(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && foldCase(a) == foldCase(b);
}

std::u16string guidText(const GUID& guid) {
    WCHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

} // namespace quarn_platform
