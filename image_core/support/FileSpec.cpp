#include "support/FileSpec.h"

#include "support/KVAtomic.h"
#include "support/KVCharConvert.h"
#include "support/KVPlatformId.h"
#include "support/KVStatusGuard.h"
#include "support/KVUtilException.h"

#include "WinFile.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace Korvel {

namespace {

// Installs a freshly made form unless another thread got there first; either way returns the
// form that stays.
template <typename Unit> Unit* install(Unit** slot, std::unique_ptr<Unit[]> made) {
    if (!made) throw KVUtilException(KV_OUT_OF_MEMORY);
    if (atomicCompareExchange<Unit>(slot, nullptr, made.get())) return made.release();
    return atomicLoad(slot);
}

std::int64_t toUnixSeconds(const FILETIME& time) {
    const std::uint64_t ticks = (std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (ticks == 0) return 0;
    constexpr std::int64_t kEpochDifference = 116444736000000000LL;
    // Ticks beyond the signed range lie some 29,000 years ahead; they keep the largest time.
    const auto signedTicks = ticks > std::uint64_t(INT64_MAX) ? INT64_MAX : std::int64_t(ticks);
    return (signedTicks - kEpochDifference) / 10000000;
}

} // namespace

FileSpec::FileSpec(const char* name, int encoding) {
    if (!name) return;
    if (encoding == kUTF8) {
        const std::size_t length = std::strlen(name);
        utf8_ = new (std::nothrow) char[length + 1];
        if (!utf8_) throw KVUtilException(KV_OUT_OF_MEMORY);
        std::memcpy(utf8_, name, length + 1);
    } else {
        utf8_ = ansiToUtf8(name).release();
        if (!utf8_) throw KVUtilException(KV_OUT_OF_MEMORY);
    }
}

FileSpec::~FileSpec() {
    delete[] utf8_;
    delete[] ansi_;
    delete[] utf16_;
}

const char* FileSpec::getANSIName() const {
    if (char* form = atomicLoad(&ansi_)) return form;
    if (!utf8_) return nullptr;
    return install(&ansi_, utf8ToAnsi(utf8_));
}

const char16_t* FileSpec::getUTF16Name() const {
    if (char16_t* form = atomicLoad(&utf16_)) return form;
    if (!utf8_) return nullptr;
    return install(&utf16_, utf8ToUtf16(utf8_));
}

std::uint32_t FileSpec::getInfo(FileSpecInfo& info) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    BOOL ok = FALSE;
    KV_RETURN_IF_FAILED(kvGuard([&] {
        // The Windows 9x family has only the code-page form of the call.
        const KVPlatformFamily family = platformId();
        if (family == KV_PLATFORM_WIN95 || family == KV_PLATFORM_WIN98 ||
            family == KV_PLATFORM_WINME)
            ok = GetFileAttributesExA(getANSIName(), GetFileExInfoStandard, &data);
        else
            ok = GetFileAttributesExW(getUTF16Name(), GetFileExInfoStandard, &data);
    }));
    if (!ok) {
        const DWORD error = GetLastError();
        // A failure always reports a failure, even if the system left no code.
        return error != ERROR_SUCCESS ? error : KV_FAILURE;
    }
    info.size = (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.lastAccessTime = toUnixSeconds(data.ftLastAccessTime);
    info.lastChangeTime = toUnixSeconds(data.ftLastWriteTime);
    info.creationTime = toUnixSeconds(data.ftCreationTime);
    info.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return KV_OK;
}

bool FileSpec::isDirectory() const {
    FileSpecInfo info;
    return getInfo(info) == KV_OK && info.isDirectory;
}

} // namespace Korvel
