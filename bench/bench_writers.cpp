// Encoding speed of the export writers on a 720 x 576 menu-like picture, and of PNG on
// the same picture at 4K. Targets: GIF at most 25 ms; PNG no slower than Pillow's
// compress_level=7 save of the same pixels, and at 4K at most 0.4x the processor time
// of Pillow's default save (timed in the same run) and no larger; JPEG within 1.2x
// Pillow's quality-100 save.
// TAVREL_WRITERS_RAW=<file> also writes the picture as raw R,G,B bytes (720 x 576)
// so that other encoders can be timed on identical data.
#include "base/picture.h"
#include "codecs/gifencoder.h"
#include "codecs/pngencoder.h"
#include "imageio/bmpencoder.h"
#include "imageio/jpegencoder.h"
#include "imageio/picturewriter.h"
#include "pillow.h"
#include "quickrun.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>

namespace {

// A photographic-like background (smooth gradients with grain) under flat panels
// carrying text-like strokes, as a composed menu has.
// The layout is drawn for 720 x 576 and stretched to the size asked for.
Picture menuPicture(int width = 720, int height = 576)
{
    Picture picture(width, height);
    std::mt19937 random(42);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = x / double(width);
            const double v = y / double(height);
            const int grain = static_cast<int>(random() % 17) - 8;
            const double r = 120 + 90 * std::sin(3.1 * u + 1.3 * v) + grain;
            const double g = 100 + 70 * std::cos(2.3 * v - 0.7 * u) + grain;
            const double b = 140 + 60 * std::sin(5.0 * u * v + 0.4) + grain;
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(std::clamp(r, 0.0, 255.0));
            p[1] = static_cast<std::uint8_t>(std::clamp(g, 0.0, 255.0));
            p[2] = static_cast<std::uint8_t>(std::clamp(b, 0.0, 255.0));
        }
    const double sx = width / 720.0;
    const double sy = height / 576.0;
    auto fillRect = [&](int x0, int y0, int w, int h, std::uint8_t r, std::uint8_t g,
                        std::uint8_t b) {
        x0 = static_cast<int>(x0 * sx);
        w = static_cast<int>(std::ceil(w * sx));
        y0 = static_cast<int>(y0 * sy);
        h = static_cast<int>(std::ceil(h * sy));
        for (int y = y0; y < y0 + h && y < height; ++y)
            for (int x = x0; x < x0 + w && x < width; ++x) {
                std::uint8_t* p = picture.pixel(x, y);
                p[0] = r;
                p[1] = g;
                p[2] = b;
            }
    };
    // Title and caption text: rows of glyph-sized strokes on flat bands.
    auto text = [&](int x0, int y0, int length, int size) {
        for (int i = 0; i < length; ++i) {
            const int gx = x0 + i * size * 3 / 4;
            fillRect(gx, y0, size / 6 + 1, size, 255, 255, 255);
            fillRect(gx, y0 + (i % 3) * size / 3, size / 2, size / 6 + 1, 255, 255, 255);
        }
    };
    fillRect(40, 30, 640, 70, 20, 30, 90);
    text(80, 45, 20, 40);
    for (int item = 0; item < 6; ++item) {
        const int x = 60 + (item % 3) * 210;
        const int y = 150 + (item / 3) * 190;
        fillRect(x, y, 180, 120, 10, 10, 10);
        fillRect(x + 4, y + 4, 172, 112, static_cast<std::uint8_t>(40 * item), 90, 160);
        text(x + 10, y + 130, 10, 18);
    }
    text(200, 540, 24, 16);
    return picture;
}

const Picture& picture()
{
    static const Picture p = [] {
        Picture made = menuPicture();
        if (const char* raw = std::getenv("TAVREL_WRITERS_RAW")) {
            std::ofstream out(raw, std::ios::binary);
            for (int y = 0; y < made.height(); ++y)
                out.write(reinterpret_cast<const char*>(made.row(y)), 3 * made.width());
        }
        return made;
    }();
    return p;
}

// A 4K export: the largest picture a user is likely to save.
const Picture& picture4k()
{
    static const Picture p = menuPicture(3840, 2160);
    return p;
}

void png4k(benchmark::State& state)
{
    const ImageView view = viewOf(picture4k());
    std::size_t size = 0;
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes = EncodePng(view);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = static_cast<double>(size);
}

// Pillow's PNG save of the same pixels (its defaults: level 6, a filter chosen per row).
// Goal: ours in 0.4x its time or less, and no larger.
void pillowPng4k(benchmark::State& state)
{
    const Picture& p = picture4k();
    const PillowRun run =
        RunPillow(p.row(0), p.stride(), p.width(), p.height(),
                  "(lambda b: (im.save(b, 'PNG'), b.tell())[1])(io.BytesIO())", QuickOr(3));
    ReportPillow(state, run);
    state.counters["bytes"] = run.result;
}

template <std::vector<std::uint8_t> (*Encode)(const ImageView&)>
void encodeMenu(benchmark::State& state)
{
    const ImageView view = viewOf(picture());
    std::size_t size = 0;
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes = Encode(view);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = static_cast<double>(size);
}

} // namespace

BENCHMARK(encodeMenu<EncodeGif>)->Name("Gif720x576")->Unit(benchmark::kMillisecond);
BENCHMARK(encodeMenu<EncodePng>)->Name("Png720x576")->Unit(benchmark::kMillisecond);
BENCHMARK(encodeMenu<EncodeJpeg>)->Name("Jpeg720x576")->Unit(benchmark::kMillisecond);
BENCHMARK(encodeMenu<EncodeBmp>)->Name("Bmp720x576")->Unit(benchmark::kMillisecond);
BENCHMARK(png4k)->Name("Png3840x2160")->Unit(benchmark::kMillisecond);
BENCHMARK(pillowPng4k)
    ->Name("PillowPng3840x2160")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
