// Many menus at once. Targets: 100 rows of 720 x 576 PNG menus, each with a 1920 x 1080
// JPEG background and ten picture thumbnails, at least 1.8x faster with 2 workers than
// with 1, and faster per menu than `tavrel --export` run once per menu; the automatic
// frame choice on a 10-minute H.264 movie under 2 s.
#include "../tests/moviemaker.h"
#include "batch/csvtable.h"
#include "batch/menubatch.h"
#include "imageio/imageunit.h"
#include "quickrun.h"
#include "textbenchmain.h"
#include "thumbs/autoframe.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const int kRows = QuickBenchRun() ? 4 : 100;

const fs::path& folder()
{
    static const fs::path f = [] {
        fs::path p = fs::temp_directory_path() / ("tavrel_bench_batch_" + std::to_string(getpid()));
        fs::create_directories(p);
        return p;
    }();
    return f;
}

// Smooth colour fields with some fine detail, like a photograph, so that JPEG and PNG
// work as hard as on real pictures.
Picture photo(int width, int height, int seed)
{
    Picture p(width, height);
    std::uint32_t noise = 2463534242u + static_cast<std::uint32_t>(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
            const int grain = static_cast<int>(noise & 15) - 8;
            std::uint8_t* px = p.pixel(x, y);
            px[0] = static_cast<std::uint8_t>(
                std::clamp(128 + 100 * std::sin(6 * u + seed) + grain, 0.0, 255.0));
            px[1] = static_cast<std::uint8_t>(
                std::clamp(128 + 90 * std::cos(5 * v - seed) + grain, 0.0, 255.0));
            px[2] = static_cast<std::uint8_t>(
                std::clamp(128 + 80 * std::sin(4 * (u + v) * (1 + seed % 3)) + grain, 0.0, 255.0));
        }
    return p;
}

struct BatchInput {
    std::string background;
    std::vector<std::string> thumbs;
    std::vector<BatchRow> rows;
};

const BatchInput& input()
{
    static const BatchInput in = [] {
        BatchInput b;
        b.background = (folder() / "background.jpg").string();
        SaveAsJPG(b.background, photo(1920, 1080, 0));
        for (int t = 0; t < 10; ++t) {
            b.thumbs.push_back((folder() / ("thumb" + std::to_string(t) + ".png")).string());
            SaveAsPNG(b.thumbs.back(), photo(640, 480, t + 1));
        }
        std::string table = "name,bgimage,title,subtitle";
        for (int n = 1; n <= 10; ++n)
            table += ",menucaption" + std::to_string(n) + ",menuclip" + std::to_string(n) +
                     ",menuframe" + std::to_string(n);
        table += "\n";
        for (int r = 0; r < kRows; ++r) {
            table += "menu" + std::to_string(r) + "," + b.background + ",Season " +
                     std::to_string(r / 10 + 1) + ",Disc " + std::to_string(r % 10 + 1);
            for (int n = 1; n <= 10; ++n)
                table += ",Episode " + std::to_string(r * 10 + n) + "," +
                         b.thumbs[static_cast<std::size_t>((r + n) % 10)] + ",-1";
            table += "\n";
        }
        b.rows = BatchRowsFromTable(ParseCsv(table), "png");
        return b;
    }();
    return in;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

MenuDocument dvdDocument()
{
    MenuDocument doc;
    doc.Reset();
    doc.selectVideoMode(3);
    return doc;
}

// The whole table, rows at a time as given; time per menu is the figure.
void BM_BatchTable(benchmark::State& state)
{
    const BatchInput& in = input();
    const MenuDocument base = dvdDocument();
    BatchSettings settings;
    settings.outDir = (folder() / ("out" + std::to_string(state.range(0)))).string();
    fs::create_directories(settings.outDir);
    settings.jobs = static_cast<int>(state.range(0));
    std::size_t failed = 0;
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state)
        RunMenuBatch(base, in.rows, settings, [&](const BatchResult& r) { failed += !r.ok; });
    if (failed)
        state.SkipWithError("rows failed");
    state.SetItemsProcessed(state.iterations() * kRows);
    // CPU time of all threads per menu: equal for 1 and 2 workers means the rows add no
    // work of their own when run side by side, so on two free cores the time halves.
    state.counters["cpu_ms_per_menu"] =
        1e3 * (processCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations() * kRows);
}
BENCHMARK(BM_BatchTable)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(QuickOr(2));

