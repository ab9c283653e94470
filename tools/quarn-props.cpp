// quarn-props: registers the handler module as the platform's registration tool and installer
// would, and shows the properties of files as a client of the property system would.
//
//   quarn-props register [--user]
//   quarn-props unregister [--user]
//   quarn-props show [--module PATH] FILE...

#include "ComStream.h"
#include "PropSys.h"
#include "WideString.h"
#include "WinReg.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <vector>

namespace {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using NoArgFn = HRESULT (*)();
using InstallFn = HRESULT (*)(BOOL, LPCWSTR);

constexpr int kUsage = 2;

int usage() {
    std::fprintf(stderr, "usage: quarn-props register [--user]\n"
                         "       quarn-props unregister [--user]\n"
                         "       quarn-props show [--module PATH] FILE...\n");
    return kUsage;
}

// A loaded module, unloaded when it asks to be (or at exit).
class Module {
public:
    explicit Module(const std::string& path) {
        handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) error_ = ::dlerror();
    }
    ~Module() {
        if (handle_) ::dlclose(handle_);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }
    template <typename F> F symbol(const char* name) const {
        return handle_ ? reinterpret_cast<F>(::dlsym(handle_, name)) : nullptr;
    }

private:
    void* handle_ = nullptr;
    std::string error_;
};

// The default module: beside this program's build, where the build puts it.
std::string defaultModulePath(const char* argv0) {
    if (const char* env = std::getenv("QUARN_MODULE")) return env;
    std::string self = argv0;
    char resolved[4096];
    if (::realpath("/proc/self/exe", resolved)) self = resolved;
    std::string dir = self.substr(0, self.find_last_of('/') + 1);
    std::string path = dir + "../kv_app_shell_extensions/QuarnShellExtensionVista.so";
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// Why a file could not be opened, in words.
const char* openFailure(HRESULT hr) {
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return "no such file";
    if (hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)) return "permission denied";
    if (hr == HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE)) return "not a regular file";
    return "cannot be reached";
}

int registration(bool install, bool perUser, const std::string& modulePath) {
    Module module(modulePath);
    if (!module.loaded()) {
        std::fprintf(stderr, "quarn-props: cannot load %s: %s\n", modulePath.c_str(),
                     module.error().c_str());
        return kUsage;
    }
    auto registerServer = module.symbol<NoArgFn>("DllRegisterServer");
    auto unregisterServer = module.symbol<NoArgFn>("DllUnregisterServer");
    auto dllInstall = module.symbol<InstallFn>("DllInstall");
    auto installSchema = module.symbol<NoArgFn>("InstallPropertySchema");
    auto uninstallSchema = module.symbol<NoArgFn>("UninstallPropertySchema");
    if (!registerServer || !unregisterServer || !dllInstall || !installSchema || !uninstallSchema) {
        std::fprintf(stderr, "quarn-props: %s is not the handler module\n", modulePath.c_str());
        return kUsage;
    }
    // The server and the property schema are registered (or removed) as one registry
    // transaction, as an installer would: all of it or, when a step fails, nothing.
    HRESULT server = S_OK, schema = S_OK;
    const HRESULT whole = quarn_platform::inRegistryTransaction([&] {
        if (install) {
            server = perUser ? dllInstall(TRUE, u"user") : registerServer();
            schema = SUCCEEDED(server) ? installSchema() : S_OK;
        } else {
            schema = uninstallSchema();
            server = perUser ? dllInstall(FALSE, u"user") : unregisterServer();
        }
        return FAILED(server) ? server : schema;
    });
    const char* verb = install ? "register" : "unregister";
    if (FAILED(whole)) {
        std::fprintf(stderr,
                     "quarn-props: %s failed, the registry is unchanged: %s (server %s, property "
                     "schema %s)\n",
                     verb, hex(whole).c_str(), hex(server).c_str(), hex(schema).c_str());
        return 1;
    }
    std::printf("%s: %s%s\n", verb, modulePath.c_str(), perUser ? " (per user)" : "");
    return 0;
}

// Reads a REG_SZ value; empty when absent.
std::u16string readString(HKEY root, const std::u16string& key, LPCWSTR name) {
    std::u16string value;
    if (quarn_platform::readStringValue(root, key, name, &value) != ERROR_SUCCESS) value.clear();
    return value;
}

struct Handler {
    CLSID clsid{};
    std::string modulePath;
};

