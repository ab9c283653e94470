#include "WinSync.h"

#include "WideString.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <pthread.h>
#include <shared_mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

// ---- Critical sections: a recursive pthread mutex inside the caller's CRITICAL_SECTION.

namespace {

pthread_mutex_t* mutexOf(CRITICAL_SECTION* section) {
    static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque));
    static_assert(alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION));
    return std::launder(reinterpret_cast<pthread_mutex_t*>(section->opaque));
}

} // namespace

BOOL InitializeCriticalSectionAndSpinCount(CRITICAL_SECTION* section, DWORD) {
    if (!section) return FALSE;
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) return FALSE;
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    auto* mutex = new (section->opaque) pthread_mutex_t;
    int rc = pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    return rc == 0 ? TRUE : FALSE;
}

void InitializeCriticalSection(CRITICAL_SECTION* section) {
    InitializeCriticalSectionAndSpinCount(section, 0);
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
    if (section) pthread_mutex_lock(mutexOf(section));
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
    // A recursive mutex refuses (EPERM) an unlock by a thread that does not hold it.
    if (section) pthread_mutex_unlock(mutexOf(section));
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
    if (section) pthread_mutex_destroy(mutexOf(section));
}

// ---- Mutexes

namespace {

using Clock = std::chrono::steady_clock;

// Most hand-overs in a row from one thread of this process to another while the process keeps
// the file lock of a named mutex; then the lock is given up once, so that other processes get
// their turn.
constexpr unsigned kMaxHandOvers = 64;

// How many times a waiter looks at an owned mutex, without its lock, before it sleeps: a holder
// keeps it for one seek and one read, while sleeping and being woken costs two thread switches.
constexpr int kSpins = 1000;

void spinPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// One mutex object, shared by every handle of it in this process. A named mutex is also held
// across processes by an exclusive flock on its lock file, kept open for the object's life. The
// process takes the file lock when one of its threads takes the mutex and keeps it while the
// mutex passes straight to another waiting thread; the file's first byte is '1' while the
// process holds the lock, so an owner that died without releasing it is seen by the next one.
struct MutexObject {
    std::mutex lock; // guards the fields below
    std::condition_variable freed;
    std::string lockPath; // empty for an unnamed mutex
    int fd = -1;          // the lock file (named); -1 until opened again in a forked child
    std::atomic<bool> owned{false}; // also read without the lock, by spinning waiters
    std::thread::id owner;
    DWORD depth = 0;
    bool abandoned = false;            // the last in-process owner ended without releasing it
    bool fileHeld = false;             // this process holds the file lock and its marker reads '1'
    unsigned waiters = 0;              // threads asleep waiting for the mutex
    bool wakePending = false;          // a sleeping waiter was woken and has not looked yet
    std::atomic<unsigned> spinning{0}; // threads looking at the mutex before they sleep
    unsigned handOvers = 0;            // hand-overs in a row since the file lock was taken

    MutexObject() = default;
    MutexObject(const MutexObject&) = delete;
    MutexObject& operator=(const MutexObject&) = delete;
    // The last handle is gone. Unowned: a clean release. Owned: the lock goes with the descriptor
    // and the marker stays, so the mutex reads as abandoned.
    ~MutexObject() {
        if (fd < 0) return;
        if (fileHeld && !owned) {
            const char free = '0';
            [[maybe_unused]] ssize_t written = ::pwrite(fd, &free, 1, 0);
        }
        ::close(fd);
    }
};

std::shared_mutex gTable; // guards the two tables below
std::map<std::uintptr_t, std::shared_ptr<MutexObject>> gHandles;
std::map<std::u16string, std::weak_ptr<MutexObject>> gNamed;
std::uintptr_t gNextHandle = 0x10000;

// Gives up the file lock of a named mutex (m.lock held). A clean release clears the marker
// first; after an abandonment it stays set for the next owner to see.
void releaseFile(MutexObject& m, bool clean) {
    if (!m.fileHeld) return;
    if (clean) {
        const char free = '0';
        [[maybe_unused]] ssize_t written = ::pwrite(m.fd, &free, 1, 0);
    }
    ::flock(m.fd, LOCK_UN);
    m.fileHeld = false;
    m.handOvers = 0;
}

// Wakes one sleeping waiter, unless one was woken already and has not looked yet (m.lock held).
void wakeOne(MutexObject& m) {
    if (m.waiters == 0 || m.wakePending) return;
    m.wakePending = true;
    m.freed.notify_one();
}

// The mutex has just been freed (m.lock held): it passes to a waiting thread of this process
// with the file lock still held, or the file lock goes.
void afterFree(MutexObject& m, bool clean) {
    if (m.fileHeld) {
        if ((m.waiters > 0 || m.spinning.load() > 0) && m.handOvers < kMaxHandOvers)
            ++m.handOvers;
        else
            releaseFile(m, clean);
    }
    wakeOne(m);
}

// The mutexes the current thread owns, abandoned when it ends.
struct ThreadOwnership {
    std::vector<std::weak_ptr<MutexObject>> owned;
    ~ThreadOwnership() {
        const auto me = std::this_thread::get_id();
        for (auto& weak : owned) {
            auto m = weak.lock();
            if (!m) continue;
            std::lock_guard lock(m->lock);
            if (!m->owned || m->owner != me) continue;
            m->owned = false;
            m->depth = 0;
            m->abandoned = true;
            afterFree(*m, false);
        }
    }
};
thread_local ThreadOwnership tOwnership;

void forget(const std::shared_ptr<MutexObject>& m) {
    auto& list = tOwnership.owned;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const std::weak_ptr<MutexObject>& w) {
                                  auto alive = w.lock();
                                  return !alive || alive == m;
                              }),
               list.end());
}

