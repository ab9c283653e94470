#include "IStreamIO.h"
#include "Error.h"
#include "WinSync.h"

#include <limits>

namespace {

// How long a read waits for "theMutex". Every holder keeps it for one seek and one read of a
// header-sized block, which takes microseconds from a local file and milliseconds from a slow
// network one; a holder that keeps it for seconds is stalled (a hung share, a stopped process).
// Three seconds lets every healthy read through and keeps a host waiting on a stalled one short.
constexpr DWORD kMutexTimeoutMs = 3000;

// Releases the mutex when the read leaves, also by an exception of the stream.
struct MutexHold {
    HANDLE mutex = nullptr;
    ~MutexHold() {
        if (mutex) ReleaseMutex(mutex);
    }
};

} // namespace

IStreamIO::IStreamIO(IStream* stream) : stream_(stream) {
    LARGE_INTEGER zero{};
    ULARGE_INTEGER end{};
    stream_->Seek(zero, STREAM_SEEK_END, &end);
    // A length beyond what an offset can name is held at the largest offset.
    length_ = end.QuadPart > static_cast<ULONGLONG>(std::numeric_limits<std::int64_t>::max())
                  ? std::numeric_limits<std::int64_t>::max()
                  : static_cast<std::int64_t>(end.QuadPart);
    mutex_ = CreateMutexW(nullptr, FALSE, u"theMutex");
}

IStreamIO::~IStreamIO() {
    if (mutex_) CloseHandle(mutex_);
}

std::int64_t IStreamIO::pread(std::int64_t offset, void* buffer, std::int64_t count) {
    if (count <= 0 || offset < 0) return 0;
    // Without the mutex (it could not be made, or the wait failed) the read runs unguarded; a
    // wait that times out fails the read. An abandoned mutex is taken as it stands.
    MutexHold hold;
    const DWORD wait = WaitForSingleObject(mutex_, kMutexTimeoutMs);
    if (wait == WAIT_TIMEOUT)
        KORVEL_FAIL("IStreamIO", "IStreamIO::pread", Korvel::ErrorCode::Generic,
                    "timed out waiting for theMutex");
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) hold.mutex = mutex_;
    LARGE_INTEGER move{};
    move.QuadPart = offset;
    ULONG delivered = 0;
    if (SUCCEEDED(stream_->Seek(move, STREAM_SEEK_SET, nullptr))) {
        ULONG asked = count > std::numeric_limits<ULONG>::max() ? std::numeric_limits<ULONG>::max()
                                                                : static_cast<ULONG>(count);
        stream_->Read(buffer, asked, &delivered);
        if (delivered > asked) delivered = asked;
    }
    return delivered;
}
