#include "RegistryStore.h"

#include "WideString.h"
#include "WinReg.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace quarn_platform::registry_store {

namespace {

// Marks a database as a registry of this layer ("QREG"), and the layout of its tables.
constexpr std::int64_t kApplicationId = 0x51524547;
constexpr std::int64_t kSchemaVersion = 1;
// How long a call waits for another process's transaction before it fails.
constexpr int kBusyTimeoutMs = 10000;

// The hive roots are the keys without a parent; the view lists every key by its path and every
// value under it, for people who look at the file with sqlite3.
const char* const kSchema = R"(
PRAGMA application_id = 1364346183;
PRAGMA user_version = 1;
CREATE TABLE keys (
    id INTEGER PRIMARY KEY,
    parent INTEGER,
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE (parent, name));
CREATE TABLE key_values (
    id INTEGER PRIMARY KEY,
    key INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE (key, name));
INSERT INTO keys (id, parent, name) VALUES
    (1, NULL, 'HKEY_LOCAL_MACHINE'), (2, NULL, 'HKEY_CURRENT_USER'), (3, NULL, 'HKEY_USERS');
CREATE VIEW registry (path, name, type, data) AS
    WITH RECURSIVE paths (id, path) AS (
        SELECT id, name FROM keys WHERE parent IS NULL
        UNION ALL
        SELECT keys.id, paths.path || '\' || keys.name FROM keys JOIN paths ON keys.parent = paths.id)
    SELECT path, NULL, NULL, NULL FROM paths
    UNION ALL
    SELECT paths.path, key_values.name, key_values.type, key_values.data
        FROM key_values JOIN paths ON key_values.key = paths.id;
)";

// The process's connection to the registry, used by one transaction at a time.
struct Connection {
    sqlite3* db = nullptr; // null: no registry file yet, and none needed
    std::string path;
    dev_t device = 0; // the file opened, which the path may no longer name
    ino_t inode = 0;
    pid_t pid = 0;          // the process that opened it
    bool hasSchema = false; // false: an empty database, read as an empty registry
    int depth = 0;          // transactions open, the outermost first
    std::unordered_map<const char*, sqlite3_stmt*> statements;
};

std::recursive_mutex gLock; // held by the thread whose transaction is open
Connection gConn;

[[noreturn]] void fail(LONG code) {
    throw Failure{code};
}

// A missing file or folder of the registry is no missing key: ERROR_PATH_NOT_FOUND.
LONG errorFromErrno(int error) {
    return error == ENOENT ? ERROR_PATH_NOT_FOUND
                           : quarn_platform::errorFromErrno(error, ERROR_REGISTRY_IO_FAILED);
}

LONG errorOf(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return ERROR_SUCCESS;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return ERROR_BADDB;
    case SQLITE_CANTOPEN:
        return gConn.db ? errorFromErrno(sqlite3_system_errno(gConn.db)) : ERROR_PATH_NOT_FOUND;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

int exec(const char* sql) {
    return sqlite3_exec(gConn.db, sql, nullptr, nullptr, nullptr);
}

// A prepared statement of the connection, kept for its life; reset when the use ends.
class Statement {
public:
    explicit Statement(const char* sql) {
        if (!gConn.db || !gConn.hasSchema) fail(ERROR_REGISTRY_IO_FAILED);
        sqlite3_stmt*& cached = gConn.statements[sql];
        if (!cached) {
            int rc =
                sqlite3_prepare_v3(gConn.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &cached, nullptr);
            if (rc != SQLITE_OK) {
                gConn.statements.erase(sql);
                fail(errorOf(rc));
            }
        }
        s_ = cached;
    }
    ~Statement() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value) {
        return check(sqlite3_bind_int64(s_, index, value));
    }
    Statement& bind(int index, std::u16string_view text) {
        const std::string bytes = toWtf8(text);
        return check(sqlite3_bind_text64(s_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT,
                                         SQLITE_UTF8));
    }
    Statement& bindBlob(int index, const BYTE* data, std::size_t size) {
        if (size == 0) return check(sqlite3_bind_zeroblob(s_, index, 0));
        return check(sqlite3_bind_blob64(s_, index, data, size, SQLITE_TRANSIENT));
    }
    // True for a row, false at the end.
    bool step() {
        int rc = sqlite3_step(s_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        fail(errorOf(rc));
    }
    std::int64_t integer(int column) { return sqlite3_column_int64(s_, column); }
    std::u16string text(int column) {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(s_, column));
        return bytes ? fromWtf8(std::string_view(bytes, sqlite3_column_bytes(s_, column)))
                     : std::u16string();
    }
    std::vector<BYTE> blob(int column) {
        const auto* bytes = static_cast<const BYTE*>(sqlite3_column_blob(s_, column));
        return bytes ? std::vector<BYTE>(bytes, bytes + sqlite3_column_bytes(s_, column))
                     : std::vector<BYTE>();
    }
    Value value(int first) {
        return {text(first), static_cast<DWORD>(integer(first + 1)), blob(first + 2)};
    }

private:
    Statement& check(int rc) {
        if (rc != SQLITE_OK) fail(errorOf(rc));
        return *this;
    }
    sqlite3_stmt* s_ = nullptr;
};

// Whether the registry holds anything to read.
bool live() {
    return gConn.db && gConn.hasSchema;
}

// ---- The connection

LONG makeParentDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errorFromErrno(errno);
    }
    return ERROR_SUCCESS;
}

// A forked child leaves its copy of the parent's connection alone: closing it would act on
// the parent's locks and files.
void dropConnection(bool inherited) {
    if (!inherited) {
        for (auto& [sql, statement] : gConn.statements)
            sqlite3_finalize(statement);
        sqlite3_close_v2(gConn.db);
    }
    gConn.statements.clear();
    gConn.db = nullptr;
    gConn.path.clear();
    gConn.hasSchema = false;
}

// The connection to the registry that QUARN_REGISTRY names now. A missing file is made (private
// to the user, through a symbolic link to its target) only when create is set; else there is
// no connection and nothing to read.
LONG connect(bool create) {
    const std::string path = registryPath();
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return errorFromErrno(errno);
    if (gConn.db && gConn.pid != ::getpid()) dropConnection(true);
    if (gConn.db &&
        (gConn.path != path || !exists || st.st_dev != gConn.device || st.st_ino != gConn.inode))
        dropConnection(false);
    if (gConn.db) return ERROR_SUCCESS;
    if (!exists) {
        if (!create) return ERROR_SUCCESS;
        if (LONG rc = makeParentDirectories(path)) return rc;
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return errorFromErrno(errno);
        const bool made = ::fstat(fd, &st) == 0;
        ::close(fd);
        if (!made) return ERROR_REGISTRY_IO_FAILED;
    }
    // Calls of the process reach the connection one at a time (gLock).
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        LONG error =
            rc == SQLITE_CANTOPEN && db ? errorFromErrno(sqlite3_system_errno(db)) : errorOf(rc);
        sqlite3_close_v2(db);
        return error;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    gConn.db = db;
    gConn.path = path;
    gConn.device = st.st_dev;
    gConn.inode = st.st_ino;
    gConn.pid = ::getpid();
    return ERROR_SUCCESS;
}

std::int64_t pragma(const char* sql) {
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(gConn.db, sql, -1, &s, nullptr);
    std::int64_t value = 0;
    if (rc == SQLITE_OK) rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) value = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    if (rc != SQLITE_ROW) fail(errorOf(rc));
    return value;
}

// Within the outermost transaction: a registry of this layer, or an empty database (given the
// tables when the transaction writes); anything else is refused and never written.
void checkSchema(bool forWrite) {
    const std::int64_t id = pragma("PRAGMA application_id");
    if (id == kApplicationId) {
        if (pragma("PRAGMA user_version") != kSchemaVersion) fail(ERROR_BADDB);
        gConn.hasSchema = true;
        return;
    }
    if (id != 0 || pragma("SELECT count(*) FROM sqlite_master") != 0) fail(ERROR_BADDB);
    gConn.hasSchema = false;
    if (!forWrite) return;
    if (int rc = exec(kSchema)) fail(errorOf(rc));
    gConn.hasSchema = true;
}

