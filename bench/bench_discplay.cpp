// The disc's self-check on a disc of ten titles. Goal: a full disc checked in seconds.
// Playing is quick whatever the titles' length, since each title is played from near its
// end; the streams are read whole at disk speed, with 8 to 48 GOPs of each decoded. Under
// 3 s of processor time for these ten 20 s titles (156 MB) on these 2 cores; the playing
// alone takes 0.03 s of it.
#include "../tests/moviemaker.h"
#include "disc/discmenuexport.h"
#include "discplay/disccheck.h"
#include "quickrun.h"
#include "textbenchmain.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const int kTitles = QuickBenchRun() ? 3 : 10;
const int kTitleSeconds = QuickBenchRun() ? 2 : 20;

fs::path Folder()
{
    static const fs::path folder =
        fs::temp_directory_path() / ("bench_discplay_" + std::to_string(::getpid()));
    return folder;
}

// One page of kTitles buttons, one titleset per title, each title coming back to its
// button: the disc structure the program authors. Returns the folder holding VIDEO_TS.
std::string AuthorDisc()
{
    const fs::path dir = Folder();
    fs::create_directories(dir);
    MovieSpec title;
    title.path = (dir / "title.mpg").string();
    title.codec = "mpeg2video";
    title.format = "dvd";
    title.width = 720;
    title.height = 576;
    title.frames = 25 * kTitleSeconds;
    title.gop = 12;
    title.videoBitRate = 6'000'000;
    title.sarNum = 16;
    title.sarDen = 15;
    title.audioChannels = 2;
    title.texture = true; // moving detail, so that the titles have a real size
    if (!MakeMovie(title).empty())
        return {};
    MenuDocument doc;
    doc.selectVideoMode(3);
    doc.menucount = kTitles;
    doc.RenderEnabled = true;
    ExportDiscMenu(doc, (dir / "menu").string());

    const std::string video = "<video format=\"pal\" aspect=\"4:3\"/>";
    std::string xml = "<dvdauthor dest=\"disc\"><vmgm><menus>" + video +
                      "<pgc entry=\"title\"><pre>if (g1 gt 0) button = g1;</pre>"
                      "<vob file=\"menu/menu.mpg\" pause=\"inf\"/>";
    for (int t = 1; t <= kTitles; ++t)
        xml += "<button name=\"b" + std::to_string(t) + "\">jump title " + std::to_string(t) +
               ";</button>";
    xml += "</pgc></menus></vmgm>";
    for (int t = 1; t <= kTitles; ++t)
        xml += "<titleset><menus>" + video +
               "<pgc entry=\"root\"><pre>jump vmgm menu 1;</pre></pgc></menus><titles>" + video +
               "<pgc><pre>g1 = " + std::to_string(t * 1024) +
               ";</pre><vob file=\"title.mpg\"/><post>call vmgm menu 1;</post></pgc></titles>"
               "</titleset>";
    std::ofstream(dir / "dvdauthor.xml") << xml << "</dvdauthor>\n";
    const std::string command =
        "cd '" + dir.string() + "' && dvdauthor -o disc -x dvdauthor.xml >dvdauthor.log 2>&1";
    return std::system(command.c_str()) == 0 ? (dir / "disc").string() : std::string();
}

void BM_VerifyDisc(benchmark::State& state)
{
    static const std::string disc = AuthorDisc();
    if (disc.empty()) {
        state.SkipWithError("cannot author the disc (is dvdauthor installed?)");
        return;
    }
    bool passed = true;
    for (auto _ : state)
        passed = passed && VerifyDisc(disc).passed();
    if (!passed)
        state.SkipWithError("the disc did not pass its check");
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(disc) / "VIDEO_TS"))
        bytes += entry.file_size();
    state.counters["titles"] = kTitles;
    state.counters["disc_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_VerifyDisc)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    const int status = RunBenchmarksWithText(argc, argv);
    std::error_code ignored;
    fs::remove_all(Folder(), ignored);
    return status;
}
