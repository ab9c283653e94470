#pragma once
// The registry: keys and values under the predefined roots, kept in one SQLite database shared by
// every process of the user. HKEY_CLASSES_ROOT is a merged view of the per-user and the
// machine-wide classes (HKCU\Software\Classes over HKLM\Software\Classes).
//
// The file is named by the environment variable QUARN_REGISTRY (default
// $XDG_DATA_HOME/quarn/registry.db, else $HOME/.local/share/quarn/registry.db). Every call is a
// transaction of its own, or part of the caller's RegistryTransaction: a process killed in the
// middle leaves the database as it was before, and readers never see half of a change.

#include "WinTypes.h"

#include <new>
#include <string>
#include <string_view>
#include <vector>

struct HKEY__;
using HKEY = HKEY__*;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000u});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001u});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002u});
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(std::uintptr_t{0x80000003u});

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

// Access rights are accepted and not enforced.
inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_WRITE = 0x20006;
inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;

inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

inline constexpr DWORD ERROR_INVALID_DATA = 13;
// The registry file is not a registry database: nothing is read from it, nothing written to it.
inline constexpr DWORD ERROR_BADDB = 1009;
// The registry file could not be read or written, or another process kept it busy too long.
inline constexpr DWORD ERROR_REGISTRY_IO_FAILED = 1016;

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                     DWORD sam, void* security, HKEY* result, DWORD* disposition);
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, DWORD sam, HKEY* result);
LONG RegCloseKey(HKEY key);
// A null or empty name is the key's default value.
LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
// Sizes are in bytes. Null data asks the size; a buffer that is too small gives ERROR_MORE_DATA
// with *size set to what is needed.
LONG RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size);
LONG RegDeleteValueW(HKEY key, LPCWSTR name);
// Refuses a key that still has subkeys (ERROR_ACCESS_DENIED).
LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey);
// Deletes the subkey with everything below it; a null subkey empties the key itself.
LONG RegDeleteTreeW(HKEY key, LPCWSTR subKey);
// nameChars: capacity in characters including the terminator on entry, the name's length
// without it on return (also when ERROR_MORE_DATA reports a buffer that is too small).
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars);
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD* type, BYTE* data,
                   DWORD* dataSize);
// Maps a predefined key to another open key for this process; a null newKey restores it.
LONG RegOverridePredefKey(HKEY predefined, HKEY newKey);

namespace quarn_platform {

// Makes the registry calls of the creating thread, until it ends, one transaction: other
// processes see all of them or none, and the registry calls of the process's other threads wait
// for it. A transaction for writing takes the database's write lock at once, so that writers in
// other processes wait here rather than in the middle. Transactions nest: an inner one that does
// not commit undoes only its own changes; the outermost one commits them all to the database.
// Ending without commit() or finish() undoes the transaction's changes.
class RegistryTransaction {
public:
    explicit RegistryTransaction(bool forWrite = true);
    ~RegistryTransaction();
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;

    // ERROR_SUCCESS when the transaction began; else the calls in it fail.
    LONG status() const { return status_; }
    LONG commit();
    // Commits when result succeeded, else undoes the changes; returns result, or the failure of
    // the commit as an HRESULT.
    HRESULT finish(HRESULT result);

private:
    LONG end(bool keep);

    LONG status_ = ERROR_SUCCESS;
    bool open_ = false;
};

// Every key and value as sorted UTF-8 lines: "HKLM\Software\X" for a key (also when empty; a
// hive's root, "HKLM", when it holds anything), "HKLM\Software\X|Name=REG_SZ:text" for a value, "@"
// naming the default value. REG_DWORD is shown in decimal, REG_BINARY and other types as hex bytes
// ("REG_BINARY:01ff", "REG_7:00").
std::vector<std::string> registrySnapshot();

// Small conveniences over the functions above, used by the registration helpers.
// HKCU\Software\Classes (perUser) or HKLM\Software\Classes, opened or created.
LONG openClassesKey(bool perUser, bool create, HKEY* result);
// Creates key\subKey and sets the named REG_SZ value (null name: the default value).
LONG writeStringValue(HKEY key, std::u16string_view subKey, LPCWSTR name, std::u16string_view text);
// Reads a REG_SZ or REG_EXPAND_SZ value of key\subKey, without its terminator.
LONG readStringValue(HKEY key, std::u16string_view subKey, LPCWSTR name, std::u16string* text);
// Whether key\subKey exists.
bool keyExists(HKEY key, std::u16string_view subKey);

// A registry error as an HRESULT.
inline HRESULT fromWin32(LONG rc) {
    return HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}

// Runs step (returning an HRESULT) as one registry transaction, kept only when it succeeds.
template <class Step> HRESULT inRegistryTransaction(Step&& step) {
    try {
        RegistryTransaction transaction;
        if (LONG rc = transaction.status()) return fromWin32(rc);
        return transaction.finish(step());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// Closes a key handle when it leaves scope.
class KeyHolder {
public:
    KeyHolder() = default;
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    ~KeyHolder() {
        if (key) RegCloseKey(key);
    }
    HKEY key = nullptr;
};

} // namespace quarn_platform
