#include "disc/menustream.h"
#include "document/projectfile.h"
#include "imageio/imageunit.h"
#include "quickrun.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Photograph-like content: smooth gradients with fine detail, so the encoder has real
// work in every macroblock.
Picture makePicture(int w, int h, int seed)
{
    Picture p(w, h);
    std::uint32_t state = 2463534242u + static_cast<std::uint32_t>(seed);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* px = p.row(y);
        for (int x = 0; x < w; ++x, px += 3) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            px[0] = static_cast<std::uint8_t>(x / 3 + (state & 7));
            px[1] = static_cast<std::uint8_t>(y / 3 + ((state >> 8) & 7));
            px[2] = static_cast<std::uint8_t>((x + y) / 5 + seed * 20);
        }
    }
    return p;
}

// The still of a 720 x 576 menu as an MPEG-2 program stream. Goal: under 150 ms.
void BM_EncodeMenuStream(benchmark::State& state)
{
    const Picture still = makePicture(720, 576, 1);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> stream = EncodeMenuStream(still, DiscFormat{720, 576});
        bytes = stream.size();
        benchmark::DoNotOptimize(stream.data());
    }
    state.counters["stream_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeMenuStream)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(QuickBenchRun() ? 0.01 : 2.0);

// The whole `tavrel --disc-menu` as a process, spumux included: a 720 x 576 menu with a
// picture background and ten picture thumbnails. Goal: under 1 s.
void BM_DiscMenuProcess(benchmark::State& state)
{
    const fs::path dir = fs::temp_directory_path() / ("bench_disc_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    MenuDocument doc;
    doc.bgimage = (dir / "background.png").string();
    SaveAsPNG(doc.bgimage, makePicture(1920, 1080, 0));
    for (int n = 1; n <= kItemCount; ++n) {
        const std::string clip = (dir / ("thumb" + std::to_string(n) + ".png")).string();
        SaveAsPNG(clip, makePicture(640, 480, n));
        doc.item(n).menucaption = "Chapter " + std::to_string(n);
        doc.item(n).source.menuclip = clip;
        doc.item(n).source.menuframe = -1;
    }
    const std::string project = (dir / "menu.tavrel").string();
    SaveProject(doc, project);
    const std::string command = "QT_QPA_PLATFORM=offscreen '" + std::string(TAVREL_BINARY) +
                                "' --disc-menu '" + (dir / "out").string() + "' --size 3 '" +
                                project + "' 2>/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("tavrel --disc-menu failed (is spumux installed?)");
            break;
        }
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_DiscMenuProcess)->Unit(benchmark::kMillisecond)->Iterations(QuickOr(5));

} // namespace
