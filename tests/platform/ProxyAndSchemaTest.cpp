// The proxy/stub's class object and registry entries, and property-schema registration.

#include "AtlRegistrar.h"
#include "PropSys.h"
#include "RpcProxy.h"
#include "TempRegistry.h"
#include "WideString.h"
#include "WinModule.h"
#include "WinReg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using quarn_platform::registrySnapshot;
using Lines = std::vector<std::string>;

const IID kFirst = {0x7042A14D, 0x2E24, 0x49BB, {0xAB, 0x4F, 0xF6, 0x76, 0xD6, 0x3C, 0x80, 0xF9}};
const IID kSecond = {0x00000001, 0x0002, 0x0003, {0, 4, 0, 0, 0, 0, 0, 5}};
const CLSID kFactory = {0xFACE0000, 0x0001, 0x0002, {0, 0, 0, 0, 0, 0, 0, 3}};
const IID* const kInterfaces[] = {&kFirst, &kSecond};
const LPCWSTR kNames[] = {u"IFirst", u"ISecond"};
const ULONG kMethodCounts[] = {7, 12};
const ProxyFileInfo kProxy = {kInterfaces, kNames, kMethodCounts, 2};
const ProxyFileInfo kOtherProxy = {kInterfaces, kNames, kMethodCounts, 1};

std::string thisModule() {
    WCHAR path[4096] = {};
    EXPECT_GT(GetModuleFileNameW(nullptr, path, 4096), 0u);
    return quarn_platform::toUtf8(path);
}

Lines proxyLines(const std::string& classes) {
    const std::string first = classes + "\\Interface\\{7042A14D-2E24-49BB-AB4F-F676D63C80F9}";
    const std::string second = classes + "\\Interface\\{00000001-0002-0003-0004-000000000005}";
    const std::string factory = classes + "\\CLSID\\{FACE0000-0001-0002-0000-000000000003}";
    const std::string root = classes.substr(0, 4);
    Lines lines = {
        root,
        root + "\\Software",
        classes,
        classes + "\\CLSID",
        factory,
        factory + "|@=REG_SZ:PSFactoryBuffer",
        factory + "\\InprocServer32",
        factory + "\\InprocServer32|@=REG_SZ:" + thisModule(),
        factory + "\\InprocServer32|ThreadingModel=REG_SZ:Both",
        classes + "\\Interface",
        first,
        first + "|@=REG_SZ:IFirst",
        first + "\\NumMethods",
        first + "\\NumMethods|@=REG_SZ:7",
        first + "\\ProxyStubClsid32",
        first + "\\ProxyStubClsid32|@=REG_SZ:{FACE0000-0001-0002-0000-000000000003}",
        second,
        second + "|@=REG_SZ:ISecond",
        second + "\\NumMethods",
        second + "\\NumMethods|@=REG_SZ:12",
        second + "\\ProxyStubClsid32",
        second + "\\ProxyStubClsid32|@=REG_SZ:{FACE0000-0001-0002-0000-000000000003}",
    };
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(Proxy, ClassObjectCountsAsLive) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              NdrDllGetClassObject(kFirst, IID_IUnknown, &object, &kProxy, &kFactory));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_NOINTERFACE,
              NdrDllGetClassObject(kFactory, IID_IClassFactory, &object, &kProxy, &kFactory));
    EXPECT_EQ(S_OK, NdrDllCanUnloadNow(&kProxy));

    ASSERT_EQ(S_OK, NdrDllGetClassObject(kFactory, IID_IUnknown, &object, &kProxy, &kFactory));
    auto* unknown = static_cast<IUnknown*>(object);
    EXPECT_EQ(S_FALSE, NdrDllCanUnloadNow(&kProxy));
    EXPECT_EQ(S_OK, NdrDllCanUnloadNow(&kOtherProxy));
    unknown->AddRef();
    unknown->Release();
    EXPECT_EQ(S_FALSE, NdrDllCanUnloadNow(&kProxy));
    unknown->Release();
    EXPECT_EQ(S_OK, NdrDllCanUnloadNow(&kProxy));
}

