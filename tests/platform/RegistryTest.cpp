// The registry: values and keys through the Win32 calls, the database file they live in, its
// transactions, and the merged classes view.

#include "TempRegistry.h"
#include "WideString.h"
#include "WinReg.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
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
        u"[bracket]",   u"=equals=",        u"@",           u"tab\there", u"it's"};
    HKEY key = create(HKEY_LOCAL_MACHINE, u"Odd [key] %41 \"q\" 'Ü' 😀" + lone);
    for (const auto& name : names)
        ASSERT_EQ(0, setString(key, name.c_str(), u"value of " + name));
    // Data that is not a well-formed string keeps every byte.
    const BYTE oddString[] = {'a', 0, 0, 0, 'b', 0, 1};
    ASSERT_EQ(0, RegSetValueExW(key, u"OddString", 0, REG_SZ, oddString, sizeof oddString));
    const BYTE shortDword[] = {1, 2};
    ASSERT_EQ(0, RegSetValueExW(key, u"ShortDword", 0, REG_DWORD, shortDword, 2));
    ASSERT_EQ(0, RegSetValueExW(key, u"Custom", 0, 77, shortDword, 2));
    RegCloseKey(key);

    // A copy of the file is the same registry, read afresh.
    const auto before = registrySnapshot();
    quarn_test::TempRegistry copy;
    writeFile(copy.path(), readFile(registry.path()));
    EXPECT_EQ(before, registrySnapshot());
    ASSERT_EQ(0, RegOpenKeyExW(HKEY_LOCAL_MACHINE, (u"odd [KEY] %41 \"q\" 'Ü' 😀" + lone).c_str(), 0,
                               KEY_READ, &key));
    for (const auto& name : names) {
        WCHAR value[64] = {};
        DWORD size = sizeof value, type = 0;
        ASSERT_EQ(0, RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                      reinterpret_cast<BYTE*>(value), &size));
        EXPECT_EQ(u"value of " + name, value);
    }
    WCHAR name[32];
    DWORD chars = 32;
    ASSERT_EQ(0, RegEnumValueW(key, 4, name, &chars, nullptr, nullptr, nullptr));
    EXPECT_EQ(u"lone" + lone, std::u16string(name, chars)) << "unpaired surrogates kept";
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
}

