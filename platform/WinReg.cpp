#include "WinReg.h"

#include "RegistryStore.h"
#include "WideString.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

namespace {

using quarn_platform::RegistryTransaction;
using quarn_platform::toUtf8;
namespace store = quarn_platform::registry_store;
using store::Hive;
using store::KeyId;
using store::kNoKey;

using Path = std::vector<std::u16string>;

const Path& classesBase() {
    static const Path base = {u"Software", u"Classes"};
    return base;
}

Path concat(const Path& a, const Path& b) {
    Path out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// ---------------------------------------------------------------------------------------------
// Handles

// What a handle refers to: a path in one hive, or a path in the merged classes view.
struct KeyRef {
    bool classesView = false;
    Hive hive = store::Machine;
    Path path;
};

std::mutex gHandleLock; // guards the two tables and the counter
std::map<std::uintptr_t, KeyRef> gHandles;
std::map<std::uintptr_t, KeyRef> gOverrides;
std::uintptr_t gNextHandle = 0x1000;

std::uintptr_t handleValue(HKEY key) {
    return reinterpret_cast<std::uintptr_t>(key);
}

bool isPredefined(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
           key == HKEY_USERS;
}

LONG resolveHandle(HKEY key, KeyRef& ref) {
    std::lock_guard lock(gHandleLock);
    if (isPredefined(key)) {
        if (auto it = gOverrides.find(handleValue(key)); it != gOverrides.end()) {
            ref = it->second;
            return ERROR_SUCCESS;
        }
        ref = {};
        if (key == HKEY_CLASSES_ROOT)
            ref.classesView = true;
        else
            ref.hive = key == HKEY_CURRENT_USER
                           ? store::User
                           : (key == HKEY_USERS ? store::Users : store::Machine);
        return ERROR_SUCCESS;
    }
    auto it = gHandles.find(handleValue(key));
    if (it == gHandles.end()) return ERROR_INVALID_HANDLE;
    ref = it->second;
    return ERROR_SUCCESS;
}

HKEY newHandle(KeyRef ref) {
    std::lock_guard lock(gHandleLock);
    std::uintptr_t value = gNextHandle;
    gNextHandle += 4;
    gHandles[value] = std::move(ref);
    return reinterpret_cast<HKEY>(value);
}

// Splits "A\B\C" into its names. A trailing backslash is tolerated; empty names are not.
LONG splitSubKey(LPCWSTR subKey, Path& parts) {
    parts.clear();
    if (!subKey) return ERROR_SUCCESS;
    std::u16string_view text(subKey);
    if (!text.empty() && text.back() == u'\\') text.remove_suffix(1);
    if (text.empty()) return ERROR_SUCCESS;
    while (true) {
        std::size_t slash = text.find(u'\\');
        std::u16string_view part = text.substr(0, slash);
        if (part.empty() || part.size() > 255) return ERROR_INVALID_PARAMETER;
        parts.emplace_back(part);
        if (slash == std::u16string_view::npos) return ERROR_SUCCESS;
        text.remove_prefix(slash + 1);
    }
}

LONG checkValueName(LPCWSTR name) {
    return name && std::char_traits<char16_t>::length(name) > 16383 ? ERROR_INVALID_PARAMETER
                                                                    : ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// Keys of a reference, inside a transaction

// A key that a reference names: its id, kNoKey for the classes view's root when neither tree
// has one (it exists and is empty).
struct Found {
    bool exists = false;
    KeyId id = kNoKey;
};

KeyId find(KeyId root, const Path& path) {
    KeyId key = root;
    for (const auto& part : path)
        if ((key = store::findChild(key, part)) == kNoKey) break;
    return key;
}

KeyId makePath(KeyId root, const Path& path, bool& created) {
    KeyId key = root;
    for (const auto& part : path)
        key = store::createChild(key, part, created);
    return key;
}

// For reading: per-user classes first, then machine-wide.
Found read(const KeyRef& ref) {
    if (!ref.classesView) {
        KeyId id = find(store::hiveRoot(ref.hive), ref.path);
        return {id != kNoKey, id};
    }
    const Path full = concat(classesBase(), ref.path);
    for (Hive hive : {store::User, store::Machine})
        if (KeyId id = find(store::hiveRoot(hive), full)) return {true, id};
    return {ref.path.empty(), kNoKey};
}

// For changing values or subkeys: where the key exists, per-user classes first; the root of
// the classes view is made machine-wide on demand.
KeyId write(const KeyRef& ref) {
    Found found = read(ref);
    if (found.id != kNoKey || !found.exists) return found.id;
    bool created = false;
    return makePath(store::hiveRoot(store::Machine), classesBase(), created);
}

// The two trees behind a reference in the classes view.
std::pair<KeyId, KeyId> classesPair(const KeyRef& ref) {
    const Path full = concat(classesBase(), ref.path);
    return {find(store::hiveRoot(store::User), full), find(store::hiveRoot(store::Machine), full)};
}

// ---------------------------------------------------------------------------------------------
// Calls

// Runs one registry call as a transaction of its own (or a part of the caller's): its changes
// are kept when it succeeds, undone when it fails.
template <class F> LONG call(bool forWrite, F&& body) {
    try {
        RegistryTransaction transaction(forWrite);
        if (LONG rc = transaction.status()) return rc;
        LONG rc = body();
        if (rc != ERROR_SUCCESS) return rc;
        return transaction.commit();
    } catch (const store::Failure& failure) {
        return failure.code;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_REGISTRY_IO_FAILED;
    }
}

LONG copyName(const std::u16string& name, LPWSTR buffer, DWORD* chars) {
    if (!buffer || !chars) return ERROR_INVALID_PARAMETER;
    if (*chars <= name.size()) {
        *chars = static_cast<DWORD>(name.size());
        return ERROR_MORE_DATA;
    }
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = 0;
    *chars = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LONG copyData(const store::Value& v, DWORD* type, BYTE* data, DWORD* size) {
    if (type) *type = v.type;
    if (v.data.size() > 0xFFFFFFFFu) return ERROR_MORE_DATA;
    DWORD needed = static_cast<DWORD>(v.data.size());
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (!size) return ERROR_INVALID_PARAMETER;
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(data, v.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

// The text of little-endian UTF-16 data, without its terminators.
std::u16string stringOf(const std::vector<BYTE>& data) {
    std::u16string text;
    text.reserve(data.size() / 2);
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

// UTF-16 code units, little-endian, and the terminator.
std::vector<BYTE> bytesOfString(std::u16string_view text) {
    std::vector<BYTE> data;
    data.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        data.push_back(static_cast<BYTE>(c & 0xFF));
        data.push_back(static_cast<BYTE>(c >> 8));
    }
    data.insert(data.end(), {0, 0});
    return data;
}

void appendHexBytes(std::string& out, const std::vector<BYTE>& data) {
    static const char digits[] = "0123456789abcdef";
    for (BYTE b : data) {
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
}

const char* const kHiveNames[store::HiveCount] = {"HKLM", "HKCU", "HKU"};

std::string snapshotValue(const std::string& path, const store::Value& v) {
    std::string line = path + "|" + (v.name.empty() ? "@" : toUtf8(v.name)) + "=";
    bool text = (v.type == REG_SZ || v.type == REG_EXPAND_SZ) && v.data.size() % 2 == 0;
    if (text) {
        line += v.type == REG_SZ ? "REG_SZ:" : "REG_EXPAND_SZ:";
        line += toUtf8(stringOf(v.data));
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD d;
        std::memcpy(&d, v.data.data(), 4);
        line += "REG_DWORD:" + std::to_string(d);
    } else {
        line += v.type == REG_BINARY ? "REG_BINARY:" : "REG_" + std::to_string(v.type) + ":";
        appendHexBytes(line, v.data);
    }
    return line;
}

// Names key\subKey in target (parts: the subkey's elements). The key itself must still exist.
LONG atSubKey(HKEY key, LPCWSTR subKey, KeyRef& target, Path& parts) {
    if (LONG rc = splitSubKey(subKey, parts)) return rc;
    if (LONG rc = resolveHandle(key, target)) return rc;
    if (!read(target).exists) return ERROR_KEY_DELETED;
    target.path.insert(target.path.end(), parts.begin(), parts.end());
    return ERROR_SUCCESS;
}

} // namespace

// -------------------------------------------------------------------------------------------------

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, DWORD, void*, HKEY* result,
                     DWORD* disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyRef target;
    LONG rc = call(true, [&]() -> LONG {
        Path parts;
        if (LONG rc = atSubKey(key, subKey, target, parts)) return rc;
        bool created = false;
        if (!read(target).exists) {
            // A key new to the classes view is made machine-wide.
            if (target.classesView)
                makePath(store::hiveRoot(store::Machine), concat(classesBase(), target.path),
                         created);
            else
                makePath(store::hiveRoot(target.hive), target.path, created);
        }
        if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
    if (rc == ERROR_SUCCESS) *result = newHandle(std::move(target));
    return rc;
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, DWORD, HKEY* result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyRef target;
    LONG rc = call(false, [&]() -> LONG {
        Path parts;
        if (LONG rc = atSubKey(key, subKey, target, parts)) return rc;
        return read(target).exists ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (rc == ERROR_SUCCESS) *result = newHandle(std::move(target));
    return rc;
}

LONG RegCloseKey(HKEY key) {
    if (isPredefined(key)) return ERROR_SUCCESS;
    std::lock_guard lock(gHandleLock);
    return gHandles.erase(handleValue(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    if (LONG rc = checkValueName(name)) return rc;
    if (!data && size) return ERROR_INVALID_PARAMETER;
    return call(true, [&]() -> LONG {
        KeyRef ref;
        if (LONG rc = resolveHandle(key, ref)) return rc;
        KeyId id = write(ref);
        if (id == kNoKey) return ERROR_KEY_DELETED;
        store::setValue(id, name ? name : u"", type, data, size);
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
    if (reserved) return ERROR_INVALID_PARAMETER;
    return call(false, [&]() -> LONG {
        KeyRef ref;
        if (LONG rc = resolveHandle(key, ref)) return rc;
        Found found = read(ref);
        if (!found.exists) return ERROR_KEY_DELETED;
        auto v = store::findValue(found.id, name ? name : u"");
        if (!v) return ERROR_FILE_NOT_FOUND;
        return copyData(*v, type, data, size);
    });
}

LONG RegDeleteValueW(HKEY key, LPCWSTR name) {
    return call(true, [&]() -> LONG {
        KeyRef ref;
        if (LONG rc = resolveHandle(key, ref)) return rc;
        KeyId id = write(ref);
        if (id == kNoKey) return ERROR_KEY_DELETED;
        return store::deleteValue(id, name ? name : u"") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

namespace {

// The two deletions: the key named by key\subKey, as found for writing, is handed to act. A root
// is never deleted.
template <typename Act> LONG deleteKey(HKEY key, LPCWSTR subKey, Act act) {
    return call(true, [&]() -> LONG {
        Path parts;
        KeyRef target;
        if (LONG rc = atSubKey(key, subKey, target, parts)) return rc;
        if (target.path.empty()) return ERROR_ACCESS_DENIED;
        KeyId id = write(target);
        if (id == kNoKey) return ERROR_FILE_NOT_FOUND;
        return act(id, parts.empty());
    });
}

} // namespace

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    return deleteKey(key, subKey, [](KeyId id, bool) -> LONG {
        if (store::hasChildren(id)) return ERROR_ACCESS_DENIED;
        store::deleteTree(id, false);
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
    // No subkey: the key stays, emptied of its subkeys and values.
    return deleteKey(key, subKey, [](KeyId id, bool itself) -> LONG {
        store::deleteTree(id, itself);
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars) {
    if (!name || !nameChars) return ERROR_INVALID_PARAMETER;
    return call(false, [&]() -> LONG {
        KeyRef ref;
        if (LONG rc = resolveHandle(key, ref)) return rc;
        Found found = read(ref);
        if (!found.exists) return ERROR_KEY_DELETED;
        // The classes view lists the subkeys of both trees, per-user names first.
        auto [first, second] = ref.classesView ? classesPair(ref) : std::pair{found.id, kNoKey};
        if (first == kNoKey) std::swap(first, second);
        auto child = store::childAt(first, second, index);
        if (!child) return ERROR_NO_MORE_ITEMS;
        return copyName(*child, name, nameChars);
    });
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD* type, BYTE* data,
                   DWORD* dataSize) {
    if (!name || !nameChars) return ERROR_INVALID_PARAMETER;
    return call(false, [&]() -> LONG {
        KeyRef ref;
        if (LONG rc = resolveHandle(key, ref)) return rc;
        Found found = read(ref);
        if (!found.exists) return ERROR_KEY_DELETED;
        auto v = store::valueAt(found.id, index);
        if (!v) return ERROR_NO_MORE_ITEMS;
        if (LONG rc = copyName(v->name, name, nameChars)) return rc;
        return copyData(*v, type, data, dataSize);
    });
}

LONG RegOverridePredefKey(HKEY predefined, HKEY newKey) {
    try {
        if (!isPredefined(predefined)) return ERROR_INVALID_HANDLE;
        if (!newKey) {
            std::lock_guard lock(gHandleLock);
            gOverrides.erase(handleValue(predefined));
            return ERROR_SUCCESS;
        }
        KeyRef ref;
        if (LONG rc = resolveHandle(newKey, ref)) return rc;
        std::lock_guard lock(gHandleLock);
        gOverrides[handleValue(predefined)] = std::move(ref);
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

namespace quarn_platform {

std::vector<std::string> registrySnapshot() {
    std::vector<std::string> out;
    call(false, [&]() -> LONG {
        std::map<KeyId, store::KeyRow> keys;
        for (auto& row : store::allKeys())
            keys.emplace(row.id, std::move(row));
        std::map<KeyId, std::string> paths;
        std::map<KeyId, bool> holdsAnything;
        // A key's path, built from its parent's.
        auto pathOf = [&](KeyId id, auto& self) -> const std::string& {
            if (auto it = paths.find(id); it != paths.end()) return it->second;
            const store::KeyRow& row = keys.at(id);
            std::string path;
            if (row.parent == kNoKey) {
                path = kHiveNames[std::clamp<KeyId>(row.id - 1, 0, store::HiveCount - 1)];
            } else {
                holdsAnything[row.parent] = true;
                path = self(row.parent, self) + "\\" + toUtf8(row.name);
            }
            return paths.emplace(id, std::move(path)).first->second;
        };
        for (const auto& [id, row] : keys)
            pathOf(id, pathOf);
        for (const auto& [key, v] : store::allValues()) {
            holdsAnything[key] = true;
            out.push_back(snapshotValue(pathOf(key, pathOf), v));
        }
        // A hive's root is listed when it holds anything.
        for (const auto& [id, row] : keys)
            if (row.parent != kNoKey || holdsAnything[id]) out.push_back(paths.at(id));
        return ERROR_SUCCESS;
    });
    std::sort(out.begin(), out.end());
    return out;
}

LONG openClassesKey(bool perUser, bool create, HKEY* result) {
    HKEY root = perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    if (create)
        return RegCreateKeyExW(root, u"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, result, nullptr);
    return RegOpenKeyExW(root, u"Software\\Classes", 0, KEY_READ, result);
}

LONG writeStringValue(HKEY key, std::u16string_view subKey, LPCWSTR name,
                      std::u16string_view text) {
    return call(true, [&]() -> LONG {
        std::u16string path(subKey);
        KeyHolder target;
        if (LONG rc = RegCreateKeyExW(key, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_WRITE, nullptr, &target.key, nullptr))
            return rc;
        std::vector<BYTE> data = bytesOfString(text);
        if (data.size() > 0xFFFFFFFFu) return ERROR_INVALID_PARAMETER;
        return RegSetValueExW(target.key, name, 0, REG_SZ, data.data(),
                              static_cast<DWORD>(data.size()));
    });
}

LONG readStringValue(HKEY key, std::u16string_view subKey, LPCWSTR name, std::u16string* text) {
    if (!text) return ERROR_INVALID_PARAMETER;
    return call(false, [&]() -> LONG {
        std::u16string path(subKey);
        KeyHolder target;
        if (LONG rc = RegOpenKeyExW(key, path.c_str(), 0, KEY_READ, &target.key)) return rc;
        // One transaction: the size asked first is the size of the value read.
        DWORD type = 0;
        DWORD size = 0;
        if (LONG rc = RegQueryValueExW(target.key, name, nullptr, &type, nullptr, &size)) return rc;
        std::vector<BYTE> data(size);
        if (LONG rc = RegQueryValueExW(target.key, name, nullptr, &type, data.data(), &size))
            return rc;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
        data.resize(size);
        *text = stringOf(data);
        return ERROR_SUCCESS;
    });
}

bool keyExists(HKEY key, std::u16string_view subKey) {
    std::u16string path(subKey);
    HKEY target = nullptr;
    if (RegOpenKeyExW(key, path.c_str(), 0, KEY_READ, &target) != ERROR_SUCCESS) return false;
    RegCloseKey(target);
    return true;
}

} // namespace quarn_platform
