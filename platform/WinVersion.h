#pragma once
// Operating-system version record. The stand-in reports the NT family, version 6.2 build 9200,
// as the system does for programs that do not declare a newer one.

#include "WinTypes.h"

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};

inline constexpr DWORD VER_PLATFORM_WIN32s = 0;
inline constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

// The caller sets dwOSVersionInfoSize to sizeof(OSVERSIONINFOA); any other size (or a null
// record) fails with ERROR_INSUFFICIENT_BUFFER (ERROR_INVALID_PARAMETER for null).
BOOL GetVersionExA(OSVERSIONINFOA* info);
