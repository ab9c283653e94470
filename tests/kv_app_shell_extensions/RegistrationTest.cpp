// The module's registration: the exact registry entries it writes machine-wide and per user,
// what unregistration leaves, and the module's lifetime rules.

#include "AtlRegistrar.h"
#include "CQuarnShellExtensionVistaModule.h"
#include "QuarnShellExtensionVista.h"
#include "TempRegistry.h"
#include "WideString.h"
#include "WinReg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

extern "C" {
HRESULT DllGetClassObject(REFCLSID, REFIID, void**);
HRESULT DllCanUnloadNow();
HRESULT DllRegisterServer();
HRESULT DllUnregisterServer();
HRESULT DllInstall(BOOL, LPCWSTR);
}

namespace {

const std::string kClsid = "{73A656D0-53D4-4D78-B9AA-92C4A64F4122}";
const std::string kLibid = "{D2A19838-BF2A-4FB6-9EDD-9691888D5ACB}";
const std::string kAppid = "{FAFED212-3771-4843-A308-AF685D268722}";
const std::string kIid = "{7042A14D-2E24-49BB-AB4F-F676D63C80F9}";
const std::string kPropertySystem = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Registry names are case-insensitive: compare snapshots folded.
std::set<std::string> snapshot() {
    std::set<std::string> lines;
    for (const auto& line : quarn_platform::registrySnapshot())
        if (line.find_first_of("\\|") != std::string::npos) lines.insert(upper(line)); // not roots
    return lines;
}

std::string modulePath() {
    WCHAR path[MAX_PATH];
    EXPECT_GT(GetModuleFileNameW(quarnModule().instance(), path, MAX_PATH), 0u);
    return quarn_platform::toUtf8(path);
}

// Expected lines for a key: the key itself, its parents and its values.
class Expected {
public:
    void key(const std::string& path) {
        // Every ancestor below the root is a key of its own.
        for (std::size_t at = path.find('\\', path.find('\\') + 1); at != std::string::npos;
             at = path.find('\\', at + 1))
            lines_.insert(upper(path.substr(0, at)));
        lines_.insert(upper(path));
    }
    void value(const std::string& path, const std::string& name, const std::string& text) {
        key(path);
        lines_.insert(upper(path + "|" + name + "=REG_SZ:" + text));
    }
    const std::set<std::string>& lines() const { return lines_; }

private:
    std::set<std::string> lines_;
};

Expected registrationEntries(const std::string& classes) {
    const std::string module = modulePath();
    const std::string folder = module.substr(0, module.find_last_of('/'));
    Expected e;
    // The AppID script.
    e.value(classes + "\\AppID\\" + kAppid, "@", "QuarnShellExtensionVista");
    e.value(classes + "\\AppID\\QuarnShellExtensionVista.DLL", "AppID", kAppid);
    // The class script.
    const std::string progId = "QuarnShellExtensionVista.QuarnPropert.1";
    const std::string independent = "QuarnShellExtensionVista.QuarnPropertyS";
    e.value(classes + "\\" + progId, "@", "QuarnPropertyStore Class");
    e.value(classes + "\\" + progId + "\\CLSID", "@", kClsid);
    e.value(classes + "\\" + independent, "@", "QuarnPropertyStore Class");
    e.value(classes + "\\" + independent + "\\CLSID", "@", kClsid);
    e.value(classes + "\\" + independent + "\\CurVer", "@", progId);
    const std::string cls = classes + "\\CLSID\\" + kClsid;
    e.value(cls, "@", "QuarnPropertyStore Class");
    e.value(cls + "\\ProgID", "@", progId);
    e.value(cls + "\\VersionIndependentProgID", "@", independent);
    e.key(cls + "\\Programmable");
    e.value(cls + "\\InprocServer32", "@", module);
    e.value(cls + "\\InprocServer32", "ThreadingModel", "Apartment");
    e.value(cls + "\\TypeLib", "@", kLibid);
    const std::string handlers = kPropertySystem + "\\PropertySystem\\PropertyHandlers";
    for (const char* extension : {".qrn", ".qg2", ".qg3", ".qg4"})
        e.value(handlers + "\\" + extension, "@", kClsid);
    e.value(kPropertySystem + "\\Shell Extensions\\Approved", kClsid,
            "Quarn Version Property Extension");
    // The type library and its dual interface.
    const std::string lib = classes + "\\TypeLib\\" + kLibid + "\\1.0";
    e.value(lib, "@", "QuarnShellExtensionVista 1.0 Type Library");
    e.value(lib + "\\FLAGS", "@", "0");
    e.value(lib + "\\409\\win64", "@", module);
    e.value(lib + "\\HELPDIR", "@", folder);
    const std::string itf = classes + "\\Interface\\" + kIid;
    e.value(itf, "@", "IQuarnPropertyStore");
    e.value(itf + "\\ProxyStubClsid", "@", "{00020424-0000-0000-C000-000000000046}");
    e.value(itf + "\\TypeLib", "@", kLibid);
    e.value(itf + "\\TypeLib", "Version", "1.0");
    // The merged proxy/stub: its class is the interface's own identifier.
    e.value(itf + "\\ProxyStubClsid32", "@", kIid);
    e.value(itf + "\\NumMethods", "@", "7");
    e.value(classes + "\\CLSID\\" + kIid, "@", "PSFactoryBuffer");
    e.value(classes + "\\CLSID\\" + kIid + "\\InprocServer32", "@", module);
    e.value(classes + "\\CLSID\\" + kIid + "\\InprocServer32", "ThreadingModel", "Both");
    return e;
}

// What unregistration must leave: the parents the scripts never remove, and the roots of the
// type-library and interface entries.
Expected keptParents(const std::string& classes) {
    Expected e;
    e.key(classes + "\\AppID");
    e.key(classes + "\\CLSID");
    e.key(classes + "\\TypeLib");
    e.key(classes + "\\Interface");
    e.key(kPropertySystem + "\\PropertySystem\\PropertyHandlers");
    e.key(kPropertySystem + "\\Shell Extensions\\Approved");
    return e;
}

void expectSameLines(const std::set<std::string>& expected, const std::set<std::string>& actual) {
    for (const auto& line : expected)
        EXPECT_TRUE(actual.count(line)) << "missing: " << line;
    for (const auto& line : actual)
        EXPECT_TRUE(expected.count(line)) << "unexpected: " << line;
}

TEST(Registration, MachineWideWritesExactlyTheScriptsAndTypeLibrary) {
    quarn_test::TempRegistry registry;
    ASSERT_EQ(S_OK, DllRegisterServer());
    expectSameLines(registrationEntries("HKLM\\Software\\Classes").lines(), snapshot());

    ASSERT_EQ(S_OK, DllUnregisterServer());
    expectSameLines(keptParents("HKLM\\Software\\Classes").lines(), snapshot());
}

TEST(Registration, RegisteringTwiceChangesNothing) {
    quarn_test::TempRegistry registry;
    ASSERT_EQ(S_OK, DllRegisterServer());
    auto first = snapshot();
    ASSERT_EQ(S_OK, DllRegisterServer());
    EXPECT_EQ(first, snapshot());
}

TEST(Registration, InstallForTheUserWritesTheUsersClasses) {
    quarn_test::TempRegistry registry;
    ASSERT_EQ(S_OK, DllInstall(TRUE, u"uSeR"));
    expectSameLines(registrationEntries("HKCU\\Software\\Classes").lines(), snapshot());
    // Per-user registration stays on for later calls.
    ASSERT_EQ(S_OK, DllUnregisterServer());
    expectSameLines(keptParents("HKCU\\Software\\Classes").lines(), snapshot());
    AtlSetPerUserRegistration(false);
}

TEST(Registration, InstallWithOtherCommandLinesIsMachineWide) {
    quarn_test::TempRegistry registry;
    ASSERT_EQ(S_OK, DllInstall(TRUE, u"USERS"));
    expectSameLines(registrationEntries("HKLM\\Software\\Classes").lines(), snapshot());
    ASSERT_EQ(S_OK, DllInstall(FALSE, nullptr));
    expectSameLines(keptParents("HKLM\\Software\\Classes").lines(), snapshot());
    bool perUser = true;
    ASSERT_EQ(S_OK, AtlGetPerUserRegistration(&perUser));
    EXPECT_FALSE(perUser);
}

TEST(Registration, UnregistrationKeepsForeignEntries) {
    quarn_test::TempRegistry registry;
    // Another handler's entries under the same parents survive our removal.
    HKEY key = nullptr;
    const std::u16string other =
        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\.txt";
    ASSERT_EQ(0, RegCreateKeyExW(HKEY_LOCAL_MACHINE, other.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &key, nullptr));
    RegCloseKey(key);
    ASSERT_EQ(S_OK, DllRegisterServer());
    ASSERT_EQ(S_OK, DllUnregisterServer());
    EXPECT_TRUE(quarn_platform::keyExists(HKEY_LOCAL_MACHINE, other));
    EXPECT_FALSE(
        quarn_platform::keyExists(HKEY_CLASSES_ROOT, u"CLSID\\" + quarn_platform::toUtf16(kClsid)));
}

TEST(Module, DispatchTypeInformationComesFromTheRegisteredLibrary) {
    quarn_test::TempRegistry registry;
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_QuarnPropertyStore, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factory)));
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    factory->Release();
    ITypeInfo* info = nullptr;
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, dispatch->GetTypeInfo(0, 0, &info));

    ASSERT_EQ(S_OK, DllRegisterServer());
    ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, &info));
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(S_OK, info->GetDocumentation(-1, &name, &doc));
    EXPECT_EQ(std::u16string(u"IQuarnPropertyStore"), name);
    EXPECT_EQ(std::u16string(u"IQuarnPropertyStore Interface"), doc);
    SysFreeString(name);
    SysFreeString(doc);
    info->Release();
    // The interface has no members of its own.
    LPCWSTR names[] = {u"Anything"};
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(GUID_NULL, names, 1, 0, &id));
    dispatch->Release();
}

