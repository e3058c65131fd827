#include "resample/filteredresize.h"
#include "resample/filteredresize_internal.h"

#include "pillow.h"
#include "quickrun.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

Picture TestPicture(int width, int height)
{
    Picture p(width, height);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(0, 31);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = p.pixel(x, y);
            px[0] = static_cast<std::uint8_t>((x * 200 / width) + noise(rng));
            px[1] = static_cast<std::uint8_t>((y * 200 / height) + noise(rng));
            px[2] = static_cast<std::uint8_t>(((x + y) & 127) + noise(rng));
        }
    return p;
}

void RunResize(benchmark::State& state, int sw, int sh, int dw, int dh, bool scalar,
               std::int64_t target = 0)
{
    const Picture source = TestPicture(sw, sh);
    Picture dest(dw, dh);
    const ResizeOptions options = scalar ? ResizeOptions{false, 1} : ResizeOptions{};
    ForceResizeSimdTarget(target);
    for (auto _ : state) {
        FilteredResizeWith(source, dest, Lanczos3Filter, 3.0f, options);
        benchmark::DoNotOptimize(dest.data());
    }
    ForceResizeSimdTarget(0);
    state.SetItemsProcessed(state.iterations() * dw * dh);
}

// Full HD frame to a PAL DVD menu. Goal: on every instruction set (the per-set runs
// below) at most half the processor time of Pillow's Lanczos resize of the same picture
// in the same run; on AVX2 no more than the hand-written AVX2 kernels took (about 3 ms).
void BM_Lanczos3_1920x1080_to_720x576(benchmark::State& state)
{
    RunResize(state, 1920, 1080, 720, 576, false);
}
void BM_Lanczos3_1920x1080_to_720x576_Scalar(benchmark::State& state)
{
    RunResize(state, 1920, 1080, 720, 576, true);
}

// A VGA picture to a menu thumbnail: the preview redraws ten of these per edit.
void BM_Lanczos3_640x480_to_122x98(benchmark::State& state)
{
    RunResize(state, 640, 480, 122, 98, false);
}
void BM_Lanczos3_640x480_to_122x98_Scalar(benchmark::State& state)
{
    RunResize(state, 640, 480, 122, 98, true);
}

// Pillow's resize(LANCZOS) of the same picture, the figure the rescaler is held to.
void BM_Pillow_Lanczos_1920x1080_to_720x576(benchmark::State& state)
{
    const Picture source = TestPicture(1920, 1080);
    ReportPillow(state, RunPillow(source.row(0), source.stride(), 1920, 1080,
                                  "im.resize((720, 576), Image.LANCZOS)", QuickOr(20)));
}

const bool perTarget = [] {
    for (const std::int64_t target : ResizeSimdTargets())
        benchmark::RegisterBenchmark(
            (std::string("BM_Lanczos3_1920x1080_to_720x576/") + ResizeSimdTargetName(target))
                .c_str(),
            [target](benchmark::State& state) {
                RunResize(state, 1920, 1080, 720, 576, false, target);
            })
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime();
    return true;
}();

} // namespace

// The processor time column counts every thread.
BENCHMARK(BM_Lanczos3_1920x1080_to_720x576)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_Pillow_Lanczos_1920x1080_to_720x576)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_Lanczos3_1920x1080_to_720x576_Scalar)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lanczos3_640x480_to_122x98)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Lanczos3_640x480_to_122x98_Scalar)->Unit(benchmark::kMicrosecond)->UseRealTime();
