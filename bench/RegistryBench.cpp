// A client's lookups in a registry grown past 100 MB by foreign classes: the two values that
// quarn-props show reads to find an extension's handler, against the same in a small registry.

#include "TempRegistry.h"
#include "WideString.h"
#include "WinReg.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

const std::u16string kClsid = u"{73A656D0-53D4-4D78-B9AA-92C4A64F4122}";

// A registry with the handler's entries and `foreign` other classes, each with a 360-character
// server path.
std::unique_ptr<quarn_test::TempRegistry> registryWith(int foreign) {
    auto registry = std::make_unique<quarn_test::TempRegistry>();
    quarn_platform::RegistryTransaction transaction;
    using quarn_platform::writeStringValue;
    writeStringValue(HKEY_LOCAL_MACHINE,
                     u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\"
                     u"PropertyHandlers\\.qg3",
                     nullptr, kClsid);
    writeStringValue(HKEY_CLASSES_ROOT, u"CLSID\\" + kClsid + u"\\InprocServer32", nullptr,
                     u"/opt/quarn/QuarnShellExtensionVista.so");
    const std::u16string server(360, u'x');
    HKEY classes = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes,
                    nullptr);
    for (int i = 0; i < foreign; ++i) {
        char name[48];
        std::snprintf(name, sizeof name, "{%08X-0000-4000-8000-%012X}", i, i);
        writeStringValue(classes, quarn_platform::toUtf16(name) + u"\\InprocServer32", nullptr,
                         server);
    }
    RegCloseKey(classes);
    transaction.commit();
    return registry;
}

void lookups(benchmark::State& state, int foreign) {
    const auto registry = registryWith(foreign);
    for (auto _ : state) {
        std::u16string clsid, server;
        quarn_platform::readStringValue(HKEY_LOCAL_MACHINE,
                                        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                                        u"PropertySystem\\PropertyHandlers\\.qg3",
                                        nullptr, &clsid);
        quarn_platform::readStringValue(HKEY_CLASSES_ROOT, u"CLSID\\" + clsid + u"\\InprocServer32",
                                        nullptr, &server);
        if (server.empty()) state.SkipWithError("handler not found");
        benchmark::DoNotOptimize(server);
    }
    state.counters["registry_bytes"] =
        static_cast<double>(std::filesystem::file_size(registry->path()));
}

void SmallRegistry(benchmark::State& s) {
    lookups(s, 100);
}
void LargeRegistry(benchmark::State& s) {
    lookups(s, 160000);
}

BENCHMARK(SmallRegistry)->Unit(benchmark::kMicrosecond);
BENCHMARK(LargeRegistry)->Unit(benchmark::kMicrosecond)->Iterations(2000);

} // namespace

BENCHMARK_MAIN();
