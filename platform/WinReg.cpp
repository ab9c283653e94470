#include "WinReg.h"

#include "WideString.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using quarn_platform::foldCase;
using quarn_platform::toUtf16;
using quarn_platform::toUtf8;

// ---------------------------------------------------------------------------------------------
// In-memory tree

struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Node {
    std::u16string name;
    std::map<std::u16string, std::unique_ptr<Node>> children; // by folded name
    std::vector<Value> values;                                // in insertion order

    Node* child(std::u16string_view childName) const {
        auto it = children.find(foldCase(childName));
        return it == children.end() ? nullptr : it->second.get();
    }
    Node& ensureChild(std::u16string_view childName, bool* created) {
        auto& slot = children[foldCase(childName)];
        if (!slot) {
            slot = std::make_unique<Node>();
            slot->name = childName;
            if (created) *created = true;
        }
        return *slot;
    }
    Value* value(std::u16string_view valueName) {
        for (auto& v : values)
            if (quarn_platform::equalsIgnoreCase(v.name, valueName)) return &v;
        return nullptr;
    }
    void setValue(std::u16string_view valueName, DWORD type, std::vector<BYTE> data) {
        Value* v = value(valueName);
        if (!v) {
            values.push_back({});
            v = &values.back();
            v->name = valueName;
        }
        v->type = type;
        v->data = std::move(data);
    }
};

enum HiveIndex { Machine = 0, User = 1, Users = 2, HiveCount = 3 };
constexpr const char* kHiveNames[HiveCount] = {"HKLM", "HKCU", "HKU"};

struct Registry {
    Node hives[HiveCount];
    bool damaged = false;
};

using Path = std::vector<std::u16string>;

const Path& classesBase() {
    static const Path base = {u"Software", u"Classes"};
    return base;
}

Node* find(Node& root, const Path& path) {
    Node* node = &root;
    for (const auto& part : path) {
        node = node->child(part);
        if (!node) return nullptr;
    }
    return node;
}

Path concat(const Path& a, const Path& b) {
    Path out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// ---------------------------------------------------------------------------------------------
// Text form of the registry file:
//   [HKLM\Software\Classes\CLSID]
//   @=sz:"default text"
//   "ThreadingModel"=sz:"Both"
//   "Count"=dword:0000002a
//   "Blob"=hex:01,02,ff          "Odd"=hex(7):00,00
// Control characters, '%', '"', lone surrogates (and '\' inside key names) are written %XXXX.

void appendEscaped(std::string& out, std::u16string_view text, bool keyName) {
    static const char digits[] = "0123456789ABCDEF";
    std::size_t runStart = 0;
    auto flush = [&](std::size_t end) {
        if (end > runStart) out += toUtf8(text.substr(runStart, end - runStart));
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        bool pairedHigh = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pairedHigh) {
            ++i;
            continue;
        }
        bool special = c < 0x20 || c == 0x7F || c == u'%' || c == u'"' ||
                       (c >= 0xD800 && c <= 0xDFFF) || (keyName && c == u'\\');
        if (!special) continue;
        flush(i);
        out += '%';
        for (int shift = 12; shift >= 0; shift -= 4)
            out += digits[(c >> shift) & 0xF];
        runStart = i + 1;
    }
    flush(text.size());
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::u16string> unescape(std::string_view text) {
    std::u16string out;
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        out += toUtf16(text.substr(runStart, i - runStart));
        if (i + 4 >= text.size()) return std::nullopt;
        unsigned unit = 0;
        for (std::size_t k = 1; k <= 4; ++k) {
            int d = hexDigit(text[i + k]);
            if (d < 0) return std::nullopt;
            unit = unit * 16 + static_cast<unsigned>(d);
        }
        out += static_cast<char16_t>(unit);
        i += 4;
        runStart = i + 1;
    }
    out += toUtf16(text.substr(runStart));
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Well-formed string data: UTF-16 with exactly one terminator, at the end.
bool isPlainString(const std::vector<BYTE>& data) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    std::size_t units = data.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        char16_t c;
        std::memcpy(&c, data.data() + 2 * i, 2);
        if ((c == 0) != (i + 1 == units)) return false;
    }
    return true;
}

