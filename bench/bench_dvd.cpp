#include "../tests/moviemaker.h"
#include "quickrun.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The whole `tavrel --from-movies ... --dvd DIR --iso FILE` as a process: three 20 s
// movies (4:3 H.264 with sound, 16:9 MPEG-4 without, 4:3 already fit for the disc),
// menu, encoding, dvdauthor, genisoimage and the self-check. Goal: under 30 s on 2 cores.
void BM_WholeDisc(benchmark::State& state)
{
    const fs::path dir = fs::temp_directory_path() / ("bench_dvd_" + std::to_string(::getpid()));
    fs::create_directories(dir / "holiday");
    std::vector<MovieSpec> specs(3);
    specs[0].path = (dir / "holiday" / "beach.mp4").string();
    specs[0].codec = "libx264";
    specs[0].width = 640;
    specs[0].height = 480;
    specs[0].audioChannels = 2;
    specs[0].audioCodec = "aac";
    specs[1].path = (dir / "holiday" / "harbour.mkv").string();
    specs[1].codec = "mpeg4";
    specs[1].width = 854;
    specs[1].height = 480;
    specs[2].path = (dir / "holiday" / "legal.mpg").string();
    specs[2].codec = "mpeg2video";
    specs[2].format = "dvd";
    specs[2].width = 720;
    specs[2].height = 576;
    specs[2].sarNum = 16;
    specs[2].sarDen = 15;
    specs[2].videoBitRate = 5'000'000;
    specs[2].audioChannels = 2;
    for (MovieSpec& s : specs) {
        s.frames = 500; // 20 s at 25 frames/s
        s.gop = 12;
        s.texture = true;
        if (const std::string error = MakeMovie(s); !error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    const std::string command = "cd '" + dir.string() + "' && QT_QPA_PLATFORM=offscreen '" +
                                std::string(TAVREL_BINARY) +
                                "' --from-movies holiday/* --size 3 --dvd disc --iso disc.iso "
                                "2>/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("tavrel --dvd failed");
            break;
        }
    }
    state.counters["iso_MB"] = static_cast<double>(fs::file_size(dir / "disc.iso")) / 1e6;
    fs::remove_all(dir);
}
BENCHMARK(BM_WholeDisc)->Unit(benchmark::kSecond)->Iterations(1);

double childCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Twelve 15 s movies of 1280 x 720 H.264 with AAC stereo, the disc of a family's year,
// made with `--jobs N` titles at once: wall time, and processor seconds per movie over the
// whole run (the program and the tools it starts), which load sways far less. Goal: no
// more than 2.9 s per movie.
void BM_TwelveMovieDisc(benchmark::State& state)
{
    const fs::path dir = fs::temp_directory_path() / ("bench_dvd12_" + std::to_string(::getpid()));
    fs::create_directories(dir / "year");
    const int movies = QuickBenchRun() ? 2 : 12;
    for (int i = 0; i < movies; ++i) {
        MovieSpec s;
        s.path = (dir / "year" / ("clip" + std::to_string(10 + i) + ".mp4")).string();
        s.codec = "libx264";
        s.width = 1280;
        s.height = 720;
        s.frames = QuickBenchRun() ? 25 : 375; // 15 s at 25 frames/s
        s.gop = 50;
        s.bFrames = 3;
        s.audioChannels = 2;
        s.audioCodec = "aac";
        s.texture = true;
        if (const std::string error = MakeMovie(s); !error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    const std::string command = "cd '" + dir.string() + "' && QT_QPA_PLATFORM=offscreen '" +
                                std::string(TAVREL_BINARY) +
                                "' --from-movies year/* --size 3 --dvd disc --jobs " +
                                std::to_string(state.range(0)) + " 2>/dev/null";
    for (auto _ : state) {
        const double cpu = childCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("tavrel --dvd failed");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.counters["cpu_s_per_movie"] = (childCpuSeconds() - cpu) / movies;
        fs::remove_all(dir / "disc");
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_TwelveMovieDisc)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

} // namespace
