#include "IO.h"

#include <mutex>

namespace Korvel {

IO::~IO() = default;

std::int64_t IO::pread(std::int64_t, void*, std::int64_t) {
    return 0;
}

std::int64_t IO::pwrite(std::int64_t, const void*, std::int64_t) {
    return 0;
}

std::int64_t IO::size() {
    return 0;
}

void IO::openHook() {}

void IO::closeHook() {}

void IO::open() {
    std::lock_guard<Mutex> lock(mutex_);
    if (openCount_ == 0) openHook();
    ++openCount_;
}

void IO::close() {
    std::lock_guard<Mutex> lock(mutex_);
    // A close without a matching open is ignored, so the count never goes negative and the next
    // open still runs the open hook.
    if (openCount_ == 0) return;
    if (--openCount_ == 0) closeHook();
}

std::int64_t IO::getOpenCount() {
    std::lock_guard<Mutex> lock(mutex_);
    return openCount_;
}

// --- Location -------------------------------------------------------------------------------

IO::Location::Location(IO* io, std::int64_t offset, std::int64_t length) {
    set(io, offset, length);
}

IO::Location::Location(const Location& other) {
    set(other.io_, other.offset_, other.length_);
}

IO::Location& IO::Location::operator=(const Location& other) {
    set(other.io_, other.offset_, other.length_);
    return *this;
}

IO::Location::~Location() {
    if (io_ != nullptr) io_->release();
}

void IO::Location::set(IO* io, std::int64_t offset, std::int64_t length) {
    if (io != io_) {
        if (io != nullptr) io->retain();
        if (io_ != nullptr) io_->release();
        io_ = io;
    }
    offset_ = offset;
    length_ = length;
}

} // namespace Korvel
