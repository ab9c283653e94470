#include "crs/KVCrsLibrary.h"

#include <ogr_srs_api.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace Korvel;

namespace {

std::string pathOfObjectHolding(void* address) {
    Dl_info info{};
    EXPECT_NE(dladdr(address, &info), 0);
    char resolved[PATH_MAX];
    return realpath(info.dli_fname, resolved) != nullptr ? resolved : "";
}

} // namespace

TEST(KVCrsLibrary, FoundBesideTheProgramThatLinksTheImageCore) {
    // This program links the image core: the library is looked for in the program's folder.
    char self[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", self), nullptr);
    EXPECT_EQ(KVCrsLibrary::pathOfThisCode(), self);
    const KVCrsLibrary& library = KVCrsLibrary::get();
    ASSERT_NE(library.getEntryPoints(), nullptr) << library.getReason();
    EXPECT_EQ(library.getEntryPoints()->version, KV_CRS_ENTRY_POINTS_VERSION);
    // Loaded once, from beside the program.
    EXPECT_EQ(&KVCrsLibrary::get(), &library);
    const std::string beside =
        std::filesystem::path(self).replace_filename(KV_CRS_LIBRARY_NAME).string();
    EXPECT_EQ(pathOfObjectHolding(reinterpret_cast<void*>(library.getEntryPoints()->epsgToWkt)),
              beside);
}

TEST(KVCrsLibrary, WhatCannotBeLoadedSaysWhy) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("kv-crs-library-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string notALibrary = (folder / KV_CRS_LIBRARY_NAME).string();
    std::ofstream(notALibrary) << "not a shared object";
    // GDAL's own library has no table of entry points.
    const std::string gdal = pathOfObjectHolding(reinterpret_cast<void*>(&OSRNewSpatialReference));
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {(folder / "missing.so").string(), "missing.so"},
        {notALibrary, notALibrary},
        {gdal, gdal + ": no entry point kvCrsEntryPoints"},
        {KV_CRS_LIBRARY_NAME, "no folder to load libquarn-crs.so from"},
        {"", "no folder to load libquarn-crs.so from"},
    };
    for (const auto& c : cases) {
        const KVCrsLibrary library(c.path);
        EXPECT_EQ(library.getEntryPoints(), nullptr) << c.path;
        EXPECT_NE(library.getReason().find(c.reason), std::string::npos)
            << c.path << ": " << library.getReason();
    }
    std::filesystem::remove_all(folder);
}
