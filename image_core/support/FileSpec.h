#pragma once
// A file name kept as UTF-8, with its active-code-page and UTF-16 forms made on first request.

#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

struct FileSpecInfo {
    std::uint64_t size = 0;
    // Whole seconds since 1970-01-01 00:00 UTC; 0 when the system keeps no such time.
    std::int64_t lastAccessTime = 0;
    std::int64_t lastChangeTime = 0;
    std::int64_t creationTime = 0;
    bool isDirectory = false;
};

class FileSpec {
public:
    // Encoding flag of the constructor: the name is UTF-8; any other value means the active
    // code page.
    static constexpr int kUTF8 = 1;

    // A null name leaves every form null. Out of memory throws KVUtilException(KV_OUT_OF_MEMORY).
    FileSpec(const char* name, int encoding);
    FileSpec(const FileSpec&) = delete;
    FileSpec& operator=(const FileSpec&) = delete;
    ~FileSpec();

    // The forms; null only for a null name. Making a form may throw as the constructor does.
    // Safe to call from several threads at once.
    const char* getUTF8Name() const { return utf8_; }
    const char* getANSIName() const;
    const char16_t* getUTF16Name() const;

    // 0, or the system's error code when the file's attributes cannot be read.
    std::uint32_t getInfo(FileSpecInfo& info) const;
    // False also when getInfo fails.
    bool isDirectory() const;

private:
    char* utf8_ = nullptr;
    mutable char* ansi_ = nullptr;
    mutable char16_t* utf16_ = nullptr;
};

} // namespace Korvel
