// Seek + decode of one random frame, the work behind every slider move in the
// thumbnail dialog. Targets: MPEG-2 720x576 GOP 15 at most 25 ms median; H.264
// 720x576 GOP 250 at most 150 ms median. A 1920x1080 phone clip turned upright by its
// display matrix costs at most 20 % more than the same clip unturned. The automatic
// frame of the H.264 GOP 250 movie (few keyframes: every sample decoded exactly) takes
// at most 1.5 s of processor time.
#include "../tests/moviemaker.h"
#include "quickrun.h"
#include "thumbs/autoframe.h"
#include "thumbs/mediadecoder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string MovieFile(const char* name, const char* codec, int gop, int frames, int bFrames,
                      int width = 720, int height = 576, int rotation = 0)
{
    static const fs::path folder = [] {
        fs::path f = fs::temp_directory_path() / ("tavrel_bench_media_" + std::to_string(getpid()));
        fs::create_directories(f);
        return f;
    }();
    const fs::path path = folder / name;
    if (!fs::exists(path)) {
        MovieSpec spec;
        spec.path = path.string();
        spec.codec = codec;
        spec.width = width;
        spec.height = height;
        spec.displayRotation = rotation;
        spec.frames = frames;
        spec.gop = gop;
        spec.bFrames = bFrames;
        spec.texture = true;
        const std::string error = MakeMovie(spec);
        if (!error.empty())
            return {};
    }
    return path.string();
}

// The decoder and the random sequence live across repetitions: every repetition is
// one more seek in the same open movie, as when a user jumps around with the slider.
struct Session {
    MediaDecoder decoder;
    std::mt19937 random{12345};
};

void SeekRandomFrame(benchmark::State& state, const std::string& path)
{
    if (path.empty()) {
        state.SkipWithError("cannot make the movie (encoder missing?)");
        return;
    }
    static std::map<std::string, std::unique_ptr<Session>> sessions;
    auto& session = sessions[path];
    if (!session) {
        session = std::make_unique<Session>();
        session->decoder.open(path);
    }
    MediaDecoder& decoder = session->decoder;
    std::uniform_int_distribution<std::int64_t> pick(0, decoder.frameCount() - 1);
    const double perFrame =
        static_cast<double>(decoder.duration()) / static_cast<double>(decoder.frameCount());
    Picture frame;
    for (auto _ : state) {
        const std::int64_t target =
            std::llround(static_cast<double>(pick(session->random)) * perFrame);
        benchmark::DoNotOptimize(decoder.decodeAt(target, frame));
    }
}

void BM_SeekMpeg2Gop15(benchmark::State& state)
{
    SeekRandomFrame(state, MovieFile("gop15.mpg", "mpeg2video", 15, 300, 2));
}

void BM_SeekH264Gop250(benchmark::State& state)
{
    SeekRandomFrame(state, MovieFile("gop250.mp4", "libx264", 250, 500, 3));
}

void BM_SeekPhone1080(benchmark::State& state)
{
    const int rotation = static_cast<int>(state.range(0));
    SeekRandomFrame(state, MovieFile(rotation ? "phone90.mp4" : "phone0.mp4", "libx264", 25, 100, 2,
                                     1920, 1080, rotation));
}

void BM_AutoFrameH264Gop250(benchmark::State& state)
{
    const std::string path = MovieFile("gop250.mp4", "libx264", 250, 500, 3);
    if (path.empty()) {
        state.SkipWithError("cannot make the movie (encoder missing?)");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(ChooseMovieFrame(path).frame);
}

} // namespace

// One seek per repetition, so that the median is the median seek.
BENCHMARK(BM_SeekMpeg2Gop15)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(QuickOr(60))
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SeekH264Gop250)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(QuickOr(40))
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SeekPhone1080)
    ->Arg(0)
    ->Arg(90)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(QuickOr(30))
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_AutoFrameH264Gop250)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(QuickOr(5))
    ->ReportAggregatesOnly(true);
