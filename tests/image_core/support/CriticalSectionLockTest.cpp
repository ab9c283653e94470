#include "support/CriticalSectionLock.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace Korvel {
namespace {

TEST(CriticalSectionLock, RefusesUseBeforeInitAndASecondInit) {
    CriticalSectionLock cs;
    EXPECT_EQ(cs.lock(), KV_CRITSEC_STATE);
    EXPECT_EQ(cs.init(), KV_OK);
    EXPECT_EQ(cs.init(), KV_CRITSEC_STATE);
    EXPECT_EQ(cs.unlock(), KV_CRITSEC_STATE); // the refused lock entered nothing
}

TEST(CriticalSectionLock, ReentrantForTheHolderOnly) {
    CriticalSectionLock cs;
    ASSERT_EQ(cs.init(), KV_OK);
    EXPECT_EQ(cs.lock(), KV_OK);
    EXPECT_EQ(cs.lock(), KV_OK);
    KVStatus stray = KV_OK;
    std::thread([&] { stray = cs.unlock(); }).join();
    EXPECT_EQ(stray, KV_CRITSEC_STATE);
    EXPECT_EQ(cs.unlock(), KV_OK);
    EXPECT_EQ(cs.unlock(), KV_OK);
    EXPECT_EQ(cs.unlock(), KV_CRITSEC_STATE);

    long total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                EXPECT_EQ(cs.lock(), KV_OK);
                total = total + 1;
                EXPECT_EQ(cs.unlock(), KV_OK);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(total, 40000);
}

} // namespace
} // namespace Korvel
