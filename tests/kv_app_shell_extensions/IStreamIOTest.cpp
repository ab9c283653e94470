// The LiDAR adapter and "theMutex": a holder stalled inside a read makes other readers fail after
// the time-out instead of waiting without end, in this process and in another; an abandoned
// mutex is taken and the read goes on; a read that throws gives the mutex back.

#include "IStreamIO.h"
#include "HandlerTestSupport.h"
#include "LidarBodyWriter.h"
#include "LidarFileWriter.h"
#include "ObjectRef.h"
#include "TempRuntimeDir.h"
#include "WinSync.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quarn_test;

namespace {

// A small lossless point cloud: "Lossless" once read through.
std::vector<std::uint8_t> lidarFile() {
    LidarFileWriter file;
    file.header.numPoints = 1000;
    for (const char* name : {"X", "Y", "Z"}) {
        LidarChannelRecord c;
        c.name = name;
        c.maximum = 1000;
        file.header.channels.push_back(c);
    }
    file.metadata =
        LidarBodyWriter()
            .metadataHeader(1)
            .metadataRecord("PreCompressionPointCount", "", 3, LidarBodyWriter::doubles({1000.0}))
            .bytes();
    return file.write().flatten();
}

// A gate that a stalled read waits at until the test opens it.
class Gate {
public:
    void arrive() {
        std::unique_lock lock(mutex_);
        arrived_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
    }
    void waitForArrival() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return arrived_; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool arrived_ = false;
    bool open_ = false;
};

// Waits for a child process at most `limit`; false (and the child killed) when it did not end.
bool waitForChild(pid_t child, std::chrono::seconds limit, int& status) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(child, &status, WNOHANG) == child) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return false;
}

TEST(IStreamIO, AStalledHolderMakesOtherReadersFailInsteadOfWaiting) {
    TempRuntimeDir runtime;
    const std::vector<std::uint8_t> file = lidarFile();

    // The holder: a read that stalls inside the stream while it has "theMutex".
    Gate gate;
    SparseStream stalled({{0, file}}, file.size());
    stalled.beforeRead = [&] { gate.arrive(); };
    std::thread holder([&] {
        const Korvel::ObjectRef<IStreamIO> io(new IStreamIO(&stalled));
        std::uint8_t byte = 0;
        io->pread(0, &byte, 1);
    });
    gate.waitForArrival();

    // Another process, and another thread of this one, read a good file meanwhile. Neither can
    // get past the stalled holder, which stays until both have answered: only the time-out of
    // their waits lets them answer at all.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(runHandler(file).initialize == E_FAIL ? 0 : 1);
    auto other = std::async(std::launch::async, [&] { return runHandler(file); });
    const bool threadAnswered =
        other.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    int status = 0;
    const bool childAnswered = waitForChild(child, std::chrono::seconds(60), status);
    gate.open();
    holder.join();

    ASSERT_TRUE(threadAnswered);
    const HandlerResult r = other.get();
    EXPECT_EQ(E_FAIL, r.initialize);
    EXPECT_EQ(u"QG4 LiDAR", r.generation);
    EXPECT_EQ(u"", r.compression);
    ASSERT_TRUE(childAnswered);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process's Initialize";

    // The holder gone, reading works again.
    EXPECT_EQ(u"Lossless", runHandler(file).compression);
}

TEST(IStreamIO, AnAbandonedMutexIsTakenAndTheReadGoesOn) {
    TempRuntimeDir runtime;
    const std::vector<std::uint8_t> file = lidarFile();

    // Abandoned by a thread of this process, then by another process.
    std::thread([] { CreateMutexW(nullptr, TRUE, u"theMutex"); }).join();
    HandlerResult r = runHandler(file);
    EXPECT_EQ(S_OK, r.initialize);
    EXPECT_EQ(u"Lossless", r.compression);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, u"theMutex");
        _exit(WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    r = runHandler(file);
    EXPECT_EQ(S_OK, r.initialize);
    EXPECT_EQ(u"Lossless", r.compression);
}

TEST(IStreamIO, AReadThatThrowsGivesTheMutexBack) {
    TempRuntimeDir runtime;
    const std::vector<std::uint8_t> file = lidarFile();
    SparseStream stream({{0, file}}, file.size());
    {
        const Korvel::ObjectRef<IStreamIO> io(new IStreamIO(&stream));
        stream.throwOnRead = true;
        std::uint8_t byte = 0;
        EXPECT_ANY_THROW(io->pread(0, &byte, 1));
    }
    // Free for another thread at once.
    EXPECT_EQ(WAIT_OBJECT_0, std::async(std::launch::async, [] {
                                 HANDLE mutex = CreateMutexW(nullptr, FALSE, u"theMutex");
                                 DWORD result = WaitForSingleObject(mutex, 0);
                                 ReleaseMutex(mutex);
                                 CloseHandle(mutex);
                                 return result;
                             }).get());
}

} // namespace