// The same menu made by starting the export command once: what a script without
// --batch pays per menu.
void BM_SingleExportCommand(benchmark::State& state)
{
    const BatchInput& in = input();
    std::string command = "QT_QPA_PLATFORM=offscreen '" TAVREL_BINARY "' --size 3 --export '" +
                          (folder() / "single.png").string() + "' --set 'bgimage=" + in.background +
                          "' --set title=Season --set subtitle=Disc";
    for (int n = 1; n <= 10; ++n)
        command += " --set menucaption" + std::to_string(n) + "=Episode --set 'menuclip" +
                   std::to_string(n) + "=" + in.thumbs[static_cast<std::size_t>(n % 10)] +
                   "' --set menuframe" + std::to_string(n) + "=-1";
    command += " 2>/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("export command failed");
}
BENCHMARK(BM_SingleExportCommand)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(QuickOr(10));

// A ten-minute 320 x 180 H.264 movie at 25 frames a second with a keyframe every ten
// seconds and three B-frames: scenes of moving shapes on shifting colour, changing every
// seven seconds, some of them dark.
std::string tenMinuteMovie()
{
    static const std::string path = [] {
        MovieSpec spec;
        spec.path = (folder() / "ten-minutes.mp4").string();
        spec.codec = "libx264";
        spec.width = 320;
        spec.height = 180;
        spec.frames = 25 * (QuickBenchRun() ? 20 : 600);
        spec.gop = 250;
        spec.bFrames = 3;
        spec.paint = [w = spec.width, h = spec.height](AVFrame* f, int i) {
            const int scene = i / 175;
            const int base = scene % 5 == 0 ? 20 : 60 + (scene * 37) % 120;
            for (int y = 0; y < h; ++y) {
                std::uint8_t* row = f->data[0] + y * f->linesize[0];
                for (int x = 0; x < w; ++x) {
                    const int cx = (x + i * (1 + scene % 3)) % 64, cy = (y + scene * 11) % 48;
                    const bool shape = cx < 24 + scene % 20 && cy < 20 + scene % 16;
                    row[x] = static_cast<std::uint8_t>(base + (shape ? 70 : 0) + (x * y + i) % 9);
                }
            }
            for (int plane = 1; plane < 3; ++plane)
                for (int y = 0; y < h / 2; ++y)
                    std::memset(f->data[plane] + y * f->linesize[plane],
                                128 + ((scene * (plane == 1 ? 13 : 29)) % 60) - 30,
                                static_cast<std::size_t>(w / 2));
        };
        const std::string error = MakeMovie(spec);
        return error.empty() ? spec.path : std::string();
    }();
    return path;
}

void BM_AutoFrameTenMinuteH264(benchmark::State& state)
{
    const std::string movie = tenMinuteMovie();
    if (movie.empty()) {
        state.SkipWithError("cannot make the movie");
        return;
    }
    for (auto _ : state) {
        const AutoFrame chosen = ChooseMovieFrame(movie);
        benchmark::DoNotOptimize(chosen.frame);
    }
}
BENCHMARK(BM_AutoFrameTenMinuteH264)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(QuickOr(3));

} // namespace

int main(int argc, char** argv)
{
    if (const int status = RunBenchmarksWithText(argc, argv); status != 0)
        return status;
    std::error_code ignored;
    fs::remove_all(folder(), ignored);
    return 0;
}
