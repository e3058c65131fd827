#include "motion/motionmenu.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kMovies = 10;
constexpr int kSeconds = 15;

// Ten different 1280 x 720 H.264 movies of eight seconds (they loop in the menu), made
// once into the build folder.
fs::path movie(int i)
{
    return fs::path(TAVREL_BENCH_MOVIES) / ("hd" + std::to_string(i) + ".mp4");
}

bool makeMovies()
{
    fs::create_directories(TAVREL_BENCH_MOVIES);
    for (int i = 0; i < kMovies; ++i) {
        if (fs::exists(movie(i)))
            continue;
        const fs::path part = movie(i).string() + ".part.mp4";
        const std::string command =
            "ffmpeg -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=8 -vf hue=h=" +
            std::to_string(i * 36) + " -c:v libx264 -preset veryfast -pix_fmt yuv420p '" +
            part.string() + "' && mv '" + part.string() + "' '" + movie(i).string() + "'";
        if (std::system(command.c_str()) != 0)
            return false;
    }
    return true;
}

struct Grid {
    MotionMenuRequest request;
    fs::path stillFile; // the same still for the filter graph
};

// A still with hard edges and a gradient, and ten 128 x 96 areas in two rows of five.
Grid grid()
{
    Grid g;
    MotionMenuRequest& r = g.request;
    r.still = Picture(720, 576);
    for (int y = 0; y < 576; ++y)
        for (int x = 0; x < 720; ++x) {
            std::uint8_t* p = r.still.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(x / 4);
            p[1] = (y / 32) % 2 ? 200 : 60;
            p[2] = 90;
        }
    r.seconds = kSeconds;
    for (int i = 0; i < kMovies; ++i)
        r.thumbnails.push_back(
            {movie(i).string(), 1.0, -1, 40 + (i % 5) * 132, 150 + (i / 5) * 200, 128, 96});
    g.stillFile = fs::path(TAVREL_BENCH_MOVIES) / "still.ppm";
    std::ofstream ppm(g.stillFile, std::ios::binary);
    ppm << "P6\n720 576\n255\n";
    for (int y = 0; y < 576; ++y)
        ppm.write(reinterpret_cast<const char*>(r.still.row(y)), 720 * 3);
    return g;
}

double cpuSeconds(int who)
{
    rusage use{};
    getrusage(who, &use);
    return use.ru_utime.tv_sec + use.ru_stime.tv_sec +
           (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// A 15 s PAL motion menu of ten thumbnails playing from ten HD movies, with its silent
// sound. Goal: under 15 s of wall time on 2 cores, and no slower than the filter graph.
void BM_MotionMenu(benchmark::State& state)
{
    if (!makeMovies()) {
        state.SkipWithError("cannot make the HD movies with ffmpeg");
        return;
    }
    const Grid g = grid();
    const fs::path out = fs::path(TAVREL_BENCH_MOVIES) / "menu.mpg";
    const double cpu = cpuSeconds(RUSAGE_SELF);
    for (auto _ : state)
        EncodeMotionMenu(g.request, out.string());
    state.counters["cpu_s"] = (cpuSeconds(RUSAGE_SELF) - cpu) / state.iterations();
}
BENCHMARK(BM_MotionMenu)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// The same moving picture from an ffmpeg filter graph as a process: ten looping inputs
// scaled and laid over the still, MPEG-2 for a PAL DVD with silent AC-3.
void BM_FilterGraph(benchmark::State& state)
{
    if (!makeMovies()) {
        state.SkipWithError("cannot make the HD movies with ffmpeg");
        return;
    }
    const Grid g = grid();
    // Built with a stream: GCC 12 warns falsely about long chains of string additions.
    std::ostringstream command;
    command << "ffmpeg -v error -y -loop 1 -framerate 25 -i '" << g.stillFile.string() << "'";
    for (const MotionThumbnail& t : g.request.thumbnails)
        command << " -stream_loop -1 -ss 1 -i '" << t.movie << "'";
    command << " -f lavfi -i anullsrc=r=48000:cl=stereo -filter_complex '";
    for (int i = 0; i < kMovies; ++i) {
        const MotionThumbnail& t = g.request.thumbnails[static_cast<std::size_t>(i)];
        command << (i ? ";" : "") << "[" << i + 1 << ":v]scale=128:72[t" << i << "];";
        if (i == 0)
            command << "[0:v]";
        else
            command << "[o" << i - 1 << "]";
        command << "[t" << i << "]overlay=" << t.x << ":" << t.y + 12 << "[o" << i << "]";
    }
    const fs::path out = fs::path(TAVREL_BENCH_MOVIES) / "graph.mpg";
    command << "' -map '[o" << kMovies - 1 << "]' -map " << kMovies + 1 << ":a -t " << kSeconds
            << " -target pal-dvd '" << out.string() << "'";
    const double cpu = cpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state)
        if (std::system(command.str().c_str()) != 0)
            state.SkipWithError("ffmpeg failed");
    state.counters["cpu_s"] = (cpuSeconds(RUSAGE_CHILDREN) - cpu) / state.iterations();
}
BENCHMARK(BM_FilterGraph)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace
