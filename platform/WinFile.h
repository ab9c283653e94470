#pragma once
// File attributes and times, answered from the POSIX file system.

#include "WinTypes.h"

// 100-nanosecond intervals since 1601-01-01 00:00 UTC, split in two words.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0, GetFileExMaxInfoLevel = 1 };

inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;

// Fills *info (a WIN32_FILE_ATTRIBUTE_DATA) for the named file or directory. On failure returns
// FALSE with the reason as the last error: ERROR_INVALID_PARAMETER for a null name or result,
// ERROR_FILE_NOT_FOUND for a missing file, ERROR_PATH_NOT_FOUND for a missing directory on the
// way. The A form takes a name in the active code page, the W form UTF-16. The POSIX file system
// keeps no creation time, so ftCreationTime is zero.
BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, void* info);
BOOL GetFileAttributesExW(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, void* info);
