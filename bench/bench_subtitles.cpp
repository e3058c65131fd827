#include "subtitles/subtitlepainter.h"
#include "textbenchmain.h"

#include <benchmark/benchmark.h>

namespace {

// One two-line cue drawn and made a PNG, as each cue of a title is. A feature film has
// some 1500 cues: goal 4 ms of processor time each, so that subtitles add seconds to a
// disc, not minutes (3.3 ms 4:3, 2.3 ms 16:9 here).
void BM_SubtitleCue(benchmark::State& state)
{
    const SubpictureFrame frame{720, 576, state.range(0) != 0};
    SubtitlePainter painter(frame);
    const std::vector<std::string> lines{"I never said she stole my money,",
                                         "but somebody did, and it was not me."};
    for (auto _ : state) {
        const SubpictureImage image = painter.paint(lines);
        const IndexedImageView view{image.index.data(), image.width, image.height, image.width};
        benchmark::DoNotOptimize(EncodePalettePng(view, image.palette));
    }
}
BENCHMARK(BM_SubtitleCue)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarksWithText(argc, argv);
}