TEST(Module, CanUnloadOnlyWithoutObjectsAndLocks) {
    EXPECT_EQ(S_OK, DllCanUnloadNow());
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_QuarnPropertyStore, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factory)));
    IUnknown* object = nullptr;
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    object->Release();
    EXPECT_EQ(S_OK, DllCanUnloadNow());

    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, DllCanUnloadNow());
    factory->Release();

    void* none = nullptr;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(GUID_NULL, IID_IClassFactory, &none));
    EXPECT_EQ(nullptr, none);
}

// A minimal outer object that aggregates the handler.
class Outer final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown) {
            *object = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(riid, object);
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    IUnknown* inner = nullptr;
    ULONG refs = 1;
};

TEST(Module, AggregationOnlyThroughIUnknown) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_QuarnPropertyStore, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factory)));
    Outer outer;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IPropertyStore, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));

    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown,
                                            reinterpret_cast<void**>(&outer.inner)));
    // Interfaces of the inner object count their references on the outer one.
    IPropertyStore* store = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store)));
    EXPECT_EQ(2u, outer.refs);
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, store->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);
    identity->Release();
    store->Release();
    EXPECT_EQ(1u, outer.refs);
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    outer.inner->Release();
    EXPECT_EQ(S_OK, DllCanUnloadNow());
    factory->Release();
}

} // namespace
