#include "BufferedIOReader.h"

#include "Error.h"

#include <algorithm>
#include <cstring>

namespace Korvel {

namespace {

// A pread count kept within [0, asked], whatever the IO answers.
std::int64_t checkedPread(IO* io, std::int64_t offset, void* buffer, std::int64_t count) {
    if (io == nullptr || count <= 0 || offset < 0) return 0;
    const std::int64_t got = io->pread(offset, buffer, count);
    return std::clamp<std::int64_t>(got, 0, count);
}

} // namespace

BufferedIOReader::~BufferedIOReader() {
    detach();
}

void BufferedIOReader::detach() {
    close();
    if (io_ != nullptr) io_->release();
    io_ = nullptr;
    filePos_ = 0;
    windowEnd_ = -1;
}

void BufferedIOReader::attach(IO* io, bool open, std::int64_t bufferSize) {
    if (io != nullptr) io->retain();
    detach();
    io_ = io;
    if (open) this->open(bufferSize);
}

void BufferedIOReader::attach(const IO::Location& location, std::int64_t maxBufferSize) {
    const std::int64_t length = location.getLength();
    attach(location.getIO(), false, 0);
    open(length >= 1 && length < maxBufferSize ? length : maxBufferSize);
    seek(location.getOffset(), FromStart);
    std::int64_t end = 0;
    windowEnd_ = length > 0 && !__builtin_add_overflow(location.getOffset(), length, &end)
                     ? end
                     : std::max<std::int64_t>(location.getOffset(), 0);
}

void BufferedIOReader::open(std::int64_t bufferSize) {
    if (buffer_ != nullptr) return;
    bufferSize = std::max<std::int64_t>(bufferSize, 1);
    buffer_ = static_cast<unsigned char*>(XALLOC(static_cast<std::size_t>(bufferSize)));
    bufferSize_ = bufferSize;
    cur_ = end_ = buffer_;
    try {
        if (io_ != nullptr) io_->open();
    } catch (...) {
        XFREE(buffer_);
        buffer_ = cur_ = end_ = nullptr;
        throw;
    }
}

void BufferedIOReader::close() {
    if (buffer_ == nullptr) return;
    // Reads after a close go straight to the IO from the logical position.
    filePos_ = tell();
    unsigned char* buffer = buffer_;
    buffer_ = cur_ = end_ = nullptr;
    XFREE(buffer);
    if (io_ != nullptr) io_->close();
}

std::int64_t BufferedIOReader::tell() const {
    return filePos_ - (end_ - cur_);
}

void BufferedIOReader::seek(std::int64_t offset, int origin) {
    std::int64_t base = 0;
    switch (origin) {
    case FromStart:
        break;
    case FromCurrent:
        base = tell();
        break;
    case FromEnd:
        base = io_ != nullptr ? io_->size() : 0;
        break;
    default:
        KORVEL_FAIL("Base", "Korvel::BufferedIOReader::seek", ErrorCode::Generic,
                    "bad seek origin");
    }
    std::int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0)
        KORVEL_FAIL("Base", "Korvel::BufferedIOReader::seek", ErrorCode::Generic,
                    "bad seek offset");
    const std::int64_t bufferStart = filePos_ - (end_ - buffer_);
    if (buffer_ != nullptr && target >= bufferStart && target < filePos_) {
        cur_ = buffer_ + (target - bufferStart);
        return;
    }
    cur_ = end_ = buffer_;
    filePos_ = target;
}

std::int64_t BufferedIOReader::read(void* destination, std::int64_t n) {
    if (n <= 0) return 0;
    unsigned char* out = static_cast<unsigned char*>(destination);
    const std::int64_t avail = end_ - cur_;
    if (n < avail) {
        std::memcpy(out, cur_, static_cast<std::size_t>(n));
        cur_ += n;
        return n;
    }
    if (avail > 0) std::memcpy(out, cur_, static_cast<std::size_t>(avail));
    const std::int64_t rest = n - avail;
    // The buffered bytes are used up: empty the buffer so that it never claims bytes that a
    // direct read has moved past.
    cur_ = end_ = buffer_;
    if (buffer_ == nullptr || rest >= bufferSize_) {
        const std::int64_t got = checkedPread(io_, filePos_, out + avail, rest);
        filePos_ += got;
        return avail + got;
    }
    const std::int64_t got = checkedPread(io_, filePos_, buffer_, bufferSize_);
    end_ = buffer_ + got;
    filePos_ += got;
    const std::int64_t copied = std::min(rest, got);
    std::memcpy(out + avail, cur_, static_cast<std::size_t>(copied));
    cur_ += copied;
    return avail + copied;
}

std::int64_t BufferedIOReader::remaining() const {
    std::int64_t end = io_ != nullptr ? io_->size() : 0;
    if (windowEnd_ >= 0) end = std::min(end, windowEnd_);
    return std::max<std::int64_t>(end - tell(), 0);
}

} // namespace Korvel
