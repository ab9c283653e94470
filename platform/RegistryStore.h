#pragma once
// The registry's storage: an SQLite database that every process of the user shares through its
// file, with a table of keys (each under its parent, names compared ignoring ASCII case) and a
// table of values (kept in the order they were first set). The functions here work inside the
// calling thread's open RegistryTransaction (WinReg.h), which this part also implements; they
// throw Failure when the database fails.

#include "WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarn_platform::registry_store {

using KeyId = std::int64_t;
// No key. Lookups under it find nothing.
inline constexpr KeyId kNoKey = 0;

enum Hive { Machine = 0, User = 1, Users = 2, HiveCount = 3 };

struct Value {
    std::u16string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct KeyRow {
    KeyId id = kNoKey;
    KeyId parent = kNoKey; // kNoKey for a hive's root
    std::u16string name;
};

// A failure of the database as a registry error, for the registry call that met it to return.
struct Failure {
    LONG code;
};

// The file: QUARN_REGISTRY, else $XDG_DATA_HOME/quarn/registry.db, else
// $HOME/.local/share/quarn/registry.db; empty when none of them is set.
std::string registryPath();

// A hive's root, which always exists.
KeyId hiveRoot(Hive hive);
// The subkey of that name, ASCII case ignored; kNoKey when there is none.
KeyId findChild(KeyId parent, std::u16string_view name);
// The subkey of that name, made when missing (created tells whether).
KeyId createChild(KeyId parent, std::u16string_view name, bool& created);
bool hasChildren(KeyId key);
// Deletes the key with everything below it; with keepKey, the key stays, emptied.
void deleteTree(KeyId key, bool keepKey);
// The index-th subkey name in name order, of one key or of two keys together (a name under both
// counted once, spelt as under the first); nullopt past the end.
std::optional<std::u16string> childAt(KeyId first, KeyId second, std::uint64_t index);
std::optional<Value> findValue(KeyId key, std::u16string_view name);
// The index-th value in the order values were first set.
std::optional<Value> valueAt(KeyId key, std::uint64_t index);
// An existing value keeps its place and the spelling of its name.
void setValue(KeyId key, std::u16string_view name, DWORD type, const BYTE* data, std::size_t size);
// False when there was no such value.
bool deleteValue(KeyId key, std::u16string_view name);
std::vector<KeyRow> allKeys();
std::vector<std::pair<KeyId, Value>> allValues();

} // namespace quarn_platform::registry_store