// A forked child has only the forking thread and owns none of its parent's mutexes. Its lock
// file descriptors share their open files, and so their locks, with the parent's: they are closed
// (which leaves the parent's locks alone) and opened afresh when next needed. The tables are held
// shared across the fork, which keeps their writers out (a read-write lock held for writing
// could not be released in the child, whose thread id differs).
void prepareFork() {
    gTable.lock_shared();
}
void parentAfterFork() {
    gTable.unlock_shared();
}
void childAfterFork() {
    for (auto& [handle, m] : gHandles) {
        new (&m->lock) std::mutex();
        new (&m->freed) std::condition_variable();
        m->owned = false;
        m->depth = 0;
        m->abandoned = false;
        m->fileHeld = false;
        m->waiters = 0;
        m->wakePending = false;
        m->spinning = 0;
        m->handOvers = 0;
        if (m->fd >= 0) ::close(m->fd);
        m->fd = -1;
    }
    gTable.unlock_shared();
}

DWORD errorFromErrno(int error) {
    return quarn_platform::errorFromErrno(error, ERROR_PATH_NOT_FOUND);
}

// The folder of the lock files: private to the user, refused when someone else could plant
// files in it.
DWORD lockDirectory(std::string& folder) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    bool useRuntime = runtime && *runtime && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode);
    folder =
        useRuntime ? std::string(runtime) + "/quarn" : "/tmp/quarn-" + std::to_string(::geteuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errorFromErrno(errno);
    if (::lstat(folder.c_str(), &st) != 0) return errorFromErrno(errno);
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 022))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

// The lock file of a name: letters, digits, '-', '_' and '.' kept, other bytes as %XX.
DWORD lockPathOf(std::u16string_view name, std::string& path) {
    static const char digits[] = "0123456789ABCDEF";
    std::string folder;
    if (DWORD error = lockDirectory(folder)) return error;
    std::string file = "mutex-";
    for (unsigned char c : quarn_platform::toUtf8(name)) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_' || c == '.';
        if (plain) {
            file += static_cast<char>(c);
        } else {
            file += '%';
            file += digits[c >> 4];
            file += digits[c & 0xF];
        }
    }
    if (file.size() > 250) return ERROR_FILENAME_EXCED_RANGE;
    path = folder + "/" + file;
    return ERROR_SUCCESS;
}

DWORD openLockFile(const std::string& path, int& fd) {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    return fd < 0 ? errorFromErrno(errno) : ERROR_SUCCESS;
}

// Takes the file lock of a named mutex by the deadline (none: no time-out), for the thread that
// has just become its in-process owner; reads and sets the marker.
DWORD lockFile(MutexObject& m, std::optional<Clock::time_point> deadline, bool& abandoned,
               DWORD& error) {
    if (m.fd < 0)
        if ((error = openLockFile(m.lockPath, m.fd))) return WAIT_FAILED;
    auto pause = std::chrono::microseconds(50);
    while (::flock(m.fd, deadline ? LOCK_EX | LOCK_NB : LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            error = errorFromErrno(errno);
            return WAIT_FAILED;
        }
        const auto now = Clock::now();
        if (now >= *deadline) return WAIT_TIMEOUT;
        // flock has no time-out: poll, backing off to two milliseconds.
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, *deadline - now));
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(2));
    }
    char marker = '0';
    abandoned = ::pread(m.fd, &marker, 1, 0) == 1 && marker == '1';
    const char taken = '1';
    if (!abandoned && ::pwrite(m.fd, &taken, 1, 0) != 1) {
        error = errorFromErrno(errno);
        ::flock(m.fd, LOCK_UN);
        return WAIT_FAILED;
    }
    return WAIT_OBJECT_0;
}

std::shared_ptr<MutexObject> lookup(HANDLE handle) {
    std::shared_lock lock(gTable);
    auto it = gHandles.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == gHandles.end() ? nullptr : it->second;
}

} // namespace

