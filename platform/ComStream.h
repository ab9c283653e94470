#pragma once
// IStream, and the two streams the stand-in offers: a read-only stream over a file and a stream
// over a copy of bytes in memory.

#include "ComBase.h"

struct STATSTG {
    ULARGE_INTEGER cbSize;
};

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;
inline constexpr DWORD STGM_READ = 0x00000000;
inline constexpr DWORD STATFLAG_NONAME = 1;

struct ISequentialStream : IUnknown {
    virtual HRESULT Read(void* buffer, ULONG count, ULONG* read) = 0;
    virtual HRESULT Write(const void* buffer, ULONG count, ULONG* written) = 0;
};

struct IStream : ISequentialStream {
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
    virtual HRESULT CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                           ULARGE_INTEGER* written) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) = 0;
    virtual HRESULT UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
    virtual HRESULT Clone(IStream** clone) = 0;
};

extern const IID IID_ISequentialStream;
extern const IID IID_IStream;

// Opening anything but a regular file (a folder, a FIFO, a device).
inline constexpr DWORD ERROR_BAD_FILE_TYPE = 222;

// A read-only stream over the regular file at path (UTF-16); the reference count starts at 1.
HRESULT SHCreateStreamOnFileW(LPCWSTR path, DWORD mode, IStream** stream);
// A stream over a copy of size bytes; null when memory runs out. The reference count starts at 1.
IStream* SHCreateMemStream(const BYTE* bytes, UINT size);
