#pragma once
// A read-only library stream over a file descriptor of its own, for the benchmarks that read
// their images from disk; its duplicates open the file again.

#include "streams/KVIOStreamInf.h"

#include <cstdint>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace quarn_bench {

// A read-only stream over a file descriptor of its own.
class FdStream : public Korvel::KVIOStreamInf {
public:
    explicit FdStream(std::string path) : path_(std::move(path)) {}
    ~FdStream() override { close(); }
    bool isOpen() override { return fd_ >= 0; }
    Korvel::KVStatus open() override {
        if (fd_ < 0) fd_ = ::open(path_.c_str(), O_RDONLY);
        return fd_ >= 0 ? Korvel::KV_OK : Korvel::KV_FAILURE;
    }
    Korvel::KVStatus close() override {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        return Korvel::KV_OK;
    }
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override {
        const ssize_t got = ::read(fd_, buffer, count);
        return got > 0 ? static_cast<std::uint32_t>(got) : 0;
    }
    Korvel::KVStatus seek(std::int64_t offset, std::uint32_t direction) override {
        const int whence = direction == Korvel::KVIO_SEEK_SET   ? SEEK_SET
                           : direction == Korvel::KVIO_SEEK_CUR ? SEEK_CUR
                                                                : SEEK_END;
        return ::lseek(fd_, offset, whence) >= 0 ? Korvel::KV_OK : Korvel::KV_FAILURE;
    }
    std::int64_t tell() override { return ::lseek(fd_, 0, SEEK_CUR); }
    Korvel::KVIOStreamInf* duplicate() override { return new FdStream(path_); }

private:
    std::string path_;
    int fd_ = -1;
};

} // namespace quarn_bench
