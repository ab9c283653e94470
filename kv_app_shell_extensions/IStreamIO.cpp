#include "IStreamIO.h"
#include "WinSync.h"

#include <limits>

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
    // Without the mutex (it could not be made) the read runs unguarded.
    WaitForSingleObject(mutex_, INFINITE);
    LARGE_INTEGER move{};
    move.QuadPart = offset;
    ULONG delivered = 0;
    if (SUCCEEDED(stream_->Seek(move, STREAM_SEEK_SET, nullptr))) {
        ULONG asked = count > std::numeric_limits<ULONG>::max() ? std::numeric_limits<ULONG>::max()
                                                                : static_cast<ULONG>(count);
        stream_->Read(buffer, asked, &delivered);
        if (delivered > asked) delivered = asked;
    }
    ReleaseMutex(mutex_);
    return delivered;
}
