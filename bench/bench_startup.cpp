// Start-up of the command program as a script meets it: the whole process, wall time.
// Goal: a plain --export of the default menu in under half the time it took when the
// commands loaded the editor's libraries (before: about 300 ms here, --help 170 ms). The
// commands load neither the widgets nor, until a movie is touched, FFmpeg.

#include "quickrun.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void runProcess(benchmark::State& state, const std::string& arguments)
{
    const fs::path dir =
        fs::temp_directory_path() / ("bench_startup_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string command = "cd '" + dir.string() + "' && QT_QPA_PLATFORM=offscreen '" +
                                std::string(TAVREL_BINARY) + "' " + arguments + " >/dev/null 2>&1";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError(("tavrel " + arguments + " failed").c_str());
            break;
        }
    }
    fs::remove_all(dir);
}

void BM_ExportProcess(benchmark::State& state)
{
    runProcess(state, "--export x.png");
}
BENCHMARK(BM_ExportProcess)->Unit(benchmark::kMillisecond)->Iterations(QuickOr(20));

void BM_HelpProcess(benchmark::State& state)
{
    runProcess(state, "--help");
}
BENCHMARK(BM_HelpProcess)->Unit(benchmark::kMillisecond)->Iterations(QuickOr(20));

} // namespace
