// The two IStream implementations of the stand-in: a read-only file stream and a memory stream.

#include "ComStream.h"
#include "ComObject.h"
#include "WideString.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

const IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

// What the two streams share: reference counting, interface lookup, seeking over a known size.
class StreamBase : public ComObject<IStream, &IID_ISequentialStream, &IID_IStream> {
public:
    HRESULT Write(const void*, ULONG, ULONG* written) override {
        if (written) *written = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        std::int64_t base;
        switch (origin) {
        case STREAM_SEEK_SET:
            base = 0;
            break;
        case STREAM_SEEK_CUR:
            base = position_;
            break;
        case STREAM_SEEK_END:
            base = static_cast<std::int64_t>(size());
            break;
        default:
            return STG_E_INVALIDFUNCTION;
        }
        std::int64_t target;
        if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0)
            return STG_E_INVALIDFUNCTION;
        position_ = target;
        if (newPosition) newPosition->QuadPart = static_cast<ULONGLONG>(position_);
        return S_OK;
    }
    HRESULT SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        stat->cbSize.QuadPart = size();
        return S_OK;
    }
    HRESULT Clone(IStream**) override { return E_NOTIMPL; }

protected:
    virtual ULONGLONG size() const = 0;
    std::int64_t position_ = 0;
};

class FileStream final : public StreamBase {
public:
    explicit FileStream(int fd) : fd_(fd) {}
    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        if (read) *read = 0;
        if (!buffer && count) return STG_E_INVALIDPOINTER;
        ULONG done = 0;
        while (done < count) {
            ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, count - done,
                                static_cast<off_t>(position_ + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return STG_E_READFAULT;
            if (n == 0) break;
            done += static_cast<ULONG>(n);
        }
        position_ += done;
        if (read) *read = done;
        return S_OK;
    }

private:
    ~FileStream() override { ::close(fd_); }
    ULONGLONG size() const override {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? static_cast<ULONGLONG>(st.st_size) : 0;
    }
    int fd_;
};

class MemoryStream final : public StreamBase {
public:
    explicit MemoryStream(std::vector<BYTE> bytes) : bytes_(std::move(bytes)) {}
    HRESULT Read(void* buffer, ULONG count, ULONG* read) override {
        if (read) *read = 0;
        if (!buffer && count) return STG_E_INVALIDPOINTER;
        ULONG done = 0;
        if (position_ < static_cast<std::int64_t>(bytes_.size())) {
            std::size_t left = bytes_.size() - static_cast<std::size_t>(position_);
            done = static_cast<ULONG>(left < count ? left : count);
            std::memcpy(buffer, bytes_.data() + position_, done);
        }
        position_ += done;
        if (read) *read = done;
        return S_OK;
    }

private:
    ULONGLONG size() const override { return bytes_.size(); }
    std::vector<BYTE> bytes_;
};

} // namespace

namespace {

HRESULT fromErrno(int error) {
    return HRESULT_FROM_WIN32(quarn_platform::errorFromErrno(error, ERROR_PATH_NOT_FOUND));
}

} // namespace

HRESULT SHCreateStreamOnFileW(LPCWSTR path, DWORD mode, IStream** stream) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    if (!path) return E_INVALIDARG;
    if (mode != STGM_READ) return STG_E_ACCESSDENIED;
    std::string name = quarn_platform::toUtf8(path);
    // Only a regular file is opened: the open of a FIFO without a writer would block, and a
    // device or a folder is not a file's bytes. The type is checked before the open (which could
    // have effects on a device), and again on what was opened, which does not block on a FIFO
    // that took the file's place meanwhile.
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return fromErrno(errno);
    if (!S_ISREG(st.st_mode)) return HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE);
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return fromErrno(errno);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE);
    }
    auto* file = new (std::nothrow) FileStream(fd);
    if (!file) {
        ::close(fd);
        return E_OUTOFMEMORY;
    }
    *stream = file;
    return S_OK;
}

IStream* SHCreateMemStream(const BYTE* bytes, UINT size) {
    try {
        std::vector<BYTE> copy;
        if (bytes)
            copy.assign(bytes, bytes + size);
        else
            copy.resize(size);
        return new MemoryStream(std::move(copy));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
