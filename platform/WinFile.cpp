// File attributes from stat(2). Names are turned into the file system's UTF-8 first: the A form
// through the active code page, the W form directly.

#include "WinFile.h"

#include "WideString.h"
#include "WinCodePage.h"

#include <cerrno>
#include <cstdint>
#include <new>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// Seconds from 1601-01-01 to 1970-01-01, in 100-ns ticks.
constexpr std::int64_t kEpochDifference = 116444736000000000LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

DWORD errorFromErrno(int error) {
    return error == EINVAL ? ERROR_INVALID_NAME
                           : quarn_platform::errorFromErrno(error, ERROR_GEN_FAILURE);
}

// A time before 1601 has no file time; it becomes 0, as does one beyond the 64-bit range.
FILETIME toFileTime(const timespec& t) {
    std::int64_t ticks = 0;
    const std::int64_t limit = (INT64_MAX - kEpochDifference) / kTicksPerSecond - 1;
    if (t.tv_sec < limit && t.tv_sec > -kEpochDifference / kTicksPerSecond) {
        ticks = static_cast<std::int64_t>(t.tv_sec) * kTicksPerSecond + t.tv_nsec / 100 +
                kEpochDifference;
        if (ticks < 0) ticks = 0;
    }
    const auto value = static_cast<std::uint64_t>(ticks);
    return {static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

BOOL attributesOf(const std::string& path, void* out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return fail(errorFromErrno(errno));
    auto* info = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(out);
    const bool directory = S_ISDIR(st.st_mode);
    DWORD attributes = 0;
    if (directory) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    info->dwFileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    info->ftCreationTime = FILETIME{0, 0};
    info->ftLastAccessTime = toFileTime(st.st_atim);
    info->ftLastWriteTime = toFileTime(st.st_mtim);
    // Directories report no size.
    const std::uint64_t size = directory || st.st_size < 0 ? 0 : std::uint64_t(st.st_size);
    info->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    info->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    return TRUE;
}

bool hasLoneSurrogate(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
                ++i;
            else
                return true;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

} // namespace

BOOL GetFileAttributesExW(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, void* info) {
    if (!name || !info || level != GetFileExInfoStandard) return fail(ERROR_INVALID_PARAMETER);
    const std::u16string_view text(name);
    if (hasLoneSurrogate(text)) return fail(ERROR_INVALID_NAME);
    try {
        return attributesOf(quarn_platform::toUtf8(text), info);
    } catch (const std::bad_alloc&) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, void* info) {
    if (!name || !info || level != GetFileExInfoStandard) return fail(ERROR_INVALID_PARAMETER);
    const int units = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (units <= 0) return FALSE;
    try {
        std::vector<WCHAR> wide(static_cast<std::size_t>(units));
        if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide.data(), units) != units) return FALSE;
        const std::u16string_view text(wide.data(), static_cast<std::size_t>(units) - 1);
        return attributesOf(quarn_platform::toUtf8(text), info);
    } catch (const std::bad_alloc&) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}
