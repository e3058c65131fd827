#include "render/drawmenu.h"
#include "render/legibilitycheck.h"
#include "render/picturecanvas.h"
#include "render/scaledpicturecache.h"
#include "render/tvsafe.h"
#include "textbenchmain.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

// Busy content, so that no rescaler or copy can take shortcuts on flat areas.
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
            px[0] = static_cast<std::uint8_t>(x + (state & 15));
            px[1] = static_cast<std::uint8_t>(y + ((state >> 8) & 15));
            px[2] = static_cast<std::uint8_t>(x + y + seed);
        }
    }
    return p;
}

// A full menu: 1920 x 1080 background, ten 640 x 480 thumbnails, captions, shadow.
MenuDocument& benchDocument()
{
    static MenuDocument doc = [] {
        MenuDocument d;
        d.RenderEnabled = true;
        d.selectVideoMode(3);
        d.shadowtext = true;
        d.BackgroundPicture = makePicture(1920, 1080, 0);
        for (int n = 1; n <= kItemCount; ++n) {
            menurec& item = d.item(n);
            item.menucaption = "Chapter " + std::to_string(n);
            item.source.menuclip = "/clips/movie.mpg";
            item.source.menuframe = n * 100;
            item.source.ThumbnailImage = makePicture(640, 480, n);
        }
        return d;
    }();
    return doc;
}

// "Better speed" preview of a 720 x 576 menu in a 522 x 496 panel. Goal: 2 ms.
void BM_PreviewFast(benchmark::State& state)
{
    const MenuDocument& doc = benchDocument();
    Picture target(512, 409);
    Picture scratch;
    for (auto _ : state) {
        PictureCanvas canvas(target);
        DrawMenu(doc, canvas, scratch, false);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_PreviewFast)->Unit(benchmark::kMillisecond);

// "Better quality" preview, every picture rescaled on every drawing.
void BM_PreviewQualityUncached(benchmark::State& state)
{
    const MenuDocument& doc = benchDocument();
    Picture target(512, 409);
    Picture scratch;
    for (auto _ : state) {
        PictureCanvas canvas(target);
        DrawMenu(doc, canvas, scratch, true);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_PreviewQualityUncached)->Unit(benchmark::kMillisecond);

// "Better quality" preview redrawn after a keystroke, rescales reused. Goal: 25 ms median.
void BM_PreviewQualityCached(benchmark::State& state)
{
    const MenuDocument& doc = benchDocument();
    Picture target(512, 409);
    Picture scratch;
    ScaledPictureCache cache;
    {
        PictureCanvas canvas(target);
        DrawMenu(doc, canvas, scratch, true, &cache);
    }
    for (auto _ : state) {
        PictureCanvas canvas(target);
        DrawMenu(doc, canvas, scratch, true, &cache);
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_PreviewQualityCached)->Unit(benchmark::kMillisecond);

// The export composition at 720 x 576, always filtered. Goal: 40 ms.
void BM_ExportCompose(benchmark::State& state)
{
    const MenuDocument& doc = benchDocument();
    Picture scratch;
    for (auto _ : state) {
        Picture image = ComposeMenuImage(doc, scratch);
        benchmark::DoNotOptimize(image.data());
    }
}
BENCHMARK(BM_ExportCompose)->Unit(benchmark::kMillisecond);

// The fast preview with the geometry and the legibility check, as the editor runs it on
// every composition. Goal: at most 2 ms more than BM_PreviewFast.
void BM_PreviewFastChecked(benchmark::State& state)
{
    const MenuDocument& doc = benchDocument();
    Picture target(512, 409);
    Picture scratch;
    for (auto _ : state) {
        MenuGeometry geometry;
        {
            PictureCanvas canvas(target);
            DrawMenu(doc, canvas, scratch, false, nullptr, &geometry);
        }
        benchmark::DoNotOptimize(CheckLegibility(doc, geometry, target));
    }
}
BENCHMARK(BM_PreviewFastChecked)->Unit(benchmark::kMillisecond);

// The export with its check, as the headless commands run it. Goal: at most 5 ms more
// than BM_ExportCompose.
void BM_ExportComposeChecked(benchmark::State& state)
{
    const MenuDocument& doc = benchDocument();
    Picture scratch;
    for (auto _ : state) {
        MenuGeometry geometry;
        Picture image = ComposeMenuImage(doc, scratch, &geometry);
        benchmark::DoNotOptimize(CheckLegibility(doc, geometry, image));
    }
}
BENCHMARK(BM_ExportComposeChecked)->Unit(benchmark::kMillisecond);

// "TV-safe output" of a 720 x 576 frame whose colours are mostly outside the TV gamut
// (the worst case: most pixels are toned), with the copy it works on. It runs on every
// preview and export with the option on. Goal: 4 ms.
void BM_TvSafe(benchmark::State& state)
{
    const Picture source = makePicture(720, 576, 7);
    Picture picture;
    for (auto _ : state) {
        picture = source;
        MakeTvSafe(picture);
        benchmark::DoNotOptimize(picture.data());
    }
}
BENCHMARK(BM_TvSafe)->Unit(benchmark::kMillisecond);

// A 16:9 export: laid out on 1024 x 576 and squeezed to 720 x 576. Goal: at most 15 ms
// more than BM_ExportCompose.
void BM_ExportComposeWide(benchmark::State& state)
{
    static const MenuDocument wide = [] {
        MenuDocument d = benchDocument();
        d.aspect = MenuAspect::Wide;
        return d;
    }();
    Picture scratch;
    for (auto _ : state) {
        Picture image = ComposeMenuImage(wide, scratch);
        benchmark::DoNotOptimize(image.data());
    }
}
BENCHMARK(BM_ExportComposeWide)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarksWithText(argc, argv);
}
