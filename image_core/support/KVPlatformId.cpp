#include "support/KVPlatformId.h"

#include "WinVersion.h"

namespace Korvel {

KVPlatformFamily platformFamilyOf(std::uint32_t platform, std::uint32_t minorVersion) {
    switch (platform) {
    case VER_PLATFORM_WIN32s:
        return KV_PLATFORM_WIN32S;
    case VER_PLATFORM_WIN32_WINDOWS:
        // The 9x line tells its members apart by minor version.
        switch (minorVersion) {
        case 0:
            return KV_PLATFORM_WIN95;
        case 10:
            return KV_PLATFORM_WIN98;
        case 90:
            return KV_PLATFORM_WINME;
        default:
            return KV_PLATFORM_UNKNOWN;
        }
    case VER_PLATFORM_WIN32_NT:
        return KV_PLATFORM_NT;
    default:
        return KV_PLATFORM_UNKNOWN;
    }
}

KVPlatformFamily platformId() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return KV_PLATFORM_UNKNOWN;
    return platformFamilyOf(version.dwPlatformId, version.dwMinorVersion);
}

} // namespace Korvel
