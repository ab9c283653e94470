#include "WinFile.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace {

std::uint64_t ticks(const FILETIME& t) {
    return (std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

TEST(WinFile, AttributesThroughTheCodePageName) {
    std::string dir = (std::filesystem::temp_directory_path() / "winfile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string onDisk = dir + "/caf\xC3\xA9"; // "caf\xE9" in Windows-1252
    std::ofstream(onDisk, std::ios::binary) << "1234567";
    const timespec times[2] = {{0, 0}, {1, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, onDisk.c_str(), times, 0), 0);

    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExA((dir + "/caf\xE9").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 7u);
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    // 1970-01-01 lies 116444736000000000 ticks of 100 ns after 1601-01-01.
    EXPECT_EQ(ticks(data.ftLastAccessTime), 116444736000000000ull);
    EXPECT_EQ(ticks(data.ftLastWriteTime), 116444736000000000ull + 10000000 + 5);

    EXPECT_FALSE(GetFileAttributesExA((dir + "/none").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    const char16_t loneSurrogate[] = {u'/', 0xD800, 0};
    EXPECT_FALSE(GetFileAttributesExW(loneSurrogate, GetFileExInfoStandard, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    std::filesystem::remove_all(dir);
}

} // namespace
