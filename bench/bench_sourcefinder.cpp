// Looking for moved sources: the walk is bounded, so even a tree far larger than the
// bound costs no more than reading the bound's worth of folder entries.
#include "document/sourcefinder.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// `folders` folders of `files` files each, two levels deep; made once per size.
fs::path makeTree(int folders, int files)
{
    const fs::path root =
        fs::temp_directory_path() / ("tavrel_bench_finder_" + std::to_string(::getpid()) + "_" +
                                     std::to_string(folders) + "x" + std::to_string(files));
    if (fs::exists(root))
        return root;
    for (int f = 0; f < folders; ++f) {
        const fs::path folder = root / std::to_string(f % 10) / std::to_string(f);
        fs::create_directories(folder);
        for (int i = 0; i < files; ++i)
            std::ofstream(folder / ("clip" + std::to_string(i) + ".mpg"));
    }
    return root;
}

// A fresh finder per iteration: the first look-up reads the folders, as a load does.
void BM_FindMovedSource(benchmark::State& state)
{
    const fs::path root = makeTree(static_cast<int>(state.range(0)), 100);
    const std::string wanted = "/old/place/clip99.mpg";
    for (auto _ : state) {
        SourceFinder finder({{root.string(), SourceFinder::kProjectDepth}});
        benchmark::DoNotOptimize(finder.find(wanted));
        benchmark::DoNotOptimize(finder.find("/old/place/missing.mpg"));
    }
    state.counters["entries"] = static_cast<double>(state.range(0) * 101 + 10);
}
BENCHMARK(BM_FindMovedSource)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
