#include "crs/KVCrsLibrary.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <link.h>

namespace Korvel {

KVCrsLibrary::KVCrsLibrary(const std::string& path) {
    // A bare name would be looked for along the library path: only a file named by its folder.
    if (path.empty() || path.front() != '/') {
        reason_ = std::string("no folder to load ") + KV_CRS_LIBRARY_NAME + " from";
        return;
    }
    // Loaded for good: GDAL and PROJ keep process-wide state that outlives any caller.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        reason_ = text != nullptr ? text : path + ": cannot be loaded";
        return;
    }
    const auto entry =
        reinterpret_cast<KVCrsEntryPointsFunction>(dlsym(handle, KV_CRS_ENTRY_POINTS_SYMBOL));
    if (entry == nullptr) {
        reason_ = path + ": no entry point " + KV_CRS_ENTRY_POINTS_SYMBOL;
        return;
    }
    const KVCrsEntryPoints* entryPoints = entry();
    if (entryPoints == nullptr || entryPoints->version != KV_CRS_ENTRY_POINTS_VERSION ||
        entryPoints->size != sizeof(KVCrsEntryPoints)) {
        reason_ = path + ": the library of another build";
        return;
    }
    entryPoints_ = entryPoints;
}

namespace {

// The loader's record of the shared object or program that holds this code.
const link_map* objectOfThisCode() {
    Dl_info info{};
    link_map* object = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&objectOfThisCode), &info,
                reinterpret_cast<void**>(&object), RTLD_DL_LINKMAP) == 0)
        return nullptr;
    return object;
}

// Keeps the shared object that holds this code (the handler module) loaded for the life of the
// process, so that its record of a library that could not be loaded survives a host's unloading
// and reloading it. A program is never unloaded.
void pinThisCode() {
    const link_map* object = objectOfThisCode();
    if (object != nullptr && object->l_name != nullptr && object->l_name[0] != '\0')
        dlopen(object->l_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

} // namespace

std::string KVCrsLibrary::pathOfThisCode() {
    const link_map* object = objectOfThisCode();
    if (object == nullptr) return {};
    // The program itself has no name in the loader's list of objects.
    const char* name =
        object->l_name != nullptr && object->l_name[0] != '\0' ? object->l_name : "/proc/self/exe";
    char resolved[PATH_MAX];
    return realpath(name, resolved) != nullptr ? std::string(resolved) : std::string();
}

const KVCrsLibrary& KVCrsLibrary::get() {
    static const KVCrsLibrary library([] {
        const std::string self = pathOfThisCode();
        const std::string folder = self.substr(0, self.rfind('/') + 1);
        return folder.empty() ? std::string() : folder + KV_CRS_LIBRARY_NAME;
    }());
    // Statuses say that a derivation failed; this line, once in the process, says why all of
    // them will.
    static const bool reported = library.entryPoints_ != nullptr || [] {
        pinThisCode();
        return std::fprintf(stderr, "quarn: coordinate systems are not derived: %s\n",
                            library.reason_.c_str()) >= 0;
    }();
    static_cast<void>(reported);
    return library;
}

} // namespace Korvel
