// The registrar: what a script writes and removes, and the scripts it refuses.

#include "AtlRegistrar.h"
#include "TempRegistry.h"
#include "WideString.h"
#include "WinReg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using quarn_platform::registrySnapshot;
using Lines = std::vector<std::string>;

const char16_t* const kScript = uR"(
HKCR
{
    NoRemove CLSID
    {
        ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Thing Class'
        {
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Apartment'
            }
            'It''s quoted' = s '100%% sure'
        }
    }
    Thing.1 = s 'Thing'
    {
        CLSID = s '{11111111-2222-3333-4444-555555555555}'
    }
}
HKEY_LOCAL_MACHINE
{
    NoRemove Software
    {
        NoRemove Approved
        {
            val Thing = s 'approved'
        }
        Counter = d '0x2A'
        {
            val Negative = d '-1'
        }
    }
}
)";

const Lines kRegistered = {
    "HKLM",
    "HKLM\\Software",
    "HKLM\\Software\\Approved",
    "HKLM\\Software\\Approved|Thing=REG_SZ:approved",
    "HKLM\\Software\\Classes",
    "HKLM\\Software\\Classes\\CLSID",
    "HKLM\\Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}",
    "HKLM\\Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32",
    "HKLM\\Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32|@="
    "REG_SZ:/opt/it's/thing.so",
    "HKLM\\Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32|"
    "ThreadingModel=REG_SZ:Apartment",
    "HKLM\\Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}\\It's quoted",
    "HKLM\\Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}\\It's quoted|@="
    "REG_SZ:100% sure",
    "HKLM\\Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}|@=REG_SZ:Thing Class",
    "HKLM\\Software\\Classes\\Thing.1",
    "HKLM\\Software\\Classes\\Thing.1\\CLSID",
    "HKLM\\Software\\Classes\\Thing.1\\CLSID|@=REG_SZ:{11111111-2222-3333-4444-555555555555}",
    "HKLM\\Software\\Classes\\Thing.1|@=REG_SZ:Thing",
    "HKLM\\Software\\Counter",
    "HKLM\\Software\\Counter|@=REG_DWORD:42",
    "HKLM\\Software\\Counter|Negative=REG_DWORD:4294967295",
};

CRegObject registrar() {
    CRegObject r;
    EXPECT_EQ(S_OK, r.AddReplacement(u"Module", u"/opt/it's/thing.so"));
    return r;
}

TEST(Registrar, RegistersAndUnregistersAScript) {
    quarn_test::TempRegistry registry;
    // Things the script does not own: a sibling under CLSID, a stale subkey of the ForceRemove
    // key, and a foreign value and subkey under keys the script creates.
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CLASSES_ROOT, u"CLSID\\{Other}", nullptr,
                                                  u"other"));
    ASSERT_EQ(0, quarn_platform::writeStringValue(
                     HKEY_CLASSES_ROOT, u"CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale",
                     nullptr, u"old"));
    CRegObject r = registrar();
    ASSERT_EQ(S_OK, r.StringRegister(kScript));
    Lines expected = kRegistered;
    expected.push_back("HKLM\\Software\\Classes\\CLSID\\{Other}");
    expected.push_back("HKLM\\Software\\Classes\\CLSID\\{Other}|@=REG_SZ:other");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, registrySnapshot());

    // Registering again changes nothing.
    ASSERT_EQ(S_OK, r.StringRegister(kScript));
    EXPECT_EQ(expected, registrySnapshot());

    ASSERT_EQ(
        0, quarn_platform::writeStringValue(HKEY_CLASSES_ROOT, u"Thing.1\\Foreign", nullptr, u"f"));
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE, u"Software\\Counter",
                                                  u"Foreign", u"f"));
    ASSERT_EQ(S_OK, r.StringUnregister(kScript));
    // NoRemove keys stay without their named values; a key with a foreign subkey stays (its
    // own subkeys gone); a key with only foreign values goes.
    EXPECT_EQ((Lines{
                  "HKLM",
                  "HKLM\\Software",
                  "HKLM\\Software\\Approved",
                  "HKLM\\Software\\Classes",
                  "HKLM\\Software\\Classes\\CLSID",
                  "HKLM\\Software\\Classes\\CLSID\\{Other}",
                  "HKLM\\Software\\Classes\\CLSID\\{Other}|@=REG_SZ:other",
                  "HKLM\\Software\\Classes\\Thing.1",
                  "HKLM\\Software\\Classes\\Thing.1\\Foreign",
                  "HKLM\\Software\\Classes\\Thing.1\\Foreign|@=REG_SZ:f",
                  "HKLM\\Software\\Classes\\Thing.1|@=REG_SZ:Thing",
              }),
              registrySnapshot());
    // Unregistering what is not there succeeds.
    ASSERT_EQ(S_OK, r.StringUnregister(kScript));
}