LONG beginOutermost(bool forWrite) {
    if (LONG rc = connect(forWrite)) return rc;
    gConn.hasSchema = false;
    if (!gConn.db) return ERROR_SUCCESS;
    if (int rc = exec(forWrite ? "BEGIN IMMEDIATE" : "BEGIN")) return errorOf(rc);
    try {
        checkSchema(forWrite);
    } catch (const Failure& failure) {
        exec("ROLLBACK");
        return failure.code;
    }
    return ERROR_SUCCESS;
}

// A forked child starts with the lock free (a recursive lock remembers its owner's thread id,
// which differs in the child) and opens a connection of its own when it next needs one.
void prepareFork() {
    gLock.lock();
}
void parentAfterFork() {
    gLock.unlock();
}
void childAfterFork() {
    new (&gLock) std::recursive_mutex();
}

// ---- Statements

const char* const kFindChild = "SELECT id FROM keys WHERE parent = ?1 AND name = ?2";
const char* const kInsertKey = "INSERT INTO keys (parent, name) VALUES (?1, ?2)";
const char* const kAnyChild = "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1";
const char* const kDeleteTreeValues =
    "WITH RECURSIVE tree (id) AS (SELECT ?1 UNION ALL "
    "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
    "DELETE FROM key_values WHERE key IN tree";
const char* const kDeleteTreeKeys = "WITH RECURSIVE tree (id) AS (SELECT ?1 UNION ALL "
                                    "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
                                    "DELETE FROM keys WHERE id IN tree AND id <> ?2";
const char* const kChildAt =
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY name LIMIT 1 OFFSET ?2";
// The bare name of a group comes from the row with the largest (parent = first): the first's.
const char* const kMergedChildAt =
    "SELECT name, max(parent = ?1) FROM keys WHERE parent IN (?1, ?2) GROUP BY name "
    "ORDER BY name LIMIT 1 OFFSET ?3";
const char* const kFindValue =
    "SELECT name, type, data FROM key_values WHERE key = ?1 AND name = ?2";
const char* const kValueAt =
    "SELECT name, type, data FROM key_values WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2";
const char* const kSetValue =
    "INSERT INTO key_values (key, name, type, data) VALUES (?1, ?2, ?3, ?4) "
    "ON CONFLICT (key, name) DO UPDATE SET type = excluded.type, data = excluded.data";
const char* const kDeleteValue = "DELETE FROM key_values WHERE key = ?1 AND name = ?2";
const char* const kAllKeys = "SELECT id, parent, name FROM keys";
const char* const kAllValues = "SELECT key, name, type, data FROM key_values ORDER BY key, id";

std::int64_t offsetOf(std::uint64_t index) {
    if (index > static_cast<std::uint64_t>(INT64_MAX)) fail(ERROR_NO_MORE_ITEMS);
    return static_cast<std::int64_t>(index);
}

} // namespace

std::string registryPath() {
    if (const char* path = std::getenv("QUARN_REGISTRY"); path && *path) return path;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return std::string(data) + "/quarn/registry.db";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share/quarn/registry.db";
    return {};
}

KeyId hiveRoot(Hive hive) {
    return static_cast<KeyId>(hive) + 1;
}

KeyId findChild(KeyId parent, std::u16string_view name) {
    if (!live() || parent == kNoKey) return kNoKey;
    Statement s(kFindChild);
    s.bind(1, parent).bind(2, name);
    return s.step() ? s.integer(0) : kNoKey;
}

KeyId createChild(KeyId parent, std::u16string_view name, bool& created) {
    if (KeyId id = findChild(parent, name)) return id;
    if (parent == kNoKey) fail(ERROR_KEY_DELETED);
    Statement s(kInsertKey);
    s.bind(1, parent).bind(2, name).step();
    created = true;
    return sqlite3_last_insert_rowid(gConn.db);
}

bool hasChildren(KeyId key) {
    if (!live()) return false;
    Statement s(kAnyChild);
    s.bind(1, key);
    return s.step();
}

void deleteTree(KeyId key, bool keepKey) {
    {
        Statement values(kDeleteTreeValues);
        values.bind(1, key).step();
    }
    Statement keys(kDeleteTreeKeys);
    keys.bind(1, key).bind(2, keepKey ? key : kNoKey).step();
}

