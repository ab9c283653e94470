#pragma once
// Modules and their resources. A module is identified by the address of its descriptor, which
// lists the module's resources; the module's file is the shared object that holds that address.

#include "WinTypes.h"

#include <cstddef>

struct ResourceEntry {
    LPCWSTR type; // u"REGISTRY", u"TYPELIB", u"STRING"
    int id;
    const void* data; // REGISTRY and STRING: a UTF-16 text; TYPELIB: a TypeLibDesc
    DWORD size;       // bytes of data
};

struct ModuleDescriptor {
    const ResourceEntry* resources;
    std::size_t count;
};

// Makes a module's resources known to this process's stand-in (done at process attach) and
// forgets them again (process detach).
void RegisterModuleInstance(HINSTANCE instance);
void UnregisterModuleInstance(HINSTANCE instance);
// The module whose file is at path, among those registered; null when none.
HINSTANCE FindModuleInstanceByPath(LPCWSTR path);

// The resource of that type and id; null (and ERROR_RESOURCE_NOT_FOUND as last error) if absent.
const ResourceEntry* FindModuleResource(HINSTANCE instance, LPCWSTR type, int id);

// The full path of the shared object that holds the instance's address (the executable for
// null). Returns the characters copied without terminator; 0 on failure, with the last error set.
// A name cut short to fit is terminated and sets ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR name, DWORD capacity);

// Thread locale of the calling thread (0x0800, the system default, at start).
LCID GetThreadLocale();
BOOL SetThreadLocale(LCID locale);
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr DWORD ERROR_RESOURCE_NOT_FOUND = 1814;
