#pragma once
// Points the lock files of named mutexes at a private folder for the life of a test, so that a
// test holding a named mutex does not stall other test programs running at the same time.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace quarn_test {

class TempRuntimeDir {
public:
    TempRuntimeDir() {
        char pattern[] = "/tmp/quarn-runtime-XXXXXX";
        path_ = ::mkdtemp(pattern) ? pattern : "";
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        previous_ = old ? old : "";
        hadPrevious_ = old != nullptr;
        ::setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~TempRuntimeDir() {
        if (hadPrevious_)
            ::setenv("XDG_RUNTIME_DIR", previous_.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempRuntimeDir(const TempRuntimeDir&) = delete;
    TempRuntimeDir& operator=(const TempRuntimeDir&) = delete;

private:
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

} // namespace quarn_test