TEST(Proxy, RegistrationEntriesMachineWideAndPerUser) {
    quarn_test::TempRegistry registry;
    ASSERT_EQ(S_OK, NdrDllRegisterProxy(nullptr, &kProxy, &kFactory));
    EXPECT_EQ(proxyLines("HKLM\\Software\\Classes"), registrySnapshot());
    ASSERT_EQ(S_OK, NdrDllUnregisterProxy(nullptr, &kProxy, &kFactory));
    EXPECT_EQ((Lines{"HKLM", "HKLM\\Software", "HKLM\\Software\\Classes",
                     "HKLM\\Software\\Classes\\CLSID", "HKLM\\Software\\Classes\\Interface"}),
              registrySnapshot());

    AtlSetPerUserRegistration(true);
    HRESULT registered = NdrDllRegisterProxy(nullptr, &kProxy, &kFactory);
    Lines afterRegister = registrySnapshot();
    HRESULT unregistered = NdrDllUnregisterProxy(nullptr, &kProxy, &kFactory);
    AtlSetPerUserRegistration(false);
    ASSERT_EQ(S_OK, registered);
    ASSERT_EQ(S_OK, unregistered);
    Lines expected = proxyLines("HKCU\\Software\\Classes");
    expected.insert(expected.end(),
                    {"HKLM", "HKLM\\Software", "HKLM\\Software\\Classes",
                     "HKLM\\Software\\Classes\\CLSID", "HKLM\\Software\\Classes\\Interface"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, afterRegister);

    EXPECT_EQ(E_INVALIDARG, NdrDllRegisterProxy(nullptr, nullptr, &kFactory));
    EXPECT_EQ(E_INVALIDARG, NdrDllRegisterProxy(nullptr, &kProxy, nullptr));
}

// A file in a fresh folder, removed with the folder.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/quarn-schema-XXXXXX";
        path_ = ::mkdtemp(pattern) ? pattern : "/tmp";
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::u16string file(const std::string& name, bool create = true) const {
        std::string full = path_ + "/" + name;
        if (create)
            if (std::FILE* f = std::fopen(full.c_str(), "w")) std::fclose(f);
        return quarn_platform::toUtf16(full);
    }

private:
    std::string path_;
};

Lines schemaValues() {
    Lines values;
    const std::string key = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\"
                            "PropertySchema|";
    for (const auto& line : registrySnapshot())
        if (line.rfind(key, 0) == 0) values.push_back(line.substr(key.size()));
    return values;
}

TEST(PropertySchema, RegistersExistingFilesByExactPath) {
    quarn_test::TempRegistry registry;
    TempFolder folder;
    const std::u16string lower = folder.file("thing.propdesc");
    const std::u16string upper = folder.file("THING.propdesc");
    const std::string lowerText = quarn_platform::toUtf8(lower);
    const std::string upperText = quarn_platform::toUtf8(upper);

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              PSRegisterPropertySchema(folder.file("missing.propdesc", false).c_str()));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), PSUnregisterPropertySchema(lower.c_str()));
    EXPECT_EQ(E_INVALIDARG, PSRegisterPropertySchema(nullptr));

    ASSERT_EQ(S_OK, PSRegisterPropertySchema(lower.c_str()));
    ASSERT_EQ(S_OK, PSRegisterPropertySchema(lower.c_str())); // again: still one entry
    EXPECT_EQ(Lines{lowerText + "=REG_SZ:" + lowerText}, schemaValues());

    // Two paths differing only in letter case are two schemas.
    ASSERT_EQ(S_OK, PSRegisterPropertySchema(upper.c_str()));
    EXPECT_EQ((Lines{upperText + " (2)=REG_SZ:" + upperText, lowerText + "=REG_SZ:" + lowerText}),
              schemaValues());
    ASSERT_EQ(S_OK, PSUnregisterPropertySchema(lower.c_str()));
    EXPECT_EQ(Lines{upperText + " (2)=REG_SZ:" + upperText}, schemaValues());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), PSUnregisterPropertySchema(lower.c_str()));
    ASSERT_EQ(S_OK, PSUnregisterPropertySchema(upper.c_str()));
    EXPECT_EQ(Lines{}, schemaValues());

    // A folder is not a schema file.
    const std::u16string sub = folder.file("sub", false);
    ASSERT_EQ(0, ::mkdir(quarn_platform::toUtf8(sub).c_str(), 0700));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), PSRegisterPropertySchema(sub.c_str()));
}

} // namespace
