#include "AtlRegistrar.h"

#include "WideString.h"
#include "WinReg.h"

#include <atomic>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

namespace {

using quarn_platform::equalsIgnoreCase;
using quarn_platform::foldCase;
using quarn_platform::fromWin32;
using quarn_platform::KeyHolder;

std::atomic<bool> gPerUser{false};

// ---------------------------------------------------------------------------------------------
// The script as parsed

struct ScriptValue {
    bool isNumber = false;
    std::u16string text;
    DWORD number = 0;
};

enum class KeyMode { Normal, NoRemove, ForceRemove, Delete };

struct ScriptKey {
    KeyMode mode = KeyMode::Normal;
    std::u16string name;
    std::optional<ScriptValue> defaultValue;
    std::vector<std::pair<std::u16string, ScriptValue>> values;
    std::vector<ScriptKey> children;
};

struct ScriptRoot {
    HKEY root = nullptr;
    std::vector<ScriptKey> keys;
};

enum class TokenKind { End, Open, Close, Equals, Word, Quoted };

struct Token {
    TokenKind kind = TokenKind::End;
    std::u16string text;
};

// Splits the script into tokens, replacing %NAME% as it goes so that a replacement's text is
// taken literally (a quote in a module path does not end a string).
class Lexer {
public:
    Lexer(std::u16string_view text, const std::map<std::u16string, std::u16string>& replacements)
        : text_(text), replacements_(replacements) {}

    HRESULT next(Token& token) {
        if (peeked_) {
            token = std::move(*peeked_);
            peeked_.reset();
            return S_OK;
        }
        return scan(token);
    }
    HRESULT peek(const Token*& token) {
        if (!peeked_) {
            Token t;
            if (HRESULT hr = scan(t); FAILED(hr)) return hr;
            peeked_ = std::move(t);
        }
        token = &*peeked_;
        return S_OK;
    }

private:
    static bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
    // Tokens are separated by white space: "{" alone opens a block, while "{GUID}" is a name.
    HRESULT scan(Token& token) {
        token.text.clear();
        while (pos_ < text_.size() && isSpace(text_[pos_]))
            ++pos_;
        if (pos_ >= text_.size()) {
            token.kind = TokenKind::End;
            return S_OK;
        }
        if (text_[pos_] == u'\'') {
            token.kind = TokenKind::Quoted;
            ++pos_;
            while (true) {
                if (pos_ >= text_.size()) return DISP_E_EXCEPTION; // unterminated string
                char16_t c = text_[pos_];
                if (c == u'\'') {
                    if (pos_ + 1 < text_.size() && text_[pos_ + 1] == u'\'') {
                        token.text += u'\'';
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    return S_OK;
                }
                if (c == u'%') {
                    if (HRESULT hr = replace(token.text); FAILED(hr)) return hr;
                    continue;
                }
                token.text += c;
                ++pos_;
            }
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !isSpace(text_[pos_]))
            ++pos_;
        std::u16string_view raw = text_.substr(start, pos_ - start);
        if (raw == u"{" || raw == u"}" || raw == u"=") {
            token.kind = raw == u"{" ? TokenKind::Open
                                     : (raw == u"}" ? TokenKind::Close : TokenKind::Equals);
            return S_OK;
        }
        token.kind = TokenKind::Word;
        return expand(raw, token.text);
    }

    // Replaces %NAME% and %% in a bare word.
    HRESULT expand(std::u16string_view raw, std::u16string& out) {
        for (std::size_t i = 0; i < raw.size();) {
            if (raw[i] != u'%') {
                out += raw[i++];
                continue;
            }
            std::size_t close = raw.find(u'%', i + 1);
            if (close == std::u16string_view::npos) return DISP_E_EXCEPTION;
            if (HRESULT hr = lookup(raw.substr(i + 1, close - i - 1), out); FAILED(hr)) return hr;
            i = close + 1;
        }
        return S_OK;
    }

    HRESULT lookup(std::u16string_view name, std::u16string& out) {
        if (name.empty()) {
            out += u'%';
            return S_OK;
        }
        auto it = replacements_.find(foldCase(name));
        if (it == replacements_.end()) return DISP_E_EXCEPTION;
        out += it->second;
        return S_OK;
    }

    // At a '%' inside a quoted string: appends the replacement and moves past it.
    HRESULT replace(std::u16string& out) {
        std::size_t close = text_.find(u'%', pos_ + 1);
        if (close == std::u16string_view::npos) return DISP_E_EXCEPTION;
        std::u16string_view name = text_.substr(pos_ + 1, close - pos_ - 1);
        pos_ = close + 1;
        return lookup(name, out);
    }

    std::u16string_view text_;
    const std::map<std::u16string, std::u16string>& replacements_;
    std::size_t pos_ = 0;
    std::optional<Token> peeked_;
};

class Parser {
public:
    explicit Parser(Lexer& lexer) : lexer_(lexer) {}

