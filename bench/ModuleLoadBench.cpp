// Starting the handler in a new process: dlopen of the module in a child of this program (which
// links none of the project's libraries), with the resident memory and the shared objects that
// the load adds; and a whole new process that loads the module and answers Initialize for one
// LiDAR file (quarn-props show).
//
// The module is the one built beside this program, or the one that QUARN_MODULE names (so that
// another build's module can be measured by the same program).

#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string besideThisProgram(const char* relative) {
    char self[PATH_MAX];
    if (realpath("/proc/self/exe", self) == nullptr) return relative;
    std::string path(self);
    path = path.substr(0, path.rfind('/') + 1) + relative;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

std::string modulePath() {
    if (const char* named = std::getenv("QUARN_MODULE")) return named;
    return besideThisProgram("../kv_app_shell_extensions/QuarnShellExtensionVista.so");
}

long residentBytes() {
    long size = 0;
    long resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) return 0;
    if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(statm);
    return resident * sysconf(_SC_PAGESIZE);
}

int loadedObjects() {
    int count = 0;
    dl_iterate_phdr([](dl_phdr_info*, size_t, void* n) { return ++*static_cast<int*>(n), 0; },
                    &count);
    return count;
}

struct LoadResult {
    double seconds = 0;
    long addedResident = 0;
    int addedObjects = 0;
    bool loaded = false;
};

// dlopen of the module in a fresh child, which reports what the load cost it.
LoadResult loadInChild(const std::string& module) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        LoadResult result;
        const long rssBefore = residentBytes();
        const int objectsBefore = loadedObjects();
        const Clock::time_point start = Clock::now();
        result.loaded = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL) != nullptr;
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        result.addedResident = residentBytes() - rssBefore;
        result.addedObjects = loadedObjects() - objectsBefore;
        const bool written = write(channel[1], &result, sizeof result) == sizeof result;
        _exit(written ? 0 : 1);
    }
    close(channel[1]);
    LoadResult result;
    if (child < 0 || read(channel[0], &result, sizeof result) != sizeof result) result = {};
    close(channel[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return result;
}

void BM_DlopenModule(benchmark::State& state) {
    const std::string module = modulePath();
    double resident = 0;
    double objects = 0;
    for (auto _ : state) {
        const LoadResult result = loadInChild(module);
        if (!result.loaded) {
            state.SkipWithError(("cannot load " + module).c_str());
            return;
        }
        state.SetIterationTime(result.seconds);
        resident += static_cast<double>(result.addedResident);
        objects += result.addedObjects;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["added_rss_MB"] = resident / n / (1024.0 * 1024.0);
    state.counters["added_objects"] = objects / n;
}
BENCHMARK(BM_DlopenModule)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(60)
    ->ReportAggregatesOnly(true);

// quarn-props show --module <module> samples/lidar-lossless.qrn, from spawn to exit.
void BM_ShowLidarFile(benchmark::State& state) {
    const std::string props = besideThisProgram("../tools/quarn-props");
    const std::string module = modulePath();
    const std::string file = QUARN_SAMPLES "/lidar-lossless.qrn";
    char* const argv[] = {const_cast<char*>(props.c_str()), const_cast<char*>("show"),
                          const_cast<char*>("--module"),    const_cast<char*>(module.c_str()),
                          const_cast<char*>(file.c_str()),  nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    double maxResident = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        pid_t child = 0;
        if (posix_spawn(&child, props.c_str(), &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError(("cannot start " + props).c_str());
            break;
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("show failed");
            break;
        }
        maxResident += static_cast<double>(usage.ru_maxrss); // KB
        // User and system time of the process: what it costs whatever else the machine runs.
        for (const timeval& t : {usage.ru_utime, usage.ru_stime})
            cpuSeconds += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (state.iterations() > 0) {
        const double n = static_cast<double>(state.iterations());
        state.counters["max_rss_MB"] = maxResident / n / 1024.0;
        state.counters["cpu_ms"] = cpuSeconds / n * 1000.0;
    }
}
BENCHMARK(BM_ShowLidarFile)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(60)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