std::u16string stringOf(const std::vector<BYTE>& data) {
    std::u16string text(data.size() / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * 2);
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

std::vector<BYTE> bytesOfString(std::u16string_view text) {
    std::vector<BYTE> data((text.size() + 1) * 2, 0);
    if (!text.empty()) std::memcpy(data.data(), text.data(), text.size() * 2);
    return data;
}

void appendHexBytes(std::string& out, const std::vector<BYTE>& data, const char* separator) {
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i && separator) out += separator;
        out += digits[data[i] >> 4];
        out += digits[data[i] & 0xF];
    }
}

void appendValueData(std::string& out, const Value& v) {
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && isPlainString(v.data)) {
        out += v.type == REG_SZ ? "sz:\"" : "expand:\"";
        appendEscaped(out, stringOf(v.data), false);
        out += '"';
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD d;
        std::memcpy(&d, v.data.data(), 4);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", d);
        out += buffer;
    } else {
        out += v.type == REG_BINARY ? "hex:" : "hex(" + std::to_string(v.type) + "):";
        appendHexBytes(out, v.data, ",");
    }
}

void serializeNode(std::string& out, const Node& node, std::string& path, bool root) {
    if (!root || !node.values.empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const auto& v : node.values) {
            if (v.name.empty()) {
                out += '@';
            } else {
                out += '"';
                appendEscaped(out, v.name, false);
                out += '"';
            }
            out += '=';
            appendValueData(out, v);
            out += '\n';
        }
    }
    for (const auto& [folded, childNode] : node.children) {
        std::size_t length = path.size();
        path += '\\';
        appendEscaped(path, childNode->name, true);
        serializeNode(out, *childNode, path, false);
        path.resize(length);
    }
}

std::string serialize(const Registry& reg) {
    std::string out = "; Quarn registry: one [key] line per key, followed by its values.\n";
    for (int h = 0; h < HiveCount; ++h) {
        std::string path = kHiveNames[h];
        serializeNode(out, reg.hives[h], path, true);
    }
    return out;
}

int hiveByName(std::string_view name) {
    static const std::pair<std::string_view, int> names[] = {
        {"HKLM", Machine}, {"HKEY_LOCAL_MACHINE", Machine},
        {"HKCU", User},    {"HKEY_CURRENT_USER", User},
        {"HKU", Users},    {"HKEY_USERS", Users}};
    for (const auto& [text, hive] : names)
        if (name == text) return hive;
    return -1;
}

std::optional<std::vector<BYTE>> parseHexBytes(std::string_view text) {
    std::vector<BYTE> out;
    text = trim(text);
    if (text.empty()) return out;
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i + 2 > text.size()) return std::nullopt;
        int hi = hexDigit(text[i]), lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<BYTE>(hi * 16 + lo));
        i += 2;
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (i == text.size()) return out;
        if (text[i] != ',') return std::nullopt;
        ++i;
    }
}

// Reads a quoted, escaped string at the start of text; returns it and the rest after the quote.
std::optional<std::u16string> parseQuoted(std::string_view& text) {
    if (text.empty() || text.front() != '"') return std::nullopt;
    std::size_t end = text.find('"', 1);
    if (end == std::string_view::npos) return std::nullopt;
    auto result = unescape(text.substr(1, end - 1));
    text.remove_prefix(end + 1);
    return result;
}

