// Critical sections and mutexes: recursion, ownership, abandonment, and a named mutex shared
// with another process.

#include "WinSync.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
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

// Points the lock files of named mutexes at a private folder for the life of a test.
class TempRuntimeDir {
public:
    TempRuntimeDir() {
        char pattern[] = "/tmp/quarn-runtime-XXXXXX";
        path_ = ::mkdtemp(pattern) ? pattern : "";
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        previous_ = old ? old : "";
        hadPrevious_ = old != nullptr;
        ::setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~TempRuntimeDir() {
        if (hadPrevious_)
            ::setenv("XDG_RUNTIME_DIR", previous_.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempRuntimeDir(const TempRuntimeDir&) = delete;
    TempRuntimeDir& operator=(const TempRuntimeDir&) = delete;

private:
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

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

} // namespace