HANDLE CreateMutexW(void*, BOOL initialOwner, LPCWSTR name) {
    try {
        static std::once_flag forkHandlers;
        std::call_once(forkHandlers,
                       [] { pthread_atfork(prepareFork, parentAfterFork, childAfterFork); });

        const std::u16string text = name ? name : u"";
        std::string lockPath;
        if (!text.empty()) {
            if (text.size() > MAX_PATH) {
                SetLastError(ERROR_FILENAME_EXCED_RANGE);
                return nullptr;
            }
            if (DWORD error = lockPathOf(text, lockPath)) {
                SetLastError(error);
                return nullptr;
            }
        }

        HANDLE handle = nullptr;
        bool existed = false;
        {
            std::lock_guard lock(gTable);
            std::shared_ptr<MutexObject> m;
            if (!text.empty()) {
                auto it = gNamed.find(text);
                if (it != gNamed.end()) {
                    m = it->second.lock();
                    if (!m) gNamed.erase(it);
                }
            }
            existed = m != nullptr;
            if (!m) {
                m = std::make_shared<MutexObject>();
                if (!text.empty()) {
                    m->lockPath = lockPath;
                    if (DWORD error = openLockFile(lockPath, m->fd)) {
                        SetLastError(error);
                        return nullptr;
                    }
                    gNamed[text] = m;
                }
            }
            std::uintptr_t value = gNextHandle;
            gNextHandle += 4;
            gHandles[value] = std::move(m);
            handle = reinterpret_cast<HANDLE>(value);
        }
        if (existed) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return handle;
        }
        if (initialOwner) {
            DWORD result = WaitForSingleObject(handle, text.empty() ? INFINITE : 0);
            if (result == WAIT_TIMEOUT) {
                SetLastError(ERROR_ALREADY_EXISTS);
                return handle;
            }
            if (result == WAIT_FAILED) {
                DWORD error = GetLastError();
                CloseHandle(handle);
                SetLastError(error);
                return nullptr;
            }
        }
        SetLastError(ERROR_SUCCESS);
        return handle;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    try {
        std::shared_ptr<MutexObject> m = lookup(handle);
        if (!m) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        std::unique_lock lock(m->lock);
        const auto me = std::this_thread::get_id();
        if (m->owned && m->owner == me) {
            if (m->depth == 0x7FFFFFFFu) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return WAIT_FAILED;
            }
            ++m->depth;
            return WAIT_OBJECT_0;
        }
        std::optional<Clock::time_point> deadline;
        if (milliseconds != INFINITE)
            deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
        if (m->owned && milliseconds != 0) {
            ++m->spinning;
            lock.unlock();
            for (int spin = 0; spin < kSpins && m->owned.load(std::memory_order_relaxed); ++spin)
                spinPause();
            lock.lock();
            --m->spinning;
        }
        if (m->owned) {
            ++m->waiters;
            bool timedOut = false;
            while (m->owned && !timedOut) {
                if (deadline)
                    timedOut = m->freed.wait_until(lock, *deadline) == std::cv_status::timeout;
                else
                    m->freed.wait(lock);
                m->wakePending = false;
            }
            --m->waiters;
            if (m->owned) return WAIT_TIMEOUT;
        }
        // In-process ownership first, then (named, unless handed over with the file lock) the
        // other processes' lock, waited for without m->lock; other threads wait on `owned`.
        m->owned = true;
        m->owner = me;
        m->depth = 1;
        bool abandoned = std::exchange(m->abandoned, false);
        if (!m->lockPath.empty() && !m->fileHeld) {
            lock.unlock();
            bool fileAbandoned = false;
            DWORD error = ERROR_SUCCESS;
            DWORD result = lockFile(*m, deadline, fileAbandoned, error);
            lock.lock();
            if (result != WAIT_OBJECT_0) {
                m->owned = false;
                m->depth = 0;
                m->abandoned = abandoned;
                wakeOne(*m);
                if (result == WAIT_FAILED) SetLastError(error);
                return result;
            }
            m->fileHeld = true;
            m->handOvers = 0;
            abandoned = abandoned || fileAbandoned;
        }
        tOwnership.owned.push_back(m);
        return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return WAIT_FAILED;
    }
}

BOOL ReleaseMutex(HANDLE handle) {
    std::shared_ptr<MutexObject> m = lookup(handle);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(m->lock);
    if (!m->owned || m->owner != std::this_thread::get_id()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--m->depth == 0) {
        m->owned = false;
        forget(m);
        afterFree(*m, true);
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    std::shared_ptr<MutexObject> last;
    std::lock_guard lock(gTable);
    auto it = gHandles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == gHandles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    last = std::move(it->second);
    gHandles.erase(it);
    return TRUE;
}
