// Picture per bit of the titles. Each of three kinds of movie is made into a title at
// 8 Mb/s and 3.5 Mb/s, and by `ffmpeg -target pal-dvd` at the same average rate in the
// same minute; both are scored against the source (PSNR and SSIM of the luma and chroma,
// by FFmpeg's filters) beside their processor time. The sources are a PAL disc's 4:3
// frame in 4:2:0 already, so neither side converts or scales, and decoding them costs
// next to nothing.
// Targets: at 3.5 Mb/s psnr_gain >= 0.5 dB, at 8 Mb/s psnr_gain >= 0, cpu_ratio <= 1.3.
#include "titles/encodetitles.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

constexpr double kSeconds = 8;

struct Kind {
    const char* name;
    const char* graph; // an FFmpeg filter graph that makes the movie
};

const Kind kKinds[] = {
    {"noisy_pattern", "testsrc2=s=720x576:r=25,format=yuv420p,noise=alls=8:allf=t,setsar=16/15"},
    {"zooming_fractal",
     "mandelbrot=s=720x576:r=25,format=yuv420p,noise=alls=6:allf=t,setsar=16/15"},
    // A still background with one small busy part, as a talking head is.
    {"slow_scene", "gradients=s=720x576:r=25:speed=0.002:n=3,format=yuv420p[bg];"
                   "mandelbrot=s=240x300:r=25,format=yuv420p[fg];"
                   "[bg][fg]overlay=240:140:shortest=1,noise=alls=3:allf=t,setsar=16/15"},
};

std::string quoted(const std::string& s)
{
    return "'" + s + "'";
}

// Runs a command, returning what it printed on both outputs; none when it failed.
std::optional<std::string> output(const std::string& command)
{
    std::string text;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return std::nullopt;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        text.append(buffer, n);
    if (::pclose(pipe) != 0)
        return std::nullopt;
    return text;
}

// Raw pictures, so that reading them costs neither encoder anything.
std::string source(const Kind& kind)
{
    const fs::path folder = TAVREL_BENCH_DATA;
    fs::create_directories(folder);
    const fs::path path = folder / (std::string(kind.name) + ".nut");
    if (!fs::exists(path)) {
        const fs::path part = folder / (std::string(kind.name) + ".part.nut");
        if (!output("ffmpeg -nostdin -y -v error -filter_complex " + quoted(kind.graph) + " -t " +
                    std::to_string(kSeconds) + " -c:v rawvideo " + quoted(part.string())))
            return {};
        fs::rename(part, path);
    }
    return path.string();
}

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

struct Score {
    double psnr = 0;
    double ssim = 0;
    double kbps = 0; // of the video stream alone
};

double numberAfter(const std::string& text, const char* label)
{
    std::smatch m;
    const std::regex pattern(std::string(label) + "([0-9.]+)");
    return std::regex_search(text, m, pattern) ? std::stod(m[1]) : 0;
}

// Both start at their first picture (a program stream's clock does not start at zero),
// and a picture one side lacks at the end is left out rather than scored against another.
Score score(const std::string& encoded, const std::string& original)
{
    const std::string measured =
        output("ffmpeg -nostdin -v info -nostats -i " + quoted(encoded) + " -i " +
               quoted(original) +
               " -lavfi '[0:v]setpts=PTS-STARTPTS,split[a][b];[1:v]setpts=PTS-STARTPTS,"
               "split[c][d];[a][c]psnr=shortest=1;[b][d]ssim=shortest=1' -f null -")
            .value_or("");
    const std::string sizes = output("ffprobe -v error -select_streams v -show_entries "
                                     "packet=size -of csv=p=0 " +
                                     quoted(encoded))
                                  .value_or("");
    double bytes = 0;
    for (std::size_t at = 0; at < sizes.size();) {
        const std::size_t end = sizes.find('\n', at);
        bytes += std::atof(sizes.substr(at, end - at).c_str());
        at = end == std::string::npos ? sizes.size() : end + 1;
    }
    return {numberAfter(measured, "average:"), numberAfter(measured, "All:"),
            bytes * 8 / kSeconds / 1000};
}

struct Quiet : TitleProgress {
    void update(const TitlesStatus&) override {}
};

void AgainstFfmpeg(benchmark::State& state)
{
    const Kind& kind = kKinds[state.range(0)];
    const std::int64_t rate = state.range(1) * 1000;
    const std::string in = source(kind);
    if (in.empty()) {
        state.SkipWithError("cannot make the movie with ffmpeg");
        return;
    }
    const fs::path folder = TAVREL_BENCH_DATA;
    const std::string ours = (folder / "ours.mpg").string();
    const std::string theirs = (folder / "ffmpeg.mpg").string();
    const TitleInfo info = ProbeTitle(in, DiscSystem::Pal, 0);
    BitratePlan plan = PlanBitrate({info}, kSingleLayerBytes, 0);
    plan.videoBitRate = rate;
    plan.maxVideoBitRate = 9'000'000; // as the command's target sets it
    Quiet quiet;
    for (auto _ : state) {
        const double before = cpuSeconds(RUSAGE_CHILDREN);
        if (!output("ffmpeg -nostdin -y -v error -i " + quoted(in) + " -target pal-dvd -b:v " +
                    std::to_string(rate) + " " + quoted(theirs))) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.counters["ffmpeg_cpu_s"] = cpuSeconds(RUSAGE_CHILDREN) - before;
        const double start = cpuSeconds(RUSAGE_SELF);
        EncodeTitles({{info, ours}}, plan, DiscSystem::Pal, 1, quiet);
        state.counters["tavrel_cpu_s"] = cpuSeconds(RUSAGE_SELF) - start;
    }
    state.counters["cpu_ratio"] = state.counters["tavrel_cpu_s"] / state.counters["ffmpeg_cpu_s"];
    const Score a = score(ours, in), b = score(theirs, in);
    state.counters["tavrel_psnr"] = a.psnr;
    state.counters["ffmpeg_psnr"] = b.psnr;
    state.counters["psnr_gain"] = a.psnr - b.psnr;
    state.counters["tavrel_ssim"] = a.ssim;
    state.counters["ffmpeg_ssim"] = b.ssim;
    state.counters["tavrel_kbps"] = a.kbps;
    state.counters["ffmpeg_kbps"] = b.kbps;
    state.SetLabel(kind.name);
}
BENCHMARK(AgainstFfmpeg)
    ->ArgsProduct({{0, 1, 2}, {8000, 3500}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
