#include "OleAuto.h"
#include "ComObject.h"

#include "WideString.h"
#include "WinModule.h"
#include "WinReg.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// ---- Automation strings: a 32-bit byte length, then the characters and a terminator.

BSTR SysAllocString(LPCWSTR text) {
    if (!text) return nullptr;
    const std::size_t length = std::char_traits<char16_t>::length(text);
    if (length > 0x7FFFFFF0u / sizeof(WCHAR)) return nullptr;
    auto* block =
        static_cast<std::uint32_t*>(std::malloc(sizeof(std::uint32_t) + (length + 1) * 2));
    if (!block) return nullptr;
    block[0] = static_cast<std::uint32_t>(length * sizeof(WCHAR));
    auto* chars = reinterpret_cast<WCHAR*>(block + 1);
    std::char_traits<char16_t>::copy(chars, text, length);
    chars[length] = 0;
    return chars;
}

void SysFreeString(BSTR text) {
    if (text) std::free(reinterpret_cast<std::uint32_t*>(text) - 1);
}

namespace {

using quarn_platform::fromWin32;
using quarn_platform::guidText;
using quarn_platform::KeyHolder;

// Answers QueryInterface on a type library of this file with the library itself, so that
// registration can read what ITypeLib does not expose (the interfaces and their kinds).
const IID IID_TypeLibDescription = {
    0x5b1a3c2e, 0x8d4f, 0x4e61, {0x9a, 0x07, 0x3c, 0x52, 0xe1, 0x6b, 0x90, 0xd4}};

// The marshaler of automation-compatible interfaces.
const CLSID CLSID_AutomationMarshaler = {
    0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

HRESULT documentation(LPCWSTR nameText, LPCWSTR docText, BSTR* name, BSTR* docString) {
    BSTR n = nullptr;
    BSTR d = nullptr;
    if (name && !(n = SysAllocString(nameText ? nameText : u""))) return E_OUTOFMEMORY;
    if (docString && !(d = SysAllocString(docText ? docText : u""))) {
        SysFreeString(n);
        return E_OUTOFMEMORY;
    }
    if (name) *name = n;
    if (docString) *docString = d;
    return S_OK;
}

class TypeLibrary;

// A type (interface or coclass) of a library; it has no members.
class TypeInfo final : public ComObject<ITypeInfo, &IID_ITypeInfo> {
public:
    TypeInfo(IUnknown* library, const GUID& guid, LPCWSTR name, LPCWSTR docString)
        : library_(library), guid_(guid), name_(name), docString_(docString) {
        library_->AddRef();
    }

    HRESULT GetDocumentation(LONG index, BSTR* name, BSTR* docString) override {
        if (index != -1) return TYPE_E_ELEMENTNOTFOUND;
        return documentation(name_, docString_, name, docString);
    }
    HRESULT GetIDsOfNames(LPCWSTR* names, UINT count, DISPID* ids) override {
        if ((!names || !ids) && count) return E_INVALIDARG;
        for (UINT i = 0; i < count; ++i)
            ids[i] = -1; // DISPID_UNKNOWN
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(void*, DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT GetGuid(GUID* guid) override {
        if (!guid) return E_POINTER;
        *guid = guid_;
        return S_OK;
    }

private:
    ~TypeInfo() override { library_->Release(); }

    IUnknown* library_;
    GUID guid_;
    LPCWSTR name_;
    LPCWSTR docString_;
};

class TypeLibrary final : public ComObject<ITypeLib, &IID_ITypeLib, &IID_TypeLibDescription> {
public:
    explicit TypeLibrary(const TypeLibDesc* desc) : desc_(desc) {}

    const TypeLibDesc& desc() const { return *desc_; }

    UINT GetTypeInfoCount() override {
        return static_cast<UINT>(desc_->interfaceCount + desc_->coclassCount);
    }
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        for (std::size_t i = 0; i < desc_->interfaceCount; ++i) {
            const auto& itf = desc_->interfaces[i];
            if (itf.iid == guid) return make(itf.iid, itf.name, itf.docString, info);
        }
        for (std::size_t i = 0; i < desc_->coclassCount; ++i) {
            const auto& cls = desc_->coclasses[i];
            if (cls.clsid == guid) return make(cls.clsid, cls.name, cls.docString, info);
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetDocumentation(LONG index, BSTR* name, BSTR* docString) override {
        if (index == -1) return documentation(desc_->name, desc_->docString, name, docString);
        if (index < 0) return TYPE_E_ELEMENTNOTFOUND;
        auto i = static_cast<std::size_t>(index);
        if (i < desc_->interfaceCount)
            return documentation(desc_->interfaces[i].name, desc_->interfaces[i].docString, name,
                                 docString);
        i -= desc_->interfaceCount;
        if (i < desc_->coclassCount)
            return documentation(desc_->coclasses[i].name, desc_->coclasses[i].docString, name,
                                 docString);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetLibAttr(GUID* libid, WORD* major, WORD* minor, LCID* lcid) override {
        if (libid) *libid = desc_->libid;
        if (major) *major = desc_->majorVersion;
        if (minor) *minor = desc_->minorVersion;
        if (lcid) *lcid = desc_->lcid;
        return S_OK;
    }

private:
    ~TypeLibrary() = default;

    HRESULT make(const GUID& guid, LPCWSTR name, LPCWSTR docString, ITypeInfo** info) {
        auto* type = new (std::nothrow) TypeInfo(this, guid, name, docString);
        if (!type) return E_OUTOFMEMORY;
        *info = type;
        return S_OK;
    }

    const TypeLibDesc* desc_;
};

// ---- Registry layout

std::u16string hexText(unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%x", value);
    return quarn_platform::toUtf16(buffer);
}

std::u16string versionText(WORD major, WORD minor) {
    return hexText(major) + u"." + hexText(minor);
}

LPCWSTR platformKey(SYSKIND syskind) {
    switch (syskind) {
    case SYS_WIN16:
        return u"win16";
    case SYS_WIN32:
        return u"win32";
    case SYS_MAC:
        return u"mac";
    case SYS_WIN64:
        return u"win64";
    }
    return nullptr;
}

// The names of key's subkeys.
std::vector<std::u16string> subKeys(HKEY key) {
    std::vector<std::u16string> names;
    WCHAR name[256];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 256;
        if (RegEnumKeyExW(key, i, name, &chars) != ERROR_SUCCESS) break;
        names.emplace_back(name, chars);
    }
    return names;
}

bool parseHex(std::u16string_view text, unsigned limit, unsigned& value) {
    if (text.empty() || text.size() > 8) return false;
    value = 0;
    for (char16_t c : text) {
        unsigned d = c >= u'0' && c <= u'9'   ? c - u'0'
                     : c >= u'a' && c <= u'f' ? c - u'a' + 10
                     : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                              : 16;
        if (d > 15) return false;
        value = value * 16 + d;
    }
    return value <= limit;
}

// The registered version of libid in classes that suits major.minor: the same major version
// and the highest minor version not below the one asked for.
bool findVersion(HKEY classes, const std::u16string& libid, WORD major, WORD minor,
                 std::u16string& version) {
    KeyHolder lib;
    if (RegOpenKeyExW(classes, (u"TypeLib\\" + libid).c_str(), 0, KEY_READ, &lib.key)) return false;
    int best = -1;
    for (const auto& name : subKeys(lib.key)) {
        std::size_t dot = name.find(u'.');
        unsigned maj = 0, min = 0;
        if (dot == std::u16string::npos || !parseHex(name.substr(0, dot), 0xFFFF, maj) ||
            !parseHex(name.substr(dot + 1), 0xFFFF, min))
            continue;
        if (maj == major && min >= minor && static_cast<int>(min) > best) {
            best = static_cast<int>(min);
            version = name;
        }
    }
    return best >= 0;
}

// The locale subkey of a registered version that suits lcid: the locale itself, its primary
// language, the neutral locale, and failing those any locale registered.
bool findLocale(HKEY versionKey, LCID lcid, std::u16string& locale) {
    std::vector<std::u16string> names;
    for (const auto& name : subKeys(versionKey)) {
        unsigned value = 0;
        if (parseHex(name, 0xFFFFFFFFu, value)) names.push_back(name);
    }
    for (LCID wanted : {lcid, lcid & 0x3FFu, LCID{0}}) {
        for (const auto& name : names) {
            unsigned value = 0;
            parseHex(name, 0xFFFFFFFFu, value);
            if (value == wanted) {
                locale = name;
                return true;
            }
        }
    }
    if (names.empty()) return false;
    locale = names.front();
    return true;
}

// The path registered for libid in classes, or empty.
std::u16string registeredPath(HKEY classes, const std::u16string& libid, WORD major, WORD minor,
                              LCID lcid, SYSKIND syskind, std::u16string* version) {
    std::u16string ver;
    if (!findVersion(classes, libid, major, minor, ver)) return {};
    if (version) *version = ver;
    KeyHolder verKey;
    if (RegOpenKeyExW(classes, (u"TypeLib\\" + libid + u"\\" + ver).c_str(), 0, KEY_READ,
                      &verKey.key))
        return {};
    std::u16string locale;
    if (!findLocale(verKey.key, lcid, locale)) return {};
    std::u16string path;
    LPCWSTR platform = platformKey(syskind);
    if (!platform ||
        quarn_platform::readStringValue(verKey.key, locale + u"\\" + platform, nullptr, &path))
        return {};
    return path;
}

HRESULT registerIn(bool perUser, ITypeLib* library, LPCWSTR path, LPCWSTR helpDir) {
    if (!library || !path) return E_INVALIDARG;
    ITypeLib* own = nullptr;
    if (FAILED(library->QueryInterface(IID_TypeLibDescription, reinterpret_cast<void**>(&own))))
        return E_INVALIDARG;
    const TypeLibDesc& desc = static_cast<TypeLibrary*>(own)->desc();
    own->Release();

    KeyHolder classes;
    if (LONG rc = quarn_platform::openClassesKey(perUser, true, &classes.key)) return fromWin32(rc);
    using quarn_platform::writeStringValue;
    const std::u16string libid = guidText(desc.libid);
    const std::u16string version = versionText(desc.majorVersion, desc.minorVersion);
    const std::u16string lib = u"TypeLib\\" + libid + u"\\" + version;
    std::u16string folder;
    if (helpDir) {
        folder = helpDir;
    } else {
        std::u16string_view p(path);
        std::size_t slash = p.find_last_of(u"/\\");
        if (slash != std::u16string_view::npos) folder = p.substr(0, slash == 0 ? 1 : slash);
    }
    const std::u16string entries[][2] = {
        {lib, desc.docString ? desc.docString : (desc.name ? desc.name : u"")},
        {lib + u"\\FLAGS", u"0"},
        {lib + u"\\" + hexText(desc.lcid) + u"\\win64", path},
        {lib + u"\\HELPDIR", folder},
    };
    for (const auto& [key, text] : entries)
        if (LONG rc = writeStringValue(classes.key, key, nullptr, text)) return fromWin32(rc);

    // Dual interfaces are marshaled by the automation marshaler from this library.
    const std::u16string marshaler = guidText(CLSID_AutomationMarshaler);
    for (std::size_t i = 0; i < desc.interfaceCount; ++i) {
        const TypeLibInterfaceDesc& itf = desc.interfaces[i];
        if (!itf.dual) continue;
        const std::u16string key = u"Interface\\" + guidText(itf.iid);
        const std::u16string values[][3] = {
            {key, u"", itf.name ? itf.name : u""},
            {key + u"\\ProxyStubClsid", u"", marshaler},
            {key + u"\\ProxyStubClsid32", u"", marshaler},
            {key + u"\\TypeLib", u"", libid},
            {key + u"\\TypeLib", u"Version", version},
        };
        for (const auto& [sub, name, text] : values)
            if (LONG rc =
                    writeStringValue(classes.key, sub, name.empty() ? nullptr : name.c_str(), text))
                return fromWin32(rc);
    }
    return S_OK;
}

// Deletes Interface\{iid} when it belongs to libid (another library may have claimed it since).
LONG removeInterface(HKEY classes, const std::u16string& iid, const std::u16string& libid) {
    std::u16string owner;
    const std::u16string key = u"Interface\\" + iid;
    if (quarn_platform::readStringValue(classes, key + u"\\TypeLib", nullptr, &owner) ||
        !quarn_platform::equalsIgnoreCase(owner, libid))
        return ERROR_SUCCESS;
    LONG rc = RegDeleteTreeW(classes, key.c_str());
    return rc == static_cast<LONG>(ERROR_FILE_NOT_FOUND) ? ERROR_SUCCESS : rc;
}

HRESULT unregisterIn(bool perUser, REFGUID libidGuid, WORD major, WORD minor, LCID lcid,
                     SYSKIND syskind) {
    if (!platformKey(syskind)) return E_INVALIDARG;
    KeyHolder classes;
    LONG rc = quarn_platform::openClassesKey(perUser, false, &classes.key);
    if (rc == static_cast<LONG>(ERROR_FILE_NOT_FOUND)) return TYPE_E_LIBNOTREGISTERED;
    if (rc) return fromWin32(rc);
    const std::u16string libid = guidText(libidGuid);
    const std::u16string version = versionText(major, minor);
    const std::u16string libKey = u"TypeLib\\" + libid;
    const std::u16string versionKey = libKey + u"\\" + version;
    if (!quarn_platform::keyExists(classes.key, versionKey)) return TYPE_E_LIBNOTREGISTERED;

    // The interfaces: from the library itself when it can be loaded, else every interface
    // entry that names this library and version.
    std::vector<std::u16string> interfaces;
    std::u16string path = registeredPath(classes.key, libid, major, minor, lcid, syskind, nullptr);
    ITypeLib* library = nullptr;
    ITypeLib* own = nullptr;
    if (!path.empty() && SUCCEEDED(LoadTypeLib(path.c_str(), &library)) &&
        SUCCEEDED(
            library->QueryInterface(IID_TypeLibDescription, reinterpret_cast<void**>(&own)))) {
        const TypeLibDesc& desc = static_cast<TypeLibrary*>(own)->desc();
        for (std::size_t i = 0; i < desc.interfaceCount; ++i)
            if (desc.interfaces[i].dual) interfaces.push_back(guidText(desc.interfaces[i].iid));
        own->Release();
    } else {
        KeyHolder all;
        if (RegOpenKeyExW(classes.key, u"Interface", 0, KEY_READ, &all.key) == ERROR_SUCCESS) {
            for (const auto& iid : subKeys(all.key)) {
                std::u16string ver;
                if (quarn_platform::readStringValue(all.key, iid + u"\\TypeLib", u"Version",
                                                    &ver) == ERROR_SUCCESS &&
                    ver == version)
                    interfaces.push_back(iid);
            }
        }
    }
    if (library) library->Release();

    for (const auto& iid : interfaces)
        if ((rc = removeInterface(classes.key, iid, libid))) return fromWin32(rc);
    if ((rc = RegDeleteTreeW(classes.key, versionKey.c_str()))) return fromWin32(rc);
    KeyHolder lib;
    if (RegOpenKeyExW(classes.key, libKey.c_str(), 0, KEY_READ, &lib.key) == ERROR_SUCCESS &&
        subKeys(lib.key).empty()) {
        RegCloseKey(lib.key);
        lib.key = nullptr;
        if ((rc = RegDeleteKeyW(classes.key, libKey.c_str()))) return fromWin32(rc);
    }
    return S_OK;
}

} // namespace

HRESULT LoadTypeLib(LPCWSTR path, ITypeLib** library) {
    if (!library) return E_POINTER;
    *library = nullptr;
    if (!path) return E_INVALIDARG;
    HINSTANCE instance = FindModuleInstanceByPath(path);
    if (!instance) return TYPE_E_CANTLOADLIBRARY;
    const ResourceEntry* resource = FindModuleResource(instance, u"TYPELIB", 1);
    if (!resource || !resource->data || resource->size < sizeof(TypeLibDesc))
        return TYPE_E_CANTLOADLIBRARY;
    auto* desc = static_cast<const TypeLibDesc*>(resource->data);
    if ((desc->interfaceCount && !desc->interfaces) || (desc->coclassCount && !desc->coclasses))
        return TYPE_E_CANTLOADLIBRARY;
    auto* lib = new (std::nothrow) TypeLibrary(desc);
    if (!lib) return E_OUTOFMEMORY;
    *library = lib;
    return S_OK;
}

HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** library) {
    if (!library) return E_POINTER;
    *library = nullptr;
    try {
        // Per-user registrations first, as the merged classes view reads.
        for (bool perUser : {true, false}) {
            KeyHolder classes;
            if (quarn_platform::openClassesKey(perUser, false, &classes.key)) continue;
            std::u16string path = registeredPath(classes.key, guidText(libid), major, minor, lcid,
                                                 SYS_WIN64, nullptr);
            if (path.empty()) continue;
            HRESULT hr = LoadTypeLib(path.c_str(), library);
            if (FAILED(hr)) return hr;
            GUID loaded{};
            (*library)->GetLibAttr(&loaded, nullptr, nullptr, nullptr);
            if (loaded == libid) return S_OK;
            (*library)->Release();
            *library = nullptr;
            return TYPE_E_CANTLOADLIBRARY;
        }
        return TYPE_E_LIBNOTREGISTERED;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT RegisterTypeLib(ITypeLib* library, LPCWSTR path, LPCWSTR helpDir) {
    return quarn_platform::inRegistryTransaction(
        [&] { return registerIn(false, library, path, helpDir); });
}

HRESULT RegisterTypeLibForUser(ITypeLib* library, LPCWSTR path, LPCWSTR helpDir) {
    return quarn_platform::inRegistryTransaction(
        [&] { return registerIn(true, library, path, helpDir); });
}

HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
    return quarn_platform::inRegistryTransaction(
        [&] { return unregisterIn(false, libid, major, minor, lcid, syskind); });
}

HRESULT UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid,
                                 SYSKIND syskind) {
    return quarn_platform::inRegistryTransaction(
        [&] { return unregisterIn(true, libid, major, minor, lcid, syskind); });
}