    HRESULT parse(std::vector<ScriptRoot>& roots) {
        while (true) {
            Token t;
            if (HRESULT hr = lexer_.next(t); FAILED(hr)) return hr;
            if (t.kind == TokenKind::End) return S_OK;
            ScriptRoot root;
            if (t.kind != TokenKind::Word || !(root.root = rootKey(t.text)))
                return DISP_E_EXCEPTION;
            if (HRESULT hr = expect(TokenKind::Open); FAILED(hr)) return hr;
            if (HRESULT hr = parseEntries(root.keys, nullptr, 1); FAILED(hr)) return hr;
            roots.push_back(std::move(root));
        }
    }

private:
    // Nesting deeper than this is not a registry script.
    static constexpr int maxDepth = 64;

    static HKEY rootKey(std::u16string_view name) {
        static const std::pair<std::u16string_view, HKEY> names[] = {
            {u"HKCR", HKEY_CLASSES_ROOT},  {u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
            {u"HKCU", HKEY_CURRENT_USER},  {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
            {u"HKLM", HKEY_LOCAL_MACHINE}, {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
            {u"HKU", HKEY_USERS},          {u"HKEY_USERS", HKEY_USERS}};
        for (const auto& [text, key] : names)
            if (equalsIgnoreCase(name, text)) return key;
        return nullptr;
    }

    HRESULT expect(TokenKind kind) {
        Token t;
        if (HRESULT hr = lexer_.next(t); FAILED(hr)) return hr;
        return t.kind == kind ? S_OK : DISP_E_EXCEPTION;
    }

    HRESULT name(std::u16string& out) {
        Token t;
        if (HRESULT hr = lexer_.next(t); FAILED(hr)) return hr;
        if ((t.kind != TokenKind::Word && t.kind != TokenKind::Quoted) || t.text.empty())
            return DISP_E_EXCEPTION;
        out = std::move(t.text);
        return S_OK;
    }

    // "s 'text'" or "d 'number'" (decimal, or hexadecimal after 0x).
    HRESULT value(ScriptValue& out) {
        Token type, data;
        if (HRESULT hr = lexer_.next(type); FAILED(hr)) return hr;
        if (HRESULT hr = lexer_.next(data); FAILED(hr)) return hr;
        if (type.kind != TokenKind::Word || data.kind != TokenKind::Quoted) return DISP_E_EXCEPTION;
        if (equalsIgnoreCase(type.text, u"s")) {
            out.text = std::move(data.text);
            return S_OK;
        }
        if (!equalsIgnoreCase(type.text, u"d")) return DISP_E_EXCEPTION;
        out.isNumber = true;
        std::u16string_view digits = data.text;
        bool negative = !digits.empty() && digits.front() == u'-';
        if (negative) digits.remove_prefix(1);
        unsigned base = 10;
        if (digits.size() > 2 && digits[0] == u'0' && (digits[1] == u'x' || digits[1] == u'X')) {
            base = 16;
            digits.remove_prefix(2);
        }
        if (digits.empty()) return DISP_E_EXCEPTION;
        std::uint64_t number = 0;
        for (char16_t c : digits) {
            unsigned d = c >= u'0' && c <= u'9'   ? c - u'0'
                         : c >= u'a' && c <= u'f' ? c - u'a' + 10
                         : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                  : 99;
            if (d >= base) return DISP_E_EXCEPTION;
            number = number * base + d;
            if (number > 0xFFFFFFFFu) return DISP_E_EXCEPTION;
        }
        if (negative && number > 0x80000000u) return DISP_E_EXCEPTION;
        out.number = static_cast<DWORD>(negative ? 0u - number : number);
        return S_OK;
    }

    // Entries up to the closing brace of the block.
    HRESULT parseEntries(std::vector<ScriptKey>& keys,
                         std::vector<std::pair<std::u16string, ScriptValue>>* values, int depth) {
        if (depth > maxDepth) return DISP_E_EXCEPTION;
        while (true) {
            const Token* t = nullptr;
            if (HRESULT hr = lexer_.peek(t); FAILED(hr)) return hr;
            if (t->kind == TokenKind::Close) return expect(TokenKind::Close);
            if (t->kind != TokenKind::Word && t->kind != TokenKind::Quoted) return DISP_E_EXCEPTION;

            if (t->kind == TokenKind::Word && equalsIgnoreCase(t->text, u"val")) {
                if (!values) return DISP_E_EXCEPTION; // a root has no values of its own
                Token keyword;
                lexer_.next(keyword);
                std::pair<std::u16string, ScriptValue> entry;
                if (HRESULT hr = name(entry.first); FAILED(hr)) return hr;
                if (HRESULT hr = expect(TokenKind::Equals); FAILED(hr)) return hr;
                if (HRESULT hr = value(entry.second); FAILED(hr)) return hr;
                values->push_back(std::move(entry));
                continue;
            }

            ScriptKey key;
            if (t->kind == TokenKind::Word) {
                if (equalsIgnoreCase(t->text, u"NoRemove"))
                    key.mode = KeyMode::NoRemove;
                else if (equalsIgnoreCase(t->text, u"ForceRemove"))
                    key.mode = KeyMode::ForceRemove;
                else if (equalsIgnoreCase(t->text, u"Delete"))
                    key.mode = KeyMode::Delete;
                if (key.mode != KeyMode::Normal) {
                    Token keyword;
                    lexer_.next(keyword);
                }
            }
            if (HRESULT hr = name(key.name); FAILED(hr)) return hr;
            if (HRESULT hr = lexer_.peek(t); FAILED(hr)) return hr;
            if (t->kind == TokenKind::Equals) {
                Token equals;
                lexer_.next(equals);
                key.defaultValue.emplace();
                if (HRESULT hr = value(*key.defaultValue); FAILED(hr)) return hr;
                if (HRESULT hr = lexer_.peek(t); FAILED(hr)) return hr;
            }
            if (t->kind == TokenKind::Open) {
                Token open;
                lexer_.next(open);
                if (HRESULT hr = parseEntries(key.children, &key.values, depth + 1); FAILED(hr))
                    return hr;
            }
            keys.push_back(std::move(key));
        }
    }

    Lexer& lexer_;
};

// ---------------------------------------------------------------------------------------------
// Running the script

LONG setValue(HKEY key, LPCWSTR name, const ScriptValue& v) {
    if (v.isNumber)
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v.number),
                              sizeof v.number);
    std::u16string text = v.text;
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

LONG deleteTree(HKEY parent, const std::u16string& name) {
    LONG rc = RegDeleteTreeW(parent, name.c_str());
    return rc == static_cast<LONG>(ERROR_FILE_NOT_FOUND) ? ERROR_SUCCESS : rc;
}

HRESULT registerKeys(HKEY parent, const std::vector<ScriptKey>& keys) {
    for (const auto& k : keys) {
        if (k.mode == KeyMode::Delete || k.mode == KeyMode::ForceRemove) {
            if (LONG rc = deleteTree(parent, k.name)) return fromWin32(rc);
            if (k.mode == KeyMode::Delete) continue;
        }
        KeyHolder key;
        if (LONG rc = RegCreateKeyExW(parent, k.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &key.key, nullptr))
            return fromWin32(rc);
        if (k.defaultValue)
            if (LONG rc = setValue(key.key, nullptr, *k.defaultValue)) return fromWin32(rc);
        for (const auto& [name, v] : k.values)
            if (LONG rc = setValue(key.key, name.c_str(), v)) return fromWin32(rc);
        if (HRESULT hr = registerKeys(key.key, k.children); FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT unregisterKeys(HKEY parent, const std::vector<ScriptKey>& keys) {
    for (const auto& k : keys) {
        if (k.mode == KeyMode::Delete) continue;
        if (k.mode == KeyMode::ForceRemove) {
            if (LONG rc = deleteTree(parent, k.name)) return fromWin32(rc);
            continue;
        }
        KeyHolder key;
        LONG rc = RegOpenKeyExW(parent, k.name.c_str(), 0, KEY_ALL_ACCESS, &key.key);
        if (rc == static_cast<LONG>(ERROR_FILE_NOT_FOUND)) continue;
        if (rc) return fromWin32(rc);
        if (HRESULT hr = unregisterKeys(key.key, k.children); FAILED(hr)) return hr;
        for (const auto& entry : k.values) {
            rc = RegDeleteValueW(key.key, entry.first.c_str());
            if (rc && rc != static_cast<LONG>(ERROR_FILE_NOT_FOUND)) return fromWin32(rc);
        }
        if (k.mode == KeyMode::NoRemove) continue;
        WCHAR probe[256];
        DWORD chars = 256;
        rc = RegEnumKeyExW(key.key, 0, probe, &chars);
        if (rc == static_cast<LONG>(ERROR_NO_MORE_ITEMS)) {
            rc = RegDeleteKeyW(parent, k.name.c_str());
            if (rc && rc != static_cast<LONG>(ERROR_FILE_NOT_FOUND)) return fromWin32(rc);
        } else if (rc && rc != static_cast<LONG>(ERROR_MORE_DATA)) {
            return fromWin32(rc);
        }
    }
    return S_OK;
}

} // namespace

HRESULT CRegObject::AddReplacement(LPCWSTR key, LPCWSTR item) {
    if (!key || !*key || !item) return E_INVALIDARG;
    try {
        replacements_[foldCase(key)] = item;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CRegObject::ClearReplacements() {
    replacements_.clear();
    return S_OK;
}

HRESULT CRegObject::StringRegister(LPCWSTR script) {
    return run(script, true);
}

HRESULT CRegObject::StringUnregister(LPCWSTR script) {
    return run(script, false);
}

HRESULT CRegObject::run(LPCWSTR script, bool doRegister) {
    if (!script) return E_INVALIDARG;
    try {
        std::vector<ScriptRoot> roots;
        Lexer lexer(script, replacements_);
        if (HRESULT hr = Parser(lexer).parse(roots); FAILED(hr)) return hr;

        // The whole script is one transaction: it is written completely or not at all.
        return quarn_platform::inRegistryTransaction([&]() -> HRESULT {
            const bool perUser = gPerUser.load();
            for (const auto& root : roots) {
                KeyHolder classes;
                HKEY base = root.root;
                if (base == HKEY_CLASSES_ROOT && perUser) {
                    LONG rc = quarn_platform::openClassesKey(true, doRegister, &classes.key);
                    if (!doRegister && rc == static_cast<LONG>(ERROR_FILE_NOT_FOUND)) continue;
                    if (rc) return fromWin32(rc);
                    base = classes.key;
                }
                HRESULT hr =
                    doRegister ? registerKeys(base, root.keys) : unregisterKeys(base, root.keys);
                if (FAILED(hr)) return hr;
            }
            return S_OK;
        });
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

void AtlSetPerUserRegistration(bool perUser) {
    gPerUser.store(perUser);
}

HRESULT AtlGetPerUserRegistration(bool* perUser) {
    if (!perUser) return E_POINTER;
    *perUser = gPerUser.load();
    return S_OK;
}
