// Module instances, their resources and file names, and the thread locale.

#include "WinModule.h"
#include "WideString.h"

#include <algorithm>
#include <climits>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
std::mutex modulesLock;
std::vector<HINSTANCE>& modules() {
    static std::vector<HINSTANCE> list;
    return list;
}
thread_local LCID threadLocale = LOCALE_SYSTEM_DEFAULT;

std::string modulePath(HMODULE module) {
    if (!module) {
        char buffer[PATH_MAX];
        ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    Dl_info info{};
    if (::dladdr(module, &info) == 0 || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    if (::realpath(info.dli_fname, resolved)) return resolved;
    return info.dli_fname;
}
} // namespace

void RegisterModuleInstance(HINSTANCE instance) {
    std::lock_guard<std::mutex> guard(modulesLock);
    auto& list = modules();
    if (std::find(list.begin(), list.end(), instance) == list.end()) list.push_back(instance);
}

void UnregisterModuleInstance(HINSTANCE instance) {
    std::lock_guard<std::mutex> guard(modulesLock);
    auto& list = modules();
    list.erase(std::remove(list.begin(), list.end(), instance), list.end());
}

HINSTANCE FindModuleInstanceByPath(LPCWSTR path) {
    if (!path) return nullptr;
    std::string wanted = quarn_platform::toUtf8(path);
    std::lock_guard<std::mutex> guard(modulesLock);
    for (HINSTANCE instance : modules())
        if (modulePath(instance) == wanted) return instance;
    return nullptr;
}

const ResourceEntry* FindModuleResource(HINSTANCE instance, LPCWSTR type, int id) {
    if (instance && type) {
        const auto* descriptor = static_cast<const ModuleDescriptor*>(instance);
        for (std::size_t i = 0; i < descriptor->count; ++i) {
            const ResourceEntry& entry = descriptor->resources[i];
            if (entry.id == id && lstrcmpiW(entry.type, type) == 0) return &entry;
        }
    }
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return nullptr;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR name, DWORD capacity) {
    std::string path = modulePath(module);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (!name || capacity == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::u16string wide = quarn_platform::toUtf16(path);
    if (wide.size() >= capacity) {
        std::copy_n(wide.begin(), capacity - 1, name);
        name[capacity - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return capacity;
    }
    std::copy(wide.begin(), wide.end(), name);
    name[wide.size()] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(wide.size());
}

LCID GetThreadLocale() {
    return threadLocale;
}

BOOL SetThreadLocale(LCID locale) {
    threadLocale = locale;
    return TRUE;
}
