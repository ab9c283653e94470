// Last-error slot and GUID text conversion.

#include "WinTypes.h"

#include <cerrno>
#include <cstdio>

namespace {
thread_local DWORD lastError = 0;

int hexDigit(WCHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}
} // namespace

DWORD GetLastError() {
    return lastError;
}
void SetLastError(DWORD error) {
    lastError = error;
}

int StringFromGUID2(REFGUID guid, LPWSTR text, int capacity) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    if (!text || capacity < 39) return 0;
    for (int i = 0; i < 39; ++i)
        text[i] = static_cast<WCHAR>(buffer[i]);
    return 39;
}

HRESULT CLSIDFromString(LPCWSTR text, CLSID* guid) {
    if (!text || !guid) return E_INVALIDARG;
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: the positions of the hex pairs, in byte order.
    static const char layout[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    std::uint8_t bytes[16];
    int nibbles = 0;
    for (int i = 0; layout[i]; ++i) {
        if (text[i] == 0) return E_INVALIDARG;
        if (layout[i] == 'X') {
            int d = hexDigit(text[i]);
            if (d < 0) return E_INVALIDARG;
            if (nibbles % 2 == 0)
                bytes[nibbles / 2] = static_cast<std::uint8_t>(d << 4);
            else
                bytes[nibbles / 2] |= static_cast<std::uint8_t>(d);
            ++nibbles;
        } else if (text[i] != static_cast<WCHAR>(layout[i])) {
            return E_INVALIDARG;
        }
    }
    if (text[38] != 0) return E_INVALIDARG;
    guid->Data1 = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
                  (std::uint32_t(bytes[2]) << 8) | bytes[3];
    guid->Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    guid->Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = bytes[8 + i];
    return S_OK;
}

DWORD quarn_platform::errorFromErrno(int error, DWORD otherwise) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG:
        return 206; // ERROR_FILENAME_EXCED_RANGE
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return otherwise;
    }
}
