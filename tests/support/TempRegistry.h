#pragma once
// Points the platform's registry at a fresh database (made by the first change) for the life of a
// test.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace quarn_test {

class TempRegistry {
public:
    TempRegistry() {
        char pattern[] = "/tmp/quarn-registry-XXXXXX";
        int fd = ::mkstemp(pattern);
        if (fd >= 0) ::close(fd);
        path_ = pattern;
        std::filesystem::remove(path_);
        previous_ = std::getenv("QUARN_REGISTRY") ? std::getenv("QUARN_REGISTRY") : "";
        ::setenv("QUARN_REGISTRY", path_.c_str(), 1);
    }
    ~TempRegistry() {
        std::error_code ignored;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            std::filesystem::remove(path_ + suffix, ignored);
        if (previous_.empty())
            ::unsetenv("QUARN_REGISTRY");
        else
            ::setenv("QUARN_REGISTRY", previous_.c_str(), 1);
    }
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

} // namespace quarn_test