bool parseValueLine(std::string_view line, Node& node) {
    std::u16string name;
    if (line.front() == '@') {
        line.remove_prefix(1);
    } else {
        auto quoted = parseQuoted(line);
        if (!quoted) return false;
        name = std::move(*quoted);
    }
    line = trim(line);
    if (line.empty() || line.front() != '=') return false;
    line = trim(line.substr(1));
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view kind = line.substr(0, colon);
    std::string_view rest = trim(line.substr(colon + 1));
    if (kind == "sz" || kind == "expand") {
        auto text = parseQuoted(rest);
        if (!text || !trim(rest).empty()) return false;
        node.setValue(name, kind == "sz" ? REG_SZ : REG_EXPAND_SZ, bytesOfString(*text));
        return true;
    }
    if (kind == "dword") {
        if (rest.empty() || rest.size() > 8) return false;
        DWORD d = 0;
        for (char c : rest) {
            int digit = hexDigit(c);
            if (digit < 0) return false;
            d = d * 16 + static_cast<DWORD>(digit);
        }
        std::vector<BYTE> data(4);
        std::memcpy(data.data(), &d, 4);
        node.setValue(name, REG_DWORD, std::move(data));
        return true;
    }
    DWORD type = REG_BINARY;
    if (kind.size() > 5 && kind.substr(0, 4) == "hex(" && kind.back() == ')') {
        std::string_view digits = kind.substr(4, kind.size() - 5);
        if (digits.empty() || digits.size() > 10) return false;
        std::uint64_t t = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return false;
            t = t * 10 + static_cast<unsigned>(c - '0');
        }
        if (t > 0xFFFFFFFFu) return false;
        type = static_cast<DWORD>(t);
    } else if (kind != "hex") {
        return false;
    }
    auto bytes = parseHexBytes(rest);
    if (!bytes) return false;
    node.setValue(name, type, std::move(*bytes));
    return true;
}

// Lines that cannot be understood are skipped and mark the registry damaged.
void parse(std::string_view text, Registry& reg) {
    Node* current = nullptr;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            current = nullptr;
            if (line.back() != ']' || line.size() < 2) {
                reg.damaged = true;
                continue;
            }
            std::string_view inner = line.substr(1, line.size() - 2);
            std::size_t slash = inner.find('\\');
            int hive = hiveByName(inner.substr(0, slash));
            if (hive < 0) {
                reg.damaged = true;
                continue;
            }
            Node* node = &reg.hives[hive];
            while (slash != std::string_view::npos && node) {
                inner.remove_prefix(slash + 1);
                slash = inner.find('\\');
                auto part = unescape(inner.substr(0, slash));
                if (!part || part->empty())
                    node = nullptr;
                else
                    node = &node->ensureChild(*part, nullptr);
            }
            if (!node) reg.damaged = true;
            current = node;
            continue;
        }
        if (!current || !parseValueLine(line, *current)) reg.damaged = true;
    }
}

// ---------------------------------------------------------------------------------------------
// The file and its lock

std::string registryPath() {
    if (const char* path = std::getenv("QUARN_REGISTRY"); path && *path) return path;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return std::string(data) + "/quarn/registry.txt";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share/quarn/registry.txt";
    return {};
}

LONG errorFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

// mkdir -p of the folder that holds path.
LONG makeParentDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errorFromErrno(errno);
    }
    return ERROR_SUCCESS;
}

// Holds the open, locked registry file for the length of one call.
class FileSession {
public:
    FileSession() = default;
    FileSession(const FileSession&) = delete;
    FileSession& operator=(const FileSession&) = delete;
    ~FileSession() {
        if (fd_ >= 0) ::close(fd_);
    }

    // Opens and locks the file (shared for reading, exclusive for writing) and parses it.
    LONG load(Registry& reg, bool forWrite) {
        path_ = registryPath();
        if (path_.empty()) return ERROR_PATH_NOT_FOUND;
        // A symbolic link is followed, so that replacing the file keeps the link.
        if (char* real = ::realpath(path_.c_str(), nullptr)) {
            path_ = real;
            std::free(real);
        }
        if (forWrite)
            if (LONG rc = makeParentDirectories(path_)) return rc;
        // A writer replaces the file by renaming a new one over it, so a lock taken on the old
        // file is worthless: check that the locked file is still the one the name refers to.
        for (int attempt = 0; attempt < 1000; ++attempt) {
            int fd = ::open(path_.c_str(),
                            forWrite ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0600);
            if (fd < 0) {
                if (!forWrite && (errno == ENOENT || errno == ENOTDIR)) return ERROR_SUCCESS;
                return errorFromErrno(errno);
            }
            while (::flock(fd, forWrite ? LOCK_EX : LOCK_SH) != 0) {
                if (errno != EINTR) {
                    int error = errno;
                    ::close(fd);
                    return errorFromErrno(error);
                }
            }
            struct stat opened {};
            struct stat named {};
            if (::fstat(fd, &opened) == 0 && ::stat(path_.c_str(), &named) == 0 &&
                opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
                fd_ = fd;
                return readAll(reg);
            }
            ::close(fd);
        }
        return ERROR_REGISTRY_IO_FAILED;
    }

    LONG save(const Registry& reg) {
        if (reg.damaged) return ERROR_BADDB;
        if (fd_ < 0) return ERROR_REGISTRY_IO_FAILED;
        static unsigned counter = 0;
        std::string temp =
            path_ + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(++counter);
        std::string text = serialize(reg);
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return errorFromErrno(errno);
        std::size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                int error = n < 0 ? errno : EIO;
                ::close(fd);
                ::unlink(temp.c_str());
                return errorFromErrno(error);
            }
            done += static_cast<std::size_t>(n);
        }
        if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temp.c_str(), path_.c_str()) != 0) {
            int error = errno;
            ::unlink(temp.c_str());
            return errorFromErrno(error);
        }
        return ERROR_SUCCESS;
    }

private:
    LONG readAll(Registry& reg) {
        // A registry file beyond this size is not one this layer wrote.
        constexpr off_t maxSize = off_t{256} << 20;
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return errorFromErrno(errno);
        if (st.st_size > maxSize) {
            reg.damaged = true;
            return ERROR_SUCCESS;
        }
        std::string text(static_cast<std::size_t>(st.st_size), '\0');
        std::size_t done = 0;
        while (done < text.size()) {
            ssize_t n =
                ::pread(fd_, text.data() + done, text.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errorFromErrno(errno);
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        text.resize(done);
        parse(text, reg);
        return ERROR_SUCCESS;
    }

    std::string path_;
    int fd_ = -1;
};

// ---------------------------------------------------------------------------------------------
// Handles

// What a handle refers to: a path in one hive, or a path in the merged classes view.
struct KeyRef {
    bool classesView = false;
    int hive = Machine;
    Path path;
};

std::mutex gMutex; // guards the handle tables and orders this process's file access
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
    if (isPredefined(key)) {
        if (auto it = gOverrides.find(handleValue(key)); it != gOverrides.end()) {
            ref = it->second;
            return ERROR_SUCCESS;
        }
        ref = {};
        if (key == HKEY_CLASSES_ROOT)
            ref.classesView = true;
        else
            ref.hive = key == HKEY_CURRENT_USER ? User : (key == HKEY_USERS ? Users : Machine);
        return ERROR_SUCCESS;
    }
    auto it = gHandles.find(handleValue(key));
    if (it == gHandles.end()) return ERROR_INVALID_HANDLE;
    ref = it->second;
    return ERROR_SUCCESS;
}