// The registered handler of a file's extension: PropertyHandlers, then the class's server.
bool findHandler(const std::string& file, Handler& handler, std::string& why) {
    std::size_t dot = file.find_last_of('.');
    std::size_t slash = file.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        why = "has no extension";
        return false;
    }
    std::u16string extension = quarn_platform::toUtf16(file.substr(dot));
    std::u16string clsidText = readString(
        HKEY_LOCAL_MACHINE,
        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\" +
            extension,
        nullptr);
    if (clsidText.empty() || FAILED(CLSIDFromString(clsidText.c_str(), &handler.clsid))) {
        why = "no property handler is registered for " + quarn_platform::toUtf8(extension);
        return false;
    }
    std::u16string server =
        readString(HKEY_CLASSES_ROOT, u"CLSID\\" + clsidText + u"\\InprocServer32", nullptr);
    if (server.empty()) {
        why = "the handler " + quarn_platform::toUtf8(clsidText) + " has no registered server";
        return false;
    }
    handler.modulePath = quarn_platform::toUtf8(server);
    return true;
}

std::string valueText(const PROPVARIANT& value) {
    if (value.vt == VT_LPWSTR && value.pwszVal) return quarn_platform::toUtf8(value.pwszVal);
    return {};
}

// Opens one file with the handler as the property system does and prints its line.
// Returns the HRESULT of Initialize, or sets fatal for what stops before the handler runs.
HRESULT showFile(const std::string& file, const std::string& modulePath, const CLSID& clsid,
                 bool& fatal) {
    Module module(modulePath);
    auto getClassObject = module.symbol<GetClassObjectFn>("DllGetClassObject");
    if (!getClassObject) {
        std::fprintf(stderr, "quarn-props: cannot load the handler %s: %s\n", modulePath.c_str(),
                     module.loaded() ? "no DllGetClassObject" : module.error().c_str());
        fatal = true;
        return E_FAIL;
    }
    IStream* stream = nullptr;
    HRESULT hr = SHCreateStreamOnFileW(quarn_platform::toUtf16(file).c_str(), STGM_READ, &stream);
    if (FAILED(hr)) {
        std::fprintf(stderr, "quarn-props: cannot open %s: %s (%s)\n", file.c_str(),
                     openFailure(hr), hex(hr).c_str());
        fatal = true;
        return hr;
    }
    IClassFactory* factory = nullptr;
    IInitializeWithStream* init = nullptr;
    hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr)) {
        hr = factory->CreateInstance(nullptr, IID_IInitializeWithStream,
                                     reinterpret_cast<void**>(&init));
        factory->Release();
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "quarn-props: cannot create the handler (%s)\n", hex(hr).c_str());
        stream->Release();
        fatal = true;
        return hr;
    }
    HRESULT initResult = init->Initialize(stream, STGM_READ);
    stream->Release();

    std::string line = file;
    line += '\t';
    line += hex(initResult);
    IPropertyStore* store = nullptr;
    if (SUCCEEDED(init->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store)))) {
        DWORD count = 0;
        store->GetCount(&count);
        for (DWORD i = 0; i < count; ++i) {
            PROPERTYKEY key{};
            if (FAILED(store->GetAt(i, &key))) continue;
            PROPVARIANT value;
            PropVariantInit(&value);
            store->GetValue(key, &value);
            line += '\t';
            line += valueText(value);
            PropVariantClear(&value);
        }
        store->Release();
    }
    init->Release();
    std::printf("%s\n", line.c_str());
    return initResult;
}

int show(const std::vector<std::string>& files, const std::string& givenModule) {
    bool allSucceeded = true;
    for (const auto& file : files) {
        Handler handler;
        if (!givenModule.empty()) {
            handler.clsid = {
                0x73A656D0, 0x53D4, 0x4D78, {0xB9, 0xAA, 0x92, 0xC4, 0xA6, 0x4F, 0x41, 0x22}};
            handler.modulePath = givenModule;
        } else {
            std::string why;
            if (!findHandler(file, handler, why)) {
                std::fprintf(stderr, "quarn-props: %s: %s\n", file.c_str(), why.c_str());
                return kUsage;
            }
        }
        bool fatal = false;
        HRESULT hr = showFile(file, handler.modulePath, handler.clsid, fatal);
        if (fatal) return kUsage;
        if (FAILED(hr)) allSucceeded = false;
    }
    return allSucceeded ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    CoInitialize(nullptr);
    int status;
    if (command == "register" || command == "unregister") {
        bool perUser = false;
        std::string modulePath = defaultModulePath(argv[0]);
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--user")
                perUser = true;
            else if (args[i] == "--module" && i + 1 < args.size())
                modulePath = args[++i];
            else
                return usage();
        }
        status = registration(command == "register", perUser, modulePath);
    } else if (command == "show") {
        std::string modulePath;
        std::vector<std::string> files;
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--module") {
                if (i + 1 >= args.size()) return usage();
                modulePath = args[++i];
            } else {
                files.push_back(args[i]);
            }
        }
        if (files.empty()) return usage();
        status = show(files, modulePath);
    } else {
        return usage();
    }
    CoUninitialize();
    return status;
}
