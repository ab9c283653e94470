// The registry: values and keys through the Win32 calls, the file they live in, and the merged
// classes view.

#include "TempRegistry.h"
#include "WideString.h"
#include "WinReg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using quarn_platform::registrySnapshot;

HKEY create(HKEY root, const std::u16string& path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(0, RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                 disposition));
    return key;
}

LONG setString(HKEY key, LPCWSTR name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * 2));
}

std::u16string getString(HKEY root, const std::u16string& path, LPCWSTR name) {
    std::u16string text;
    LONG rc = quarn_platform::readStringValue(root, path, name, &text);
    return rc == 0 ? text : u"<error " + quarn_platform::toUtf16(std::to_string(rc)) + u">";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(Registry, ValuesRoundTripWithCaseInsensitiveNames) {
    quarn_test::TempRegistry registry;
    DWORD disposition = 0;
    HKEY key = create(HKEY_LOCAL_MACHINE, u"Software\\Quarn\\Deep", &disposition);
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    RegCloseKey(create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\quarn\\deep\\", &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);

    ASSERT_EQ(0, setString(key, u"Name", u"first"));
    ASSERT_EQ(0, setString(key, u"NAME", u"second")); // same value, case preserved
    ASSERT_EQ(0, setString(key, nullptr, u"default"));
    const DWORD number = 0xDEADBEEF;
    ASSERT_EQ(
        0, RegSetValueExW(key, u"Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4));
    const BYTE blob[] = {0, 1, 0xFF};
    ASSERT_EQ(0, RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob, 3));
    ASSERT_EQ(0, RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0));
    RegCloseKey(key);

    EXPECT_EQ(u"second", getString(HKEY_LOCAL_MACHINE, u"software\\QUARN\\deep", u"name"));
    EXPECT_EQ(u"default", getString(HKEY_LOCAL_MACHINE, u"Software\\Quarn\\Deep", u""));
    EXPECT_EQ((std::vector<std::string>{
                  "HKLM",
                  "HKLM\\Software",
                  "HKLM\\Software\\Quarn",
                  "HKLM\\Software\\Quarn\\Deep",
                  "HKLM\\Software\\Quarn\\Deep|@=REG_SZ:default",
                  "HKLM\\Software\\Quarn\\Deep|Blob=REG_BINARY:0001ff",
                  "HKLM\\Software\\Quarn\\Deep|Count=REG_DWORD:3735928559",
                  "HKLM\\Software\\Quarn\\Deep|Empty=REG_BINARY:",
                  "HKLM\\Software\\Quarn\\Deep|Name=REG_SZ:second",
              }),
              registrySnapshot());
}

TEST(Registry, QuerySizesFollowWin32) {
    quarn_test::TempRegistry registry;
    HKEY key = create(HKEY_CURRENT_USER, u"Sizes");
    ASSERT_EQ(0, setString(key, u"Text", u"abcdef")); // 14 bytes with the terminator

    DWORD type = 0, size = 0;
    EXPECT_EQ(0, RegQueryValueExW(key, u"Text", nullptr, &type, nullptr, &size));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(14u, size);

    BYTE small[4] = {9, 9, 9, 9};
    size = sizeof small;
    EXPECT_EQ(LONG(ERROR_MORE_DATA), RegQueryValueExW(key, u"Text", nullptr, &type, small, &size));
    EXPECT_EQ(14u, size);

    WCHAR text[7];
    size = sizeof text;
    EXPECT_EQ(
        0, RegQueryValueExW(key, u"Text", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size));
    EXPECT_EQ(std::u16string(u"abcdef"), text);
    EXPECT_EQ(LONG(ERROR_INVALID_PARAMETER),
              RegQueryValueExW(key, u"Text", nullptr, nullptr, small, nullptr));
    EXPECT_EQ(LONG(ERROR_FILE_NOT_FOUND),
              RegQueryValueExW(key, u"Missing", nullptr, nullptr, nullptr, &size));
    RegCloseKey(key);
}

TEST(Registry, DeleteRulesAndHandles) {
    quarn_test::TempRegistry registry;
    HKEY parent = create(HKEY_LOCAL_MACHINE, u"P");
    RegCloseKey(create(parent, u"Child\\Grandchild"));
    ASSERT_EQ(0, setString(parent, u"V", u"x"));

    EXPECT_EQ(LONG(ERROR_ACCESS_DENIED), RegDeleteKeyW(parent, u"Child"));
    EXPECT_EQ(0, RegDeleteKeyW(parent, u"Child\\Grandchild"));
    EXPECT_EQ(LONG(ERROR_FILE_NOT_FOUND), RegDeleteKeyW(parent, u"Child\\Grandchild"));
    EXPECT_EQ(0, RegDeleteKeyW(parent, u"child"));

    EXPECT_EQ(0, RegDeleteValueW(parent, u"v"));
    EXPECT_EQ(LONG(ERROR_FILE_NOT_FOUND), RegDeleteValueW(parent, u"v"));

    RegCloseKey(create(parent, u"A\\B\\C"));
    ASSERT_EQ(0, setString(parent, u"Kept", u"y"));
    EXPECT_EQ(0, RegDeleteTreeW(parent, u"A"));
    EXPECT_FALSE(quarn_platform::keyExists(parent, u"A"));
    RegCloseKey(create(parent, u"A\\B"));
    EXPECT_EQ(0, RegDeleteTreeW(parent, nullptr)); // empties the key itself
    EXPECT_EQ((std::vector<std::string>{"HKLM", "HKLM\\P"}), registrySnapshot());

    // A handle whose key went away reports it; roots cannot be deleted.
    HKEY gone = create(HKEY_LOCAL_MACHINE, u"Gone");
    ASSERT_EQ(0, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Gone"));
    EXPECT_EQ(LONG(ERROR_KEY_DELETED), setString(gone, u"x", u"y"));
    EXPECT_EQ(LONG(ERROR_ACCESS_DENIED), RegDeleteTreeW(HKEY_LOCAL_MACHINE, nullptr));
    EXPECT_EQ(0, RegCloseKey(gone));
    EXPECT_EQ(LONG(ERROR_INVALID_HANDLE), RegCloseKey(gone));
    EXPECT_EQ(LONG(ERROR_INVALID_HANDLE), setString(gone, u"x", u"y"));
    HKEY none = nullptr;
    EXPECT_EQ(LONG(ERROR_FILE_NOT_FOUND), RegOpenKeyExW(parent, u"Nothing", 0, KEY_READ, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(LONG(ERROR_INVALID_PARAMETER), RegOpenKeyExW(parent, u"a\\\\b", 0, KEY_READ, &none));
    RegCloseKey(parent);
}

TEST(Registry, Enumeration) {
    quarn_test::TempRegistry registry;
    HKEY key = create(HKEY_USERS, u"E");
    for (const char16_t* name : {u"beta", u"Alpha", u"gamma"})
        RegCloseKey(create(key, name));
    ASSERT_EQ(0, setString(key, u"Second", u"2"));
    ASSERT_EQ(0, setString(key, nullptr, u"d"));

    std::vector<std::u16string> names;
    WCHAR name[16];
    DWORD chars = 16;
    for (DWORD i = 0; (chars = 16, RegEnumKeyExW(key, i, name, &chars)) == 0; ++i)
        names.emplace_back(name, chars);
    EXPECT_EQ((std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}), names);
    chars = 16;
    EXPECT_EQ(LONG(ERROR_NO_MORE_ITEMS), RegEnumKeyExW(key, 3, name, &chars));
    chars = 3; // "Alpha" needs 6 with its terminator
    EXPECT_EQ(LONG(ERROR_MORE_DATA), RegEnumKeyExW(key, 0, name, &chars));
    EXPECT_EQ(5u, chars);

    DWORD type = 0, size = 0;
    chars = 16;
    ASSERT_EQ(0, RegEnumValueW(key, 0, name, &chars, &type, nullptr, &size));
    EXPECT_EQ(std::u16string(u"Second"), name);
    EXPECT_EQ(4u, size);
    chars = 16;
    BYTE data[2];
    size = sizeof data;
    EXPECT_EQ(LONG(ERROR_MORE_DATA), RegEnumValueW(key, 1, name, &chars, &type, data, &size));
    EXPECT_EQ(4u, size);
    chars = 16;
    EXPECT_EQ(LONG(ERROR_NO_MORE_ITEMS),
              RegEnumValueW(key, 2, name, &chars, &type, nullptr, &size));
    RegCloseKey(key);
}

TEST(RegistryFile, AwkwardNamesAndDataSurviveAReload) {
    quarn_test::TempRegistry registry;
    const std::u16string lone(1, char16_t(0xD800));
    const std::vector<std::u16string> names = {
        u"line\nbreak", u"100% \"quoted\"", u"back\\slash", u"Ünïcode 😀", u"lone" + lone,
        u"[bracket]",   u"=equals=",        u"@",           u"tab\there"};
    HKEY key = create(HKEY_LOCAL_MACHINE, u"Odd [key] %41 \"q\" Ü 😀" + lone);
    for (const auto& name : names)
        ASSERT_EQ(0, setString(key, name.c_str(), u"value of " + name));
    // Data that is not a well-formed string keeps every byte.
    const BYTE oddString[] = {'a', 0, 0, 0, 'b', 0, 1};
    ASSERT_EQ(0, RegSetValueExW(key, u"OddString", 0, REG_SZ, oddString, sizeof oddString));
    const BYTE shortDword[] = {1, 2};
    ASSERT_EQ(0, RegSetValueExW(key, u"ShortDword", 0, REG_DWORD, shortDword, 2));
    ASSERT_EQ(0, RegSetValueExW(key, u"Custom", 0, 77, shortDword, 2));
    RegCloseKey(key);

    const std::string text = readFile(registry.path());
    EXPECT_NE(std::string::npos, text.find("[HKLM\\Odd [key] %0025"));
    EXPECT_NE(std::string::npos, text.find("\"Ünïcode 😀\"=sz:\"value of Ünïcode 😀\""));

    // Another file with the same text is the same registry.
    const auto before = registrySnapshot();
    quarn_test::TempRegistry copy;
    writeFile(copy.path(), text);
    EXPECT_EQ(before, registrySnapshot());
    ASSERT_EQ(0, RegOpenKeyExW(HKEY_LOCAL_MACHINE, (u"odd [KEY] %41 \"q\" Ü 😀" + lone).c_str(), 0,
                               KEY_READ, &key));
    for (const auto& name : names) {
        WCHAR value[64] = {};
        DWORD size = sizeof value, type = 0;
        ASSERT_EQ(0, RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                      reinterpret_cast<BYTE*>(value), &size));
        EXPECT_EQ(u"value of " + name, value);
    }
    BYTE data[16];
    DWORD size = sizeof data, type = 0;
    ASSERT_EQ(0, RegQueryValueExW(key, u"OddString", nullptr, &type, data, &size));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(std::vector<BYTE>(oddString, oddString + sizeof oddString),
              std::vector<BYTE>(data, data + size));
    size = sizeof data;
    ASSERT_EQ(0, RegQueryValueExW(key, u"Custom", nullptr, &type, data, &size));
    EXPECT_EQ(77u, type);
    EXPECT_EQ(2u, size);
    RegCloseKey(key);
    // The text is canonical: rewriting an unchanged registry gives the same file.
    ASSERT_EQ(0, quarn_platform::writeStringValue(
                     HKEY_LOCAL_MACHINE, u"Odd [key] %41 \"q\" Ü 😀" + lone, u"@", u"value of @"));
    EXPECT_EQ(text, readFile(copy.path()));
}

TEST(RegistryFile, DamagedFileIsReadAsFarAsPossibleAndNeverOverwritten) {
    quarn_test::TempRegistry registry;
    const std::string damaged = "[HKLM\\Good]\n"
                                "@=sz:\"kept\"\n"
                                "\"Bad\"=dword:xyz\n"
                                "orphan line\n"
                                "[HKXX\\Nowhere]\n"
                                "\"n\"=sz:\"unreachable\"\n"
                                "[HKLM\\Also%zz]\n"
                                "\"Unterminated=sz:\"x\"\n"
                                "[HKCU\\Fine]\n"
                                "\"x\"=hex:01,0\n"
                                "\"y\"=hex(99999999999):00\n"
                                "\"z\"=expand:\"%0041%\"\n";
    writeFile(registry.path(), damaged);
    EXPECT_EQ(u"kept", getString(HKEY_LOCAL_MACHINE, u"Good", nullptr));
    EXPECT_EQ((std::vector<std::string>{"HKCU", "HKCU\\Fine", "HKLM", "HKLM\\Good",
                                        "HKLM\\Good|@=REG_SZ:kept"}),
              registrySnapshot());

    HKEY key = nullptr;
    EXPECT_EQ(LONG(ERROR_BADDB), RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"New", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(LONG(ERROR_BADDB),
              quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE, u"Good", nullptr, u"changed"));
    EXPECT_EQ(damaged, readFile(registry.path()));

    // Bytes that are not text at all.
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 7919) % 256);
    writeFile(registry.path(), junk);
    registrySnapshot();
    EXPECT_EQ(LONG(ERROR_FILE_NOT_FOUND),
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Good", 0, KEY_READ, &key));
}

TEST(RegistryFile, ProcessesShareTheFileWithoutLosingChanges) {
    quarn_test::TempRegistry registry;
    RegCloseKey(create(HKEY_LOCAL_MACHINE, u"Shared"));
    constexpr int perProcess = 40;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    const char* who = child == 0 ? "child" : "parent";
    for (int i = 0; i < perProcess; ++i) {
        std::u16string name = quarn_platform::toUtf16(who + std::to_string(i));
        if (quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE, u"Shared", name.c_str(), u"x") &&
            child == 0)
            _exit(1);
    }
    if (child == 0) _exit(0);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ(std::size_t(2 + 2 * perProcess), registrySnapshot().size());
}

TEST(ClassesView, ReadsPerUserFirstAndWritesWhereTheKeyLives) {
    quarn_test::TempRegistry registry;
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Both",
                                                  nullptr, u"machine"));
    ASSERT_EQ(0, quarn_platform::writeStringValue(
                     HKEY_LOCAL_MACHINE, u"Software\\Classes\\MachineOnly", nullptr, u"machine"));
    EXPECT_EQ(u"machine", getString(HKEY_CLASSES_ROOT, u"Both", nullptr));
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CURRENT_USER, u"Software\\Classes\\Both",
                                                  nullptr, u"user"));
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly",
                                                  nullptr, u"user"));
    EXPECT_EQ(u"user", getString(HKEY_CLASSES_ROOT, u"both", nullptr));

    // Values go to the key that exists, per-user first; new keys are machine-wide.
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CLASSES_ROOT, u"Both", u"v", u"1"));
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CLASSES_ROOT, u"UserOnly", u"v", u"2"));
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CLASSES_ROOT, u"New", u"v", u"3"));
    EXPECT_EQ(u"1", getString(HKEY_CURRENT_USER, u"Software\\Classes\\Both", u"v"));
    EXPECT_EQ(u"2", getString(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly", u"v"));
    EXPECT_EQ(u"3", getString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\New", u"v"));

    // Enumeration lists both trees once.
    std::vector<std::u16string> names;
    WCHAR name[32];
    DWORD chars = 32;
    for (DWORD i = 0; (chars = 32, RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &chars)) == 0; ++i)
        names.emplace_back(name, chars);
    EXPECT_EQ((std::vector<std::u16string>{u"Both", u"MachineOnly", u"New", u"UserOnly"}), names);

    // Deleting through the view removes the per-user key and uncovers the machine-wide one.
    ASSERT_EQ(0, RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Both"));
    EXPECT_EQ(u"machine", getString(HKEY_CLASSES_ROOT, u"Both", nullptr));
}

TEST(ClassesView, OverridingThePredefinedKey) {
    quarn_test::TempRegistry registry;
    HKEY userClasses = nullptr;
    ASSERT_EQ(0, quarn_platform::openClassesKey(true, true, &userClasses));
    ASSERT_EQ(0, RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses));
    RegCloseKey(userClasses); // the override keeps its own reference
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CLASSES_ROOT, u"Redirected", nullptr, u"u"));
    ASSERT_EQ(0, RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr));
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CLASSES_ROOT, u"Restored", nullptr, u"m"));
    EXPECT_EQ(u"u", getString(HKEY_CURRENT_USER, u"Software\\Classes\\Redirected", nullptr));
    EXPECT_EQ(u"m", getString(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Restored", nullptr));
    EXPECT_EQ(LONG(ERROR_INVALID_HANDLE), RegOverridePredefKey(userClasses, nullptr));
}

} // namespace