HKEY newHandle(KeyRef ref) {
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

// One call's view of the registry: the process lock, the file lock and the parsed tree.
class Transaction {
public:
    explicit Transaction(bool forWrite) : lock_(gMutex), forWrite_(forWrite) {}
    LONG begin() { return file_.load(reg, forWrite_); }
    LONG commit() { return file_.save(reg); }

    Registry reg;

    // The node a reference names, for reading: per-user classes first, then machine-wide.
    Node* read(const KeyRef& ref) {
        if (!ref.classesView) return find(reg.hives[ref.hive], ref.path);
        Path full = concat(classesBase(), ref.path);
        if (Node* node = find(reg.hives[User], full)) return node;
        if (Node* node = find(reg.hives[Machine], full)) return node;
        return ref.path.empty() ? &emptyClasses_ : nullptr;
    }

    // The node a reference names, for changing its values or subkeys: where it exists,
    // per-user classes first; the root of the classes view is created machine-wide on demand.
    Node* write(const KeyRef& ref) {
        if (!ref.classesView) return find(reg.hives[ref.hive], ref.path);
        Path full = concat(classesBase(), ref.path);
        if (Node* node = find(reg.hives[User], full)) return node;
        if (Node* node = find(reg.hives[Machine], full)) return node;
        if (!ref.path.empty()) return nullptr;
        Node* node = &reg.hives[Machine];
        for (const auto& part : full)
            node = &node->ensureChild(part, nullptr);
        return node;
    }

    // Whether ref names the root of a hive or of the classes view.
    static bool isRoot(const KeyRef& ref) { return ref.path.empty(); }

    // Removes the key a (non-root) reference names, as write() resolves it.
    bool remove(const KeyRef& ref) {
        Path full = ref.classesView ? concat(classesBase(), ref.path) : ref.path;
        for (int hive : {ref.classesView ? int{User} : ref.hive, int{Machine}}) {
            Path parentPath(full.begin(), full.end() - 1);
            Node* parent = find(reg.hives[hive], parentPath);
            if (parent && parent->children.erase(foldCase(full.back()))) return true;
            if (!ref.classesView) break;
        }
        return false;
    }

private:
    std::unique_lock<std::mutex> lock_;
    bool forWrite_;
    FileSession file_;
    Node emptyClasses_;
};

template <class F> LONG guarded(F&& body) {
    try {
        return body();
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

LONG copyData(const Value& v, DWORD* type, BYTE* data, DWORD* size) {
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

void snapshotNode(const Node& node, const std::string& path, std::vector<std::string>& out,
                  bool root) {
    // A hive's root is listed when it holds anything.
    if (!root || !node.children.empty() || !node.values.empty()) out.push_back(path);
    for (const auto& v : node.values) {
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
            appendHexBytes(line, v.data, nullptr);
        }
        out.push_back(std::move(line));
    }
    for (const auto& [folded, child] : node.children)
        snapshotNode(*child, path + "\\" + toUtf8(child->name), out, false);
}

// Begins the transaction on key's file and names key\subKey in target; parts receives the
// subkey's elements. The key itself must still exist.
LONG beginAtSubKey(Transaction& t, HKEY key, LPCWSTR subKey, KeyRef& target, Path& parts) {
    if (LONG rc = splitSubKey(subKey, parts)) return rc;
    if (LONG rc = resolveHandle(key, target)) return rc;
    if (LONG rc = t.begin()) return rc;
    if (!t.read(target)) return ERROR_KEY_DELETED;
    target.path.insert(target.path.end(), parts.begin(), parts.end());
    return ERROR_SUCCESS;
}

} // namespace

// -------------------------------------------------------------------------------------------------

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, DWORD, void*, HKEY* result,
                     DWORD* disposition) {
    return guarded([&]() -> LONG {
        if (!result) return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        Transaction t(true);
        Path parts;
        KeyRef target;
        if (LONG rc = beginAtSubKey(t, key, subKey, target, parts)) return rc;
        bool created = false;
        if (!t.read(target)) {
            // A key new to the classes view is made machine-wide.
            Node* node = &t.reg.hives[target.classesView ? Machine : target.hive];
            const Path full = target.classesView ? concat(classesBase(), target.path) : target.path;
            for (const auto& part : full)
                node = &node->ensureChild(part, &created);
            if (LONG rc = t.commit()) return rc;
        }
        if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        *result = newHandle(std::move(target));
        return ERROR_SUCCESS;
    });
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, DWORD, HKEY* result) {
    return guarded([&]() -> LONG {
        if (!result) return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        Transaction t(false);
        Path parts;
        KeyRef target;
        if (LONG rc = beginAtSubKey(t, key, subKey, target, parts)) return rc;
        if (!t.read(target)) return ERROR_FILE_NOT_FOUND;
        *result = newHandle(std::move(target));
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY key) {
    return guarded([&]() -> LONG {
        if (isPredefined(key)) return ERROR_SUCCESS;
        std::lock_guard lock(gMutex);
        return gHandles.erase(handleValue(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    });
}

LONG RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return guarded([&]() -> LONG {
        if (LONG rc = checkValueName(name)) return rc;
        if (!data && size) return ERROR_INVALID_PARAMETER;
        Transaction t(true);
        KeyRef ref;
        if (LONG rc = resolveHandle(key, ref)) return rc;
        if (LONG rc = t.begin()) return rc;
        Node* node = t.write(ref);
        if (!node) return ERROR_KEY_DELETED;
        node->setValue(name ? name : u"", type, std::vector<BYTE>(data, data + size));
        return t.commit();
    });
}

LONG RegQueryValueExW(HKEY key, LPCWSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size) {
    return guarded([&]() -> LONG {
        if (reserved) return ERROR_INVALID_PARAMETER;
        Transaction t(false);
        KeyRef ref;
        if (LONG rc = resolveHandle(key, ref)) return rc;
        if (LONG rc = t.begin()) return rc;
        Node* node = t.read(ref);
        if (!node) return ERROR_KEY_DELETED;
        const Value* v = node->value(name ? name : u"");
        if (!v) return ERROR_FILE_NOT_FOUND;
        return copyData(*v, type, data, size);
    });
}

LONG RegDeleteValueW(HKEY key, LPCWSTR name) {
    return guarded([&]() -> LONG {
        Transaction t(true);
        KeyRef ref;
        if (LONG rc = resolveHandle(key, ref)) return rc;
        if (LONG rc = t.begin()) return rc;
        Node* node = t.write(ref);
        if (!node) return ERROR_KEY_DELETED;
        Value* v = node->value(name ? name : u"");
        if (!v) return ERROR_FILE_NOT_FOUND;
        node->values.erase(node->values.begin() + (v - node->values.data()));
        return t.commit();
    });
}

namespace {

// The two deletions: the key named by key\subKey is found for writing, then handed to act,
// whose result is committed. A root is never deleted.
template <typename Act> LONG deleteKey(HKEY key, LPCWSTR subKey, Act act) {
    return guarded([&]() -> LONG {
        Transaction t(true);
        Path parts;
        KeyRef target;
        if (LONG rc = beginAtSubKey(t, key, subKey, target, parts)) return rc;
        if (Transaction::isRoot(target)) return ERROR_ACCESS_DENIED;
        Node* node = t.write(target);
        if (!node) return ERROR_FILE_NOT_FOUND;
        if (LONG rc = act(t, target, *node, parts.empty())) return rc;
        return t.commit();
    });
}

} // namespace

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    return deleteKey(key, subKey, [](Transaction& t, const KeyRef& target, Node& node, bool) {
        if (!node.children.empty()) return static_cast<LONG>(ERROR_ACCESS_DENIED);
        t.remove(target);
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

LONG RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
    return deleteKey(key, subKey,
                     [](Transaction& t, const KeyRef& target, Node& node, bool itself) {
                         if (itself) {
                             // No subkey: the key stays, emptied of its subkeys and values.
                             node.children.clear();
                             node.values.clear();
                         } else {
                             t.remove(target);
                         }
                         return static_cast<LONG>(ERROR_SUCCESS);
                     });
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars) {
    return guarded([&]() -> LONG {
        if (!name || !nameChars) return ERROR_INVALID_PARAMETER;
        Transaction t(false);
        KeyRef ref;
        if (LONG rc = resolveHandle(key, ref)) return rc;
        if (LONG rc = t.begin()) return rc;
        if (!t.read(ref)) return ERROR_KEY_DELETED;
        // The classes view lists the subkeys of both trees, per-user names first.
        std::map<std::u16string, std::u16string> names;
        auto collect = [&](Node* node) {
            if (node)
                for (const auto& [folded, child] : node->children)
                    names.emplace(folded, child->name);
        };
        if (ref.classesView) {
            Path full = concat(classesBase(), ref.path);
            collect(find(t.reg.hives[User], full));
            collect(find(t.reg.hives[Machine], full));
        } else {
            collect(t.read(ref));
        }
        if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
        auto it = names.begin();
        std::advance(it, index);
        return copyName(it->second, name, nameChars);
    });
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD* type, BYTE* data,
                   DWORD* dataSize) {
    return guarded([&]() -> LONG {
        if (!name || !nameChars) return ERROR_INVALID_PARAMETER;
        Transaction t(false);
        KeyRef ref;
        if (LONG rc = resolveHandle(key, ref)) return rc;
        if (LONG rc = t.begin()) return rc;
        Node* node = t.read(ref);
        if (!node) return ERROR_KEY_DELETED;
        if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
        const Value& v = node->values[index];
        if (LONG rc = copyName(v.name, name, nameChars)) return rc;
        return copyData(v, type, data, dataSize);
    });
}

LONG RegOverridePredefKey(HKEY predefined, HKEY newKey) {
    return guarded([&]() -> LONG {
        if (!isPredefined(predefined)) return ERROR_INVALID_HANDLE;
        std::lock_guard lock(gMutex);
        if (!newKey) {
            gOverrides.erase(handleValue(predefined));
            return ERROR_SUCCESS;
        }
        KeyRef ref;
        if (LONG rc = resolveHandle(newKey, ref)) return rc;
        gOverrides[handleValue(predefined)] = std::move(ref);
        return ERROR_SUCCESS;
    });
}

namespace quarn_platform {

std::vector<std::string> registrySnapshot() {
    std::vector<std::string> out;
    try {
        Transaction t(false);
        t.begin();
        for (int h = 0; h < HiveCount; ++h)
            snapshotNode(t.reg.hives[h], kHiveNames[h], out, true);
    } catch (...) {
        // What was gathered so far is still worth showing.
    }
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
    return guarded([&]() -> LONG {
        std::u16string path(subKey);
        HKEY target = nullptr;
        if (LONG rc = RegCreateKeyExW(key, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_WRITE, nullptr, &target, nullptr))
            return rc;
        std::vector<BYTE> data = bytesOfString(text);
        if (data.size() > 0xFFFFFFFFu) {
            RegCloseKey(target);
            return ERROR_INVALID_PARAMETER;
        }
        LONG rc =
            RegSetValueExW(target, name, 0, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(target);
        return rc;
    });
}

LONG readStringValue(HKEY key, std::u16string_view subKey, LPCWSTR name, std::u16string* text) {
    return guarded([&]() -> LONG {
        if (!text) return ERROR_INVALID_PARAMETER;
        std::u16string path(subKey);
        HKEY target = nullptr;
        if (LONG rc = RegOpenKeyExW(key, path.c_str(), 0, KEY_READ, &target)) return rc;
        DWORD type = 0;
        DWORD size = 0;
        std::vector<BYTE> data;
        LONG rc = ERROR_MORE_DATA;
        // The value may change between asking its size and reading it: ask again then.
        for (int attempt = 0; attempt < 4 && rc == ERROR_MORE_DATA; ++attempt) {
            rc = RegQueryValueExW(target, name, nullptr, &type, nullptr, &size);
            if (rc) break;
            data.resize(size);
            rc = RegQueryValueExW(target, name, nullptr, &type, data.data(), &size);
        }
        RegCloseKey(target);
        if (rc) return rc;
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