TEST(Registrar, DeleteModifierRemovesOnRegistration) {
    quarn_test::TempRegistry registry;
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CURRENT_USER, u"Old\\Deep", nullptr, u"x"));
    CRegObject r;
    const char16_t* script = u"HKCU { Delete Old { Ignored = s 'y' } Absent = s 'z' }";
    ASSERT_EQ(S_OK, r.StringRegister(script));
    EXPECT_EQ((Lines{"HKCU", "HKCU\\Absent", "HKCU\\Absent|@=REG_SZ:z"}), registrySnapshot());
    ASSERT_EQ(S_OK, r.StringUnregister(script));
    EXPECT_EQ(Lines{}, registrySnapshot());
}

TEST(Registrar, PerUserRegistrationRedirectsClassesRoot) {
    quarn_test::TempRegistry registry;
    bool perUser = true;
    ASSERT_EQ(S_OK, AtlGetPerUserRegistration(&perUser));
    EXPECT_FALSE(perUser);
    AtlSetPerUserRegistration(true);
    CRegObject r = registrar();
    HRESULT registered = r.StringRegister(kScript);
    Lines afterRegister = registrySnapshot();
    HRESULT unregistered = r.StringUnregister(kScript);
    AtlSetPerUserRegistration(false);
    ASSERT_EQ(S_OK, registered);
    ASSERT_EQ(S_OK, unregistered);

    Lines expected;
    for (std::string line : kRegistered) {
        if (line.rfind("HKLM\\Software\\Classes", 0) == 0) line.replace(0, 4, "HKCU");
        expected.push_back(line);
    }
    expected.insert(expected.end(), {"HKCU", "HKCU\\Software"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, afterRegister);
    EXPECT_EQ((Lines{"HKCU", "HKCU\\Software", "HKCU\\Software\\Classes",
                     "HKCU\\Software\\Classes\\CLSID", "HKLM", "HKLM\\Software",
                     "HKLM\\Software\\Approved"}),
              registrySnapshot());
}

TEST(Registrar, RefusesBadScriptsWithoutWritingAnything) {
    quarn_test::TempRegistry registry;
    const char16_t* const bad[] = {
        u"HKXX { A = s 'x' }",                    // unknown root
        u"HKCU { A = s 'x' ",                     // unclosed block
        u"HKCU { A = s 'x }",                     // unterminated string
        u"HKCU { A = q 'x' }",                    // unknown type
        u"HKCU { A = s x }",                      // value not quoted
        u"HKCU { A = d '12z' }",                  // not a number
        u"HKCU { A = d '4294967296' }",           // beyond 32 bits
        u"HKCU { val V = s 'x' }",                // a root has no values
        u"HKCU { A { val = s 'x' } }",            // value without a name
        u"HKCU { '' = s 'x' }",                   // empty key name
        u"HKCU { A = s '%UNKNOWN%' }",            // unknown replacement
        u"HKCU { A = s '%MODULE' }",              // unterminated replacement
        u"HKCU { A } }",                          // stray brace
        u"HKCU { A = s 'ok' } HKCU { B = s 'x' ", // good first root, bad second
    };
    for (const char16_t* script : bad) {
        CRegObject r = registrar();
        HRESULT hr = r.StringRegister(script);
        EXPECT_TRUE(FAILED(hr)) << quarn_platform::toUtf8(script);
        EXPECT_EQ(Lines{}, registrySnapshot()) << quarn_platform::toUtf8(script);
        EXPECT_TRUE(FAILED(r.StringUnregister(script))) << quarn_platform::toUtf8(script);
    }
    std::u16string deep = u"HKCU ";
    for (int i = 0; i < 100; ++i)
        deep += u"{ K ";
    deep += std::u16string(100, u'}');
    EXPECT_EQ(DISP_E_EXCEPTION, registrar().StringRegister(deep.c_str()));
    EXPECT_EQ(E_INVALIDARG, registrar().StringRegister(nullptr));

    // Replacements can be cleared and are found whatever their case.
    CRegObject r = registrar();
    EXPECT_EQ(S_OK, r.StringRegister(u"HKCU { A = s '%module%' }"));
    EXPECT_EQ(S_OK, r.ClearReplacements());
    EXPECT_EQ(DISP_E_EXCEPTION, r.StringRegister(u"HKCU { B = s '%MODULE%' }"));
    EXPECT_EQ((Lines{"HKCU", "HKCU\\A", "HKCU\\A|@=REG_SZ:/opt/it's/thing.so"}),
              registrySnapshot());
}

TEST(Registrar, RegistrationStopsAtTheFirstFailure) {
    quarn_test::TempRegistry registry;
    // A damaged registry file refuses every change; the registrar reports the registry's error.
    {
        std::FILE* f = std::fopen(registry.path().c_str(), "w");
        ASSERT_NE(nullptr, f);
        std::fputs("not a registry\n", f);
        std::fclose(f);
    }
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BADDB), registrar().StringRegister(kScript));
}

} // namespace
