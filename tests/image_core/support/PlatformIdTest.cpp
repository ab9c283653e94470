#include "support/KVPlatformId.h"

#include <gtest/gtest.h>

namespace Korvel {
namespace {

TEST(PlatformId, FamilyFromTheVersionRecord) {
    EXPECT_EQ(platformId(), KV_PLATFORM_NT);
    EXPECT_EQ(platformFamilyOf(0, 0), KV_PLATFORM_WIN32S);
    EXPECT_EQ(platformFamilyOf(1, 0), KV_PLATFORM_WIN95);
    EXPECT_EQ(platformFamilyOf(1, 10), KV_PLATFORM_WIN98);
    EXPECT_EQ(platformFamilyOf(1, 90), KV_PLATFORM_WINME);
    EXPECT_EQ(platformFamilyOf(1, 5), KV_PLATFORM_UNKNOWN);
    EXPECT_EQ(platformFamilyOf(2, 7), KV_PLATFORM_NT);
    EXPECT_EQ(platformFamilyOf(3, 0), KV_PLATFORM_UNKNOWN);
}

} // namespace
} // namespace Korvel
