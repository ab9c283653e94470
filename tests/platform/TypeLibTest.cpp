// Type libraries described by a module resource: loading, the registry entries of registration
// machine-wide and per user, lookup of the registered library, and unregistration.

#include "OleAuto.h"
#include "TempRegistry.h"
#include "WideString.h"
#include "WinModule.h"
#include "WinReg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using quarn_platform::registrySnapshot;
using Lines = std::vector<std::string>;

const GUID kLibid = {0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
const IID kDual = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const IID kPlain = {0x22222222, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const CLSID kClass = {0x33333333, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const std::string kLibidText = "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";
const std::string kDualText = "{11111111-2222-3333-4444-555555555555}";

const TypeLibInterfaceDesc kInterfaces[] = {
    {kDual, u"IThing", u"IThing Interface", true, IID_IDispatch},
    {kPlain, u"IPlain", u"IPlain Interface", false, GUID_NULL},
};
const TypeLibCoclassDesc kCoclasses[] = {{kClass, u"Thing", u"Thing Class", kDual}};
const TypeLibDesc kLibrary = {
    kLibid, 0x1, 0xA, 0x409, u"ThingLib", u"Thing 1.a Library", kInterfaces, 2, kCoclasses, 1};
const ResourceEntry kResources[] = {{u"TYPELIB", 1, &kLibrary, sizeof kLibrary}};
const ModuleDescriptor kModule = {kResources, 1};

// Makes the descriptor above a module of this process for the life of a test.
class TestModule {
public:
    TestModule() { RegisterModuleInstance(instance()); }
    ~TestModule() { UnregisterModuleInstance(instance()); }
    TestModule(const TestModule&) = delete;
    TestModule& operator=(const TestModule&) = delete;
    static HINSTANCE instance() { return const_cast<ModuleDescriptor*>(&kModule); }
    std::u16string path() const {
        WCHAR path[4096] = {};
        EXPECT_GT(GetModuleFileNameW(instance(), path, 4096), 0u);
        return path;
    }
};

std::u16string document(HRESULT (*get)(void*, LONG, BSTR*, BSTR*), void* object, LONG index) {
    BSTR name = nullptr, doc = nullptr;
    if (FAILED(get(object, index, &name, &doc))) return u"<failed>";
    std::u16string text = std::u16string(name) + u"|" + doc;
    SysFreeString(name);
    SysFreeString(doc);
    return text;
}

std::u16string libDoc(ITypeLib* lib, LONG index) {
    return document([](void* o, LONG i, BSTR* n,
                       BSTR* d) { return static_cast<ITypeLib*>(o)->GetDocumentation(i, n, d); },
                    lib, index);
}

Lines registeredLines(const std::string& classes, const std::string& path) {
    const std::string folder = path.substr(0, path.find_last_of('/'));
    const std::string lib = classes + "\\TypeLib\\" + kLibidText;
    const std::string itf = classes + "\\Interface\\" + kDualText;
    const std::string root = classes.substr(0, 4);
    Lines lines = {
        root,
        root + "\\Software",
        classes,
        classes + "\\Interface",
        itf,
        itf + "\\ProxyStubClsid",
        itf + "\\ProxyStubClsid32",
        itf + "\\ProxyStubClsid32|@=REG_SZ:{00020424-0000-0000-C000-000000000046}",
        itf + "\\ProxyStubClsid|@=REG_SZ:{00020424-0000-0000-C000-000000000046}",
        itf + "\\TypeLib",
        itf + "\\TypeLib|@=REG_SZ:" + kLibidText,
        itf + "\\TypeLib|Version=REG_SZ:1.a",
        itf + "|@=REG_SZ:IThing",
        classes + "\\TypeLib",
        lib,
        lib + "\\1.a",
        lib + "\\1.a\\409",
        lib + "\\1.a\\409\\win64",
        lib + "\\1.a\\409\\win64|@=REG_SZ:" + path,
        lib + "\\1.a\\FLAGS",
        lib + "\\1.a\\FLAGS|@=REG_SZ:0",
        lib + "\\1.a\\HELPDIR",
        lib + "\\1.a\\HELPDIR|@=REG_SZ:" + folder,
        lib + "\\1.a|@=REG_SZ:Thing 1.a Library",
    };
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(TypeLib, LoadsTheModulesDescription) {
    TestModule module;
    ITypeLib* lib = nullptr;
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, LoadTypeLib(u"/no/such/module.so", &lib));
    EXPECT_EQ(nullptr, lib);
    ASSERT_EQ(S_OK, LoadTypeLib(module.path().c_str(), &lib));

    WORD minor = 0;
    LCID lcid = 0;
    ASSERT_EQ(S_OK, lib->GetLibAttr(nullptr, nullptr, &minor, &lcid));
    EXPECT_EQ(0xA, minor);
    EXPECT_EQ(0x409u, lcid);
    EXPECT_EQ(3u, lib->GetTypeInfoCount());
    EXPECT_EQ(u"ThingLib|Thing 1.a Library", libDoc(lib, -1));
    EXPECT_EQ(u"IPlain|IPlain Interface", libDoc(lib, 1));
    EXPECT_EQ(u"Thing|Thing Class", libDoc(lib, 2));
    EXPECT_EQ(u"<failed>", libDoc(lib, 3));

    ITypeInfo* info = nullptr;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, lib->GetTypeInfoOfGuid(GUID_NULL, &info));
    ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(kDual, &info));
    lib->Release(); // the type information keeps its library
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, info->GetDocumentation(-1, &name, nullptr));
    EXPECT_EQ(std::u16string(u"IThing"), name);
    SysFreeString(name);
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, info->GetDocumentation(0, &name, nullptr));
    LPCWSTR names[] = {u"Anything", u"Else"};
    DISPID ids[2] = {5, 5};
    EXPECT_EQ(DISP_E_UNKNOWNNAME, info->GetIDsOfNames(names, 2, ids));
    EXPECT_EQ(-1, ids[0]);
    EXPECT_EQ(-1, ids[1]);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              info->Invoke(nullptr, 1, 0, nullptr, nullptr, nullptr, nullptr));
    info->Release();
}

