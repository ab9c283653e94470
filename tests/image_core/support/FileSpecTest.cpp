#include "support/FileSpec.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace Korvel {
namespace {

TEST(FileSpec, NullNameHasNoFormsAndNoInfo) {
    FileSpec spec(nullptr, FileSpec::kUTF8);
    EXPECT_EQ(spec.getUTF8Name(), nullptr);
    EXPECT_EQ(spec.getANSIName(), nullptr);
    EXPECT_EQ(spec.getUTF16Name(), nullptr);
    FileSpecInfo info;
    EXPECT_EQ(spec.getInfo(info), 87u); // the system's invalid-parameter code
    EXPECT_FALSE(spec.isDirectory());
}

TEST(FileSpec, FormsFollowTheEncodingAndAreMadeOnce) {
    FileSpec ansi("/d/caf\xE9\x80", 0);
    EXPECT_STREQ(ansi.getUTF8Name(), "/d/caf\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(std::u16string(ansi.getUTF16Name()), u"/d/caf\u00E9\u20AC");

    FileSpec spec("/d/caf\xC3\xA9\xE2\x82\xAC", FileSpec::kUTF8);
    std::vector<const void*> seen(16);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            seen[2 * t] = spec.getUTF16Name();
            seen[2 * t + 1] = spec.getANSIName();
        });
    for (auto& t : threads)
        t.join();
    for (int t = 0; t < 8; ++t) {
        EXPECT_EQ(seen[2 * t], spec.getUTF16Name());
        EXPECT_EQ(seen[2 * t + 1], spec.getANSIName());
    }
    EXPECT_STREQ(spec.getANSIName(), "/d/caf\xE9\x80");
}

TEST(FileSpec, InfoOfFilesDirectoriesAndMissingNames) {
    std::string dir = (std::filesystem::temp_directory_path() / "filespec-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string path = dir + "/\xC3\xA9t\xC3\xA9.qrn";
    std::ofstream(path, std::ios::binary) << "x";
    // Sparse, past 4 GiB: the size needs both words.
    ASSERT_EQ(::truncate(path.c_str(), 0x100000005LL), 0);
    const timespec times[2] = {{1000000000, 0}, {1234567890, 999999999}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    FileSpecInfo info;
    ASSERT_EQ(FileSpec(path.c_str(), FileSpec::kUTF8).getInfo(info), 0u);
    EXPECT_EQ(info.size, 0x100000005ull);
    EXPECT_EQ(info.lastAccessTime, 1000000000);
    EXPECT_EQ(info.lastChangeTime, 1234567890);
    EXPECT_EQ(info.creationTime, 0); // not kept by the file system
    EXPECT_FALSE(info.isDirectory);
    EXPECT_TRUE(FileSpec(dir.c_str(), FileSpec::kUTF8).isDirectory());

    info.size = 77;
    EXPECT_EQ(FileSpec((dir + "/absent").c_str(), FileSpec::kUTF8).getInfo(info), 2u);
    EXPECT_EQ(info.size, 77u); // untouched on failure
    EXPECT_EQ(FileSpec((path + "/inner").c_str(), FileSpec::kUTF8).getInfo(info), 3u);
    EXPECT_FALSE(FileSpec((dir + "/absent").c_str(), FileSpec::kUTF8).isDirectory());
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace Korvel
