#include "support/MutexLock.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace Korvel {
namespace {

TEST(MutexLock, ReentrantAndReleasedOnlyByTheHolder) {
    MutexLock m;
    EXPECT_EQ(m.unlock(), KV_MUTEX_RELEASE_FAILED);
    EXPECT_EQ(m.lock(), KV_OK);
    EXPECT_EQ(m.lock(), KV_OK);
    KVStatus stray = KV_OK;
    std::thread([&] { stray = m.unlock(); }).join();
    EXPECT_EQ(stray, KV_MUTEX_RELEASE_FAILED);
    EXPECT_EQ(m.unlock(), KV_OK);
    EXPECT_EQ(m.unlock(), KV_OK);
    EXPECT_EQ(m.unlock(), KV_MUTEX_RELEASE_FAILED);

    long total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                EXPECT_EQ(m.lock(), KV_OK);
                total = total + 1;
                EXPECT_EQ(m.unlock(), KV_OK);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(total, 40000);
}

} // namespace
} // namespace Korvel