TEST(TypeLib, RegistersAndUnregistersMachineWide) {
    quarn_test::TempRegistry registry;
    TestModule module;
    const std::u16string path = module.path();
    ITypeLib* lib = nullptr;
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(kLibid, 1, 0, 0, &lib));
    ASSERT_EQ(S_OK, LoadTypeLib(path.c_str(), &lib));
    ASSERT_EQ(S_OK, RegisterTypeLib(lib, path.c_str(), nullptr));
    lib->Release();
    EXPECT_EQ(registeredLines("HKLM\\Software\\Classes", quarn_platform::toUtf8(path)),
              registrySnapshot());

    // Found by any locale, and by any minor version up to the registered one.
    for (LCID lcid : {LCID{0}, LCID{0x409}, LCID{0x407}}) {
        ASSERT_EQ(S_OK, LoadRegTypeLib(kLibid, 1, 9, lcid, &lib)) << lcid;
        lib->Release();
    }
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(kLibid, 1, 0xB, 0, &lib));
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(kLibid, 2, 0, 0, &lib));

    // An interface entry that another library has taken over since is left alone.
    const std::u16string plain = u"Interface\\{22222222-2222-3333-4444-555555555555}\\TypeLib";
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CLASSES_ROOT, plain, nullptr, u"{Other}"));
    ASSERT_EQ(S_OK, UnRegisterTypeLib(kLibid, 1, 0xA, 0x409, SYS_WIN64));
    EXPECT_EQ((Lines{"HKLM", "HKLM\\Software", "HKLM\\Software\\Classes",
                     "HKLM\\Software\\Classes\\Interface",
                     "HKLM\\Software\\Classes\\Interface\\{22222222-2222-3333-4444-555555555555}",
                     "HKLM\\Software\\Classes\\Interface\\{22222222-2222-3333-4444-555555555555}"
                     "\\TypeLib",
                     "HKLM\\Software\\Classes\\Interface\\{22222222-2222-3333-4444-555555555555}"
                     "\\TypeLib|@=REG_SZ:{Other}",
                     "HKLM\\Software\\Classes\\TypeLib"}),
              registrySnapshot());
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, UnRegisterTypeLib(kLibid, 1, 0xA, 0x409, SYS_WIN64));
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(kLibid, 1, 0, 0, &lib));
}

TEST(TypeLib, PerUserRegistrationIsFoundFirst) {
    quarn_test::TempRegistry registry;
    TestModule module;
    const std::u16string path = module.path();
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLib(path.c_str(), &lib));
    ASSERT_EQ(S_OK, RegisterTypeLibForUser(lib, path.c_str(), u"/help"));
    Lines expected = registeredLines("HKCU\\Software\\Classes", quarn_platform::toUtf8(path));
    for (auto& line : expected)
        if (line.find("HELPDIR|@=") != std::string::npos)
            line = line.substr(0, line.find("REG_SZ:") + 7) + "/help";
    EXPECT_EQ(expected, registrySnapshot());

    // A machine-wide registration of the same library with a path that is no module: the
    // per-user entry is the one looked up, and it loads.
    ASSERT_EQ(S_OK, RegisterTypeLib(lib, u"/elsewhere/none.so", nullptr));
    lib->Release();
    ASSERT_EQ(S_OK, LoadRegTypeLib(kLibid, 1, 0, 0, &lib));
    lib->Release();
    ASSERT_EQ(S_OK, UnRegisterTypeLibForUser(kLibid, 1, 0xA, 0x409, SYS_WIN64));
    EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, LoadRegTypeLib(kLibid, 1, 0, 0, &lib));

    // The machine-wide entries name a module that cannot be loaded: its interface entries are
    // still found and removed.
    ASSERT_EQ(S_OK, UnRegisterTypeLib(kLibid, 1, 0xA, 0x409, SYS_WIN64));
    EXPECT_EQ((Lines{"HKCU", "HKCU\\Software", "HKCU\\Software\\Classes",
                     "HKCU\\Software\\Classes\\Interface", "HKCU\\Software\\Classes\\TypeLib",
                     "HKLM", "HKLM\\Software", "HKLM\\Software\\Classes",
                     "HKLM\\Software\\Classes\\Interface", "HKLM\\Software\\Classes\\TypeLib"}),
              registrySnapshot());
}

} // namespace
