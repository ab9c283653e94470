// Shell string, path and formatting helpers. Paths here are the host's, so both '/' and '\'
// separate elements and '/' is the one added.

#include "ShellUtil.h"
#include "ComBase.h"
#include "WideString.h"

#include <cstdarg>
#include <string>

HRESULT SHStrDupW(LPCWSTR text, LPWSTR* copy) {
    if (!copy) return E_INVALIDARG;
    *copy = nullptr;
    if (!text) return E_INVALIDARG;
    std::size_t n = static_cast<std::size_t>(lstrlenW(text)) + 1;
    auto* out = static_cast<LPWSTR>(CoTaskMemAlloc(n * sizeof(WCHAR)));
    if (!out) return E_OUTOFMEMORY;
    std::memcpy(out, text, n * sizeof(WCHAR));
    *copy = out;
    return S_OK;
}

namespace {
bool isSeparator(WCHAR c) {
    return c == u'/' || c == u'\\';
}
} // namespace

BOOL PathRemoveFileSpecW(LPWSTR path) {
    if (!path) return FALSE;
    int n = lstrlenW(path);
    int last = -1;
    for (int i = 0; i < n; ++i)
        if (isSeparator(path[i])) last = i;
    if (last < 0) {
        if (n == 0) return FALSE;
        path[0] = 0;
        return TRUE;
    }
    // Keep the root separator of an absolute path.
    int cut = last == 0 ? 1 : last;
    if (cut >= n) return FALSE;
    path[cut] = 0;
    return TRUE;
}

BOOL PathAppendW(LPWSTR path, LPCWSTR more) {
    if (!path || !more) return FALSE;
    std::u16string result(path);
    std::u16string tail(more);
    while (!tail.empty() && isSeparator(tail.front()))
        tail.erase(0, 1);
    if (!result.empty() && !isSeparator(result.back()) && !tail.empty()) result += u'/';
    result += tail;
    if (result.size() >= MAX_PATH) return FALSE;
    std::memcpy(path, result.c_str(), (result.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    constexpr std::size_t capacity = 1024;
    if (!buffer || !format) return 0;
    std::u16string out;
    va_list args;
    va_start(args, format);
    for (const WCHAR* p = format; *p; ++p) {
        if (*p != u'%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == u'%') {
            out += u'%';
            continue;
        }
        bool leftAlign = false, zeroPad = false;
        for (; *p == u'-' || *p == u'0'; ++p)
            (*p == u'-' ? leftAlign : zeroPad) = true;
        int width = 0, precision = -1;
        for (; *p >= u'0' && *p <= u'9'; ++p)
            width = width * 10 + (*p - u'0');
        if (*p == u'.') {
            precision = 0;
            for (++p; *p >= u'0' && *p <= u'9'; ++p)
                precision = precision * 10 + (*p - u'0');
        }
        std::u16string field;
        switch (*p) {
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X': {
            bool isSigned = *p == u'd' || *p == u'i';
            unsigned base = (*p == u'x' || *p == u'X') ? 16 : 10;
            const char* digits = *p == u'X' ? "0123456789ABCDEF" : "0123456789abcdef";
            long long value = isSigned ? static_cast<long long>(va_arg(args, int))
                                       : static_cast<long long>(va_arg(args, unsigned int));
            bool negative = value < 0;
            unsigned long long magnitude = negative ? 0ull - static_cast<unsigned long long>(value)
                                                    : static_cast<unsigned long long>(value);
            std::u16string number;
            do {
                number.insert(number.begin(), static_cast<WCHAR>(digits[magnitude % base]));
                magnitude /= base;
            } while (magnitude);
            if (precision == 0 && value == 0) number.clear();
            while (precision > 0 && number.size() < static_cast<std::size_t>(precision))
                number.insert(number.begin(), u'0');
            if (zeroPad && !leftAlign && precision < 0)
                while (number.size() + (negative ? 1 : 0) < static_cast<std::size_t>(width))
                    number.insert(number.begin(), u'0');
            field = (negative ? u"-" : u"") + number;
            break;
        }
        case u's': {
            LPCWSTR text = va_arg(args, LPCWSTR);
            field = text ? text : u"(null)";
            if (precision >= 0 && field.size() > static_cast<std::size_t>(precision))
                field.resize(static_cast<std::size_t>(precision));
            break;
        }
        case u'c':
            field = static_cast<WCHAR>(va_arg(args, int));
            break;
        case 0:
            --p;
            break;
        default:
            field = *p;
            break;
        }
        while (field.size() < static_cast<std::size_t>(width))
            field.insert(leftAlign ? field.end() : field.begin(), u' ');
        out += field;
    }
    va_end(args);
    if (out.size() >= capacity) out.resize(capacity - 1);
    std::memcpy(buffer, out.c_str(), (out.size() + 1) * sizeof(WCHAR));
    return static_cast<int>(out.size());
}
