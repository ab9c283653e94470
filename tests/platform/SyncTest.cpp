// Critical sections and mutexes: recursion, ownership, abandonment, and a named mutex shared
// with another process.

#include "TempRuntimeDir.h"
#include "WinSync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Runs fn on another thread and returns its result.
template <class F> auto onOtherThread(F fn) {
    decltype(fn()) result{};
    std::thread([&] { result = fn(); }).join();
    return result;
}

using quarn_test::TempRuntimeDir;

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CRITICAL_SECTION section;
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&section, 4000));
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    // Leaving a section not held does not unlock it for its holder.
    EnterCriticalSection(&section);
    std::thread([&] { LeaveCriticalSection(&section); }).join();
    LeaveCriticalSection(&section);

    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&section);
                EnterCriticalSection(&section);
                ++counter;
                LeaveCriticalSection(&section);
                LeaveCriticalSection(&section);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(80000, counter);
    DeleteCriticalSection(&section);
}

TEST(Mutex, RecursionAndOwnership) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(nullptr, mutex);
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(ERROR_NOT_OWNER, GetLastError());

    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, INFINITE));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    auto tryOther = [&] { return WaitForSingleObject(mutex, 0); };
    EXPECT_EQ(WAIT_TIMEOUT, onOtherThread(tryOther));
    auto releaseOther = [&] {
        BOOL released = ReleaseMutex(mutex);
        return released ? 0u : GetLastError();
    };
    EXPECT_EQ(ERROR_NOT_OWNER, onOtherThread(releaseOther));
    ASSERT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WAIT_TIMEOUT, onOtherThread(tryOther)); // still held once
    ASSERT_TRUE(ReleaseMutex(mutex));
    // Free now: the other thread takes it and releases it again.
    EXPECT_EQ(WAIT_OBJECT_0, onOtherThread([&] {
                  DWORD r = WaitForSingleObject(mutex, 0);
                  ReleaseMutex(mutex);
                  return r;
              }));
    EXPECT_TRUE(CloseHandle(mutex));

    // Initially owned.
    HANDLE owned = CreateMutexW(nullptr, TRUE, nullptr);
    ASSERT_NE(nullptr, owned);
    EXPECT_EQ(WAIT_TIMEOUT, onOtherThread([&] { return WaitForSingleObject(owned, 0); }));
    EXPECT_TRUE(ReleaseMutex(owned));
    EXPECT_TRUE(CloseHandle(owned));
}

TEST(Mutex, BadHandlesFail) {
    SetLastError(0);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(mutex));
    SetLastError(0);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(mutex, INFINITE));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_FALSE(CloseHandle(mutex));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST(Mutex, OwnerThreadEndingAbandonsIt) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, onOtherThread([&] { return WaitForSingleObject(mutex, INFINITE); }));
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, INFINITE));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(NamedMutex, HandlesOfOneNameShareTheMutex) {
    TempRuntimeDir runtime;
    const std::u16string name = u"quarn test/shared ü";
    HANDLE first = CreateMutexW(nullptr, TRUE, name.c_str());
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(ERROR_SUCCESS, GetLastError());
    HANDLE second = CreateMutexW(nullptr, TRUE, name.c_str());
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    HANDLE other = CreateMutexW(nullptr, FALSE, u"QUARN TEST/SHARED ü"); // names keep their case

    EXPECT_EQ(WAIT_TIMEOUT, onOtherThread([&] { return WaitForSingleObject(second, 0); }));
    EXPECT_EQ(WAIT_OBJECT_0, onOtherThread([&] {
                  DWORD r = WaitForSingleObject(other, 0);
                  ReleaseMutex(other);
                  return r;
              }));
    EXPECT_TRUE(ReleaseMutex(second)); // the owner may release through either handle
    EXPECT_EQ(WAIT_OBJECT_0, onOtherThread([&] {
                  DWORD r = WaitForSingleObject(first, 0);
                  ReleaseMutex(first);
                  return r;
              }));
    for (HANDLE h : {first, second, other})
        EXPECT_TRUE(CloseHandle(h));
}

