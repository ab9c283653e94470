// Property-schema registration: each registered description file is a REG_SZ value under the
// machine's PropertySchema key, named by its path and holding the path.

#include "PropSys.h"
#include "WideString.h"
#include "WinReg.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using quarn_platform::fromWin32;
using quarn_platform::KeyHolder;

constexpr const WCHAR* kSchemaKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertySchema";

// S_OK when path names a readable regular file.
HRESULT checkReadable(const std::u16string& path) {
    const std::string file = quarn_platform::toUtf8(path);
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
        case ENOENT:
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        case ENOTDIR:
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        case EACCES:
        case EPERM:
            return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
        default:
            return E_FAIL;
        }
    }
    struct stat st {};
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular ? S_OK : HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
}

struct SchemaValue {
    std::u16string name;
    std::u16string path;
};

// The recorded schemas. Value names are case-insensitive but file names are not, so a schema is
// identified by the path the value holds, and the name only has to be unique.
std::vector<SchemaValue> recorded(HKEY key) {
    std::vector<SchemaValue> out;
    std::vector<WCHAR> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD chars = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, i, name.data(), &chars, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        SchemaValue v;
        v.name.assign(name.data(), chars);
        if (type == REG_SZ &&
            quarn_platform::readStringValue(key, u"", v.name.c_str(), &v.path) == ERROR_SUCCESS)
            out.push_back(std::move(v));
    }
    return out;
}

} // namespace

HRESULT PSRegisterPropertySchema(LPCWSTR path) {
    if (!path || !*path) return E_INVALIDARG;
    return quarn_platform::inRegistryTransaction([&]() -> HRESULT {
        const std::u16string file(path);
        if (HRESULT hr = checkReadable(file); FAILED(hr)) return hr;
        HKEY key = nullptr;
        if (LONG rc =
                RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSchemaKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr))
            return fromWin32(rc);
        const auto schemas = recorded(key);
        // Already recorded: write it again under its own name. Else take the path as the name,
        // or, when a path differing only in letter case holds that name, the first free
        // "path (n)".
        std::u16string name = file;
        for (const auto& s : schemas)
            if (s.path == file) name = s.name;
        auto taken = [&](const std::u16string& candidate) {
            for (const auto& s : schemas)
                if (s.path != file && quarn_platform::equalsIgnoreCase(s.name, candidate))
                    return true;
            return false;
        };
        for (int n = 2; taken(name); ++n)
            name = file + u" (" + quarn_platform::toUtf16(std::to_string(n)) + u")";
        LONG rc = quarn_platform::writeStringValue(key, u"", name.c_str(), file);
        RegCloseKey(key);
        return fromWin32(rc);
    });
}

HRESULT PSUnregisterPropertySchema(LPCWSTR path) {
    if (!path || !*path) return E_INVALIDARG;
    return quarn_platform::inRegistryTransaction([&]() -> HRESULT {
        const std::u16string file(path);
        HKEY key = nullptr;
        LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSchemaKey, 0, KEY_ALL_ACCESS, &key);
        if (rc) return fromWin32(rc);
        bool found = false;
        for (const auto& s : recorded(key)) {
            if (s.path != file) continue;
            found = true;
            if ((rc = RegDeleteValueW(key, s.name.c_str()))) break;
        }
        RegCloseKey(key);
        if (rc) return fromWin32(rc);
        return found ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    });
}
