#pragma once
// Which family of the operating system the library runs on.

#include <cstdint>

namespace Korvel {

enum KVPlatformFamily : std::uint32_t {
    KV_PLATFORM_UNKNOWN = 0,
    KV_PLATFORM_WIN32S = 1,
    KV_PLATFORM_WIN95 = 2,
    KV_PLATFORM_WIN98 = 3,
    KV_PLATFORM_WINME = 4,
    KV_PLATFORM_NT = 5,
};

// Asks the system on each call; unknown when it will not say.
KVPlatformFamily platformId();

// The family of a version record's platform and minor version.
KVPlatformFamily platformFamilyOf(std::uint32_t platform, std::uint32_t minorVersion);

} // namespace Korvel