TEST(NamedMutex, ExcludesAnotherProcessAndIsAbandonedByIt) {
    TempRuntimeDir runtime;
    const std::u16string name = u"quarn-test-" + std::u16string(1, u'a' + getpid() % 26);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, INFINITE));

    int toChild[2], toParent[2];
    ASSERT_EQ(0, pipe(toChild));
    ASSERT_EQ(0, pipe(toParent));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child reports what its waits return, then ends while owning the mutex.
        HANDLE h = CreateMutexW(nullptr, FALSE, name.c_str());
        DWORD results[2] = {h ? WaitForSingleObject(h, 0) : 0xBAD, 0};
        char go = 0;
        if (write(toParent[1], &results[0], sizeof results[0]) != sizeof results[0] ||
            read(toChild[0], &go, 1) != 1)
            _exit(2);
        results[1] = WaitForSingleObject(h, 0);
        if (write(toParent[1], &results[1], sizeof results[1]) != sizeof results[1]) _exit(2);
        _exit(0);
    }
    DWORD childResult = 0;
    ASSERT_EQ(ssize_t(sizeof childResult), read(toParent[0], &childResult, sizeof childResult));
    EXPECT_EQ(WAIT_TIMEOUT, childResult) << "the child must not get the parent's mutex";
    ASSERT_TRUE(ReleaseMutex(mutex));
    ASSERT_EQ(1, write(toChild[1], "g", 1));
    ASSERT_EQ(ssize_t(sizeof childResult), read(toParent[0], &childResult, sizeof childResult));
    EXPECT_EQ(WAIT_OBJECT_0, childResult) << "released by the parent, free for the child";
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, INFINITE));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(CloseHandle(mutex));
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]})
        close(fd);
}

TEST(NamedMutex, ThreadsOfTwoProcessesExcludeEachOther) {
    // Four threads in each of two processes take the mutex in turn, some without and some with a
    // time-out; the mutex passes between threads of one process without the other process ever
    // being inside at the same time, and both processes get through.
    TempRuntimeDir runtime;
    struct Shared {
        std::atomic<int> inside;
        std::atomic<int> overlaps;
        std::atomic<int> failures;
        long counter;
    };
    void* memory =
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, memory);
    auto* shared = new (memory) Shared{{0}, {0}, {0}, 0};
    constexpr int threads = 4, rounds = 300;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"quarn-test-crowd");
    ASSERT_NE(nullptr, mutex);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    std::vector<std::thread> crowd;
    for (int t = 0; t < threads; ++t)
        crowd.emplace_back([&, t] {
            HANDLE own = CreateMutexW(nullptr, FALSE, u"quarn-test-crowd");
            for (int i = 0; i < rounds; ++i) {
                DWORD result = WaitForSingleObject(own, t % 2 ? 20000 : INFINITE);
                if (result != WAIT_OBJECT_0) {
                    ++shared->failures;
                    continue;
                }
                if (shared->inside.fetch_add(1) != 0) ++shared->overlaps;
                ++shared->counter;
                shared->inside.fetch_sub(1);
                ReleaseMutex(own);
            }
            CloseHandle(own);
        });
    for (auto& t : crowd)
        t.join();
    if (child == 0) _exit(0);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(0, shared->failures.load());
    EXPECT_EQ(0, shared->overlaps.load());
    EXPECT_EQ(2L * threads * rounds, shared->counter);
    CloseHandle(mutex);
    munmap(memory, sizeof(Shared));
}

TEST(NamedMutex, AnOwnerThreadEndingHandsItOverAsAbandoned) {
    TempRuntimeDir runtime;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"quarn-test-handover");
    std::atomic<bool> taken{false};
    std::thread owner([&] {
        WaitForSingleObject(mutex, INFINITE);
        taken = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the main thread waits now
    });
    while (!taken)
        std::this_thread::yield();
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, INFINITE));
    owner.join();
    EXPECT_TRUE(ReleaseMutex(mutex));
    // Released cleanly: another process takes it as an ordinary mutex.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE h = CreateMutexW(nullptr, FALSE, u"quarn-test-handover");
        _exit(WaitForSingleObject(h, 0) == WAIT_OBJECT_0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    CloseHandle(mutex);
}

} // namespace
