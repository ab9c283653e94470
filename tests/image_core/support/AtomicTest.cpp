#include "support/KVAtomic.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace Korvel {
namespace {

TEST(Atomic, CountersReturnTheNewValueAndLoseNothingAcrossThreads) {
    std::uint32_t count = 0;
    EXPECT_EQ(atomicDecrement(&count), 0xFFFFFFFFu);
    EXPECT_EQ(atomicIncrement(&count), 0u);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i)
                atomicIncrement(&count);
            for (int i = 0; i < 5000; ++i)
                atomicDecrement(&count);
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(count, 60000u);
}

TEST(Atomic, CompareExchangeStoresOnlyOverTheExpectedValue) {
    int a = 1, b = 2;
    int* slot = nullptr;
    EXPECT_FALSE(atomicCompareExchange(&slot, &a, &b));
    EXPECT_TRUE(atomicCompareExchange<int>(&slot, nullptr, &a));
    EXPECT_FALSE(atomicCompareExchange<int>(&slot, nullptr, &b));
    EXPECT_EQ(atomicLoad(&slot), &a);
}

} // namespace
} // namespace Korvel