TEST(RegistryFile, AFileThatIsNoRegistryIsRefusedAndNeverWritten) {
    quarn_test::TempRegistry registry;
    std::string junk = "[HKLM\\Good]\n@=sz:\"a registry of another kind\"\n";
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 7919) % 256);
    writeFile(registry.path(), junk);
    HKEY key = nullptr;
    EXPECT_EQ(LONG(ERROR_BADDB), RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Good", 0, KEY_READ, &key));
    EXPECT_EQ(std::vector<std::string>{}, registrySnapshot());
    EXPECT_EQ(LONG(ERROR_BADDB), RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"New", 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(LONG(ERROR_BADDB),
              quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE, u"Good", nullptr, u"changed"));
    EXPECT_EQ(junk, readFile(registry.path()));

    // No file at all reads as an empty registry, and reading makes none.
    quarn_test::TempRegistry none;
    EXPECT_EQ(LONG(ERROR_FILE_NOT_FOUND),
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Good", 0, KEY_READ, &key));
    EXPECT_EQ(std::vector<std::string>{}, registrySnapshot());
    EXPECT_FALSE(std::filesystem::exists(none.path()));
}

TEST(RegistryFile, KeepsItsModeAndFollowsASymbolicLink) {
    quarn_test::TempRegistry registry;
    writeFile(registry.path(), "");
    ASSERT_EQ(0, chmod(registry.path().c_str(), 0640));
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CURRENT_USER, u"K", nullptr, u"v"));
    struct stat st {};
    ASSERT_EQ(0, stat(registry.path().c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);

    // The registry path a link to a file that does not exist yet: the file is made where the
    // link points, and the link stays.
    quarn_test::TempRegistry link;
    const std::string target = link.path() + ".target";
    ASSERT_EQ(0, symlink(target.c_str(), link.path().c_str()));
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_CURRENT_USER, u"K", nullptr, u"linked"));
    ASSERT_EQ(0, lstat(link.path().c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(0, lstat(target.c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(0600u, st.st_mode & 07777) << "a new registry is private";
    EXPECT_EQ(u"linked", getString(HKEY_CURRENT_USER, u"K", nullptr));
    std::filesystem::remove(target);
}

TEST(RegistryTransaction, OthersSeeAllOfItOrNothing) {
    quarn_test::TempRegistry registry;
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE, u"Base", nullptr, u"0"));
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE, u"Other", nullptr, u"0"));
    const auto before = registrySnapshot();
    // A child process reads the registry when told, and reports its size.
    int toChild[2], toParent[2];
    ASSERT_EQ(0, pipe(toChild));
    ASSERT_EQ(0, pipe(toParent));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(toChild[1]);
        char go = 0;
        while (read(toChild[0], &go, 1) == 1) {
            const std::uint32_t lines = static_cast<std::uint32_t>(registrySnapshot().size());
            if (write(toParent[1], &lines, sizeof lines) != sizeof lines) _exit(1);
        }
        _exit(0);
    }
    auto childSees = [&] {
        std::uint32_t lines = 0;
        EXPECT_EQ(1, write(toChild[1], "r", 1));
        EXPECT_EQ(ssize_t(sizeof lines), read(toParent[0], &lines, sizeof lines));
        return lines;
    };
    {
        quarn_platform::RegistryTransaction transaction;
        ASSERT_EQ(0, transaction.status());
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(0,
                      quarn_platform::writeStringValue(
                          HKEY_LOCAL_MACHINE,
                          u"Base\\" + quarn_platform::toUtf16(std::to_string(i)), nullptr, u"x"));
        // An inner transaction that does not commit takes back only its own change.
        {
            quarn_platform::RegistryTransaction inner;
            ASSERT_EQ(0, RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Base"));
            EXPECT_FALSE(quarn_platform::keyExists(HKEY_LOCAL_MACHINE, u"Base"));
        }
        EXPECT_TRUE(quarn_platform::keyExists(HKEY_LOCAL_MACHINE, u"Base\\19"));
        EXPECT_EQ(before.size(), childSees()) << "nothing before the commit";
        ASSERT_EQ(0, transaction.commit());
    }
    EXPECT_EQ(before.size() + 40, childSees()) << "all of it after";
    {
        quarn_platform::RegistryTransaction undone;
        ASSERT_EQ(0, RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Base"));
        EXPECT_EQ(S_FALSE, undone.finish(S_FALSE)) << "a success code commits";
    }
    EXPECT_EQ(before.size() - 2, childSees());
    {
        quarn_platform::RegistryTransaction failed;
        ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE, u"Gone", nullptr, u"x"));
        EXPECT_EQ(E_FAIL, failed.finish(E_FAIL));
    }
    EXPECT_FALSE(quarn_platform::keyExists(HKEY_LOCAL_MACHINE, u"Gone"));
    close(toChild[1]);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {toChild[0], toParent[0], toParent[1]})
        close(fd);
}

TEST(RegistryTransaction, AProcessKilledInTheMiddleChangesNothing) {
    quarn_test::TempRegistry registry;
    ASSERT_EQ(0, quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE, u"Kept", nullptr, u"1"));
    const auto before = registrySnapshot();
    // Enough changes that some reach the file before the commit.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        quarn_platform::RegistryTransaction transaction;
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Kept");
        const std::u16string big(4000, u'x');
        for (int i = 0; i < 1000; ++i)
            quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE,
                                             u"Big\\" + quarn_platform::toUtf16(std::to_string(i)),
                                             nullptr, big);
        kill(getpid(), SIGKILL);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(before, registrySnapshot());
    EXPECT_EQ(0, quarn_platform::writeStringValue(HKEY_LOCAL_MACHINE, u"After", nullptr, u"2"));
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