std::optional<std::u16string> childAt(KeyId first, KeyId second, std::uint64_t index) {
    if (!live()) return std::nullopt;
    if (second == kNoKey || second == first) {
        Statement s(kChildAt);
        s.bind(1, first).bind(2, offsetOf(index));
        if (!s.step()) return std::nullopt;
        return s.text(0);
    }
    Statement s(kMergedChildAt);
    s.bind(1, first).bind(2, second).bind(3, offsetOf(index));
    if (!s.step()) return std::nullopt;
    return s.text(0);
}

std::optional<Value> findValue(KeyId key, std::u16string_view name) {
    if (!live()) return std::nullopt;
    Statement s(kFindValue);
    s.bind(1, key).bind(2, name);
    if (!s.step()) return std::nullopt;
    return s.value(0);
}

std::optional<Value> valueAt(KeyId key, std::uint64_t index) {
    if (!live()) return std::nullopt;
    Statement s(kValueAt);
    s.bind(1, key).bind(2, offsetOf(index));
    if (!s.step()) return std::nullopt;
    return s.value(0);
}

void setValue(KeyId key, std::u16string_view name, DWORD type, const BYTE* data, std::size_t size) {
    Statement s(kSetValue);
    s.bind(1, key).bind(2, name).bind(3, std::int64_t{type}).bindBlob(4, data, size).step();
}

bool deleteValue(KeyId key, std::u16string_view name) {
    if (!live()) return false;
    Statement s(kDeleteValue);
    s.bind(1, key).bind(2, name).step();
    return sqlite3_changes(gConn.db) > 0;
}

std::vector<KeyRow> allKeys() {
    std::vector<KeyRow> rows;
    if (!live()) return rows;
    Statement s(kAllKeys);
    while (s.step())
        rows.push_back({s.integer(0), s.integer(1), s.text(2)});
    return rows;
}

std::vector<std::pair<KeyId, Value>> allValues() {
    std::vector<std::pair<KeyId, Value>> rows;
    if (!live()) return rows;
    Statement s(kAllValues);
    while (s.step())
        rows.emplace_back(s.integer(0), s.value(1));
    return rows;
}

} // namespace quarn_platform::registry_store

namespace quarn_platform {

using namespace registry_store;

RegistryTransaction::RegistryTransaction(bool forWrite) {
    gLock.lock();
    static std::once_flag forkHandlers;
    std::call_once(forkHandlers,
                   [] { pthread_atfork(prepareFork, parentAfterFork, childAfterFork); });
    try {
        if (gConn.depth == 0)
            status_ = beginOutermost(forWrite);
        else if (gConn.db)
            status_ = errorOf(exec("SAVEPOINT registry"));
    } catch (const std::bad_alloc&) {
        status_ = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (status_ != ERROR_SUCCESS) return;
    ++gConn.depth;
    open_ = true;
}

RegistryTransaction::~RegistryTransaction() {
    end(false);
    gLock.unlock();
}

LONG RegistryTransaction::end(bool keep) {
    if (!open_) return status_ ? status_ : ERROR_SUCCESS;
    open_ = false;
    --gConn.depth;
    if (!gConn.db) return ERROR_SUCCESS;
    if (gConn.depth > 0) {
        if (keep) return errorOf(exec("RELEASE registry"));
        exec("ROLLBACK TO registry");
        exec("RELEASE registry");
        return ERROR_SUCCESS;
    }
    if (!keep) {
        exec("ROLLBACK");
        return ERROR_SUCCESS;
    }
    // A commit that fails (another process's readers kept the database past the time-out)
    // leaves the transaction open: it is given up.
    if (int rc = exec("COMMIT")) {
        exec("ROLLBACK");
        return errorOf(rc);
    }
    return ERROR_SUCCESS;
}

LONG RegistryTransaction::commit() {
    return end(true);
}

HRESULT RegistryTransaction::finish(HRESULT result) {
    if (FAILED(result)) {
        end(false);
        return result;
    }
    if (LONG rc = end(true)) return fromWin32(rc);
    return result;
}

} // namespace quarn_platform
