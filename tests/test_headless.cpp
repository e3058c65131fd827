#include "app/headless.h"
#include "childrun.h"
#include "imageio/imageunit.h"
#include "testmovies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override { dir = FreshTestDir("headless"); }
    void TearDown() override { fs::remove_all(dir); }

    // `env` is put before the command as it stands ("PATH=/x" or empty).
    Outcome tavrel(const std::vector<std::string>& args, const std::string& env = "")
    {
        return RunTavrel(dir, args, env);
    }

    std::string write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }

    fs::path dir;
};

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Colour of (x, y) in a bottom-up 24-bit BMP, as 0xRRGGBB.
std::uint32_t bmpPixel(const std::string& bmp, int width, int height, int x, int y)
{
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    const std::size_t at =
        54 + static_cast<std::size_t>(height - 1 - y) * rowBytes + static_cast<std::size_t>(x) * 3;
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[i]));
    };
    return (byte(at + 2) << 16) | (byte(at + 1) << 8) | byte(at);
}

TEST(HeadlessInvocation, OnlyDoubleDashOptionsMakeACommand)
{
    auto check = [](std::vector<std::string> args) {
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        return IsHeadlessInvocation(static_cast<int>(args.size()), argv.data());
    };
    EXPECT_FALSE(check({"tavrel"}));
    EXPECT_FALSE(check({"tavrel", "menu.tavrel"}));
    EXPECT_FALSE(check({"tavrel", "-x"}));
    EXPECT_TRUE(check({"tavrel", "--help"}));
    EXPECT_TRUE(check({"tavrel", "menu.tavrel", "--export", "a.bmp"}));
}

TEST_F(HeadlessTest, ExportedGridStandsWhereTheLayoutSays)
{
    const Outcome run = tavrel({"--export", "x.bmp", "--size", "3", "--set", "title=Hello"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bmp = ReadWholeFile(dir / "x.bmp");
    ASSERT_EQ(bmp.size(), 1244214u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    const int w = 720, h = 576, bw = 122, bh = 98;
    for (int y : {161, 334}) {
        for (int x : {25, 162, 299, 436, 573}) {
            SCOPED_TRACE("box at " + std::to_string(x) + "," + std::to_string(y));
            EXPECT_EQ(bmpPixel(bmp, w, h, x - 1, y - 1), 0x000000u); // outer outline
            EXPECT_EQ(bmpPixel(bmp, w, h, x, y), 0x000000u);         // inner outline
            EXPECT_EQ(bmpPixel(bmp, w, h, x + bw, y + bh), 0x000000u);
            EXPECT_EQ(bmpPixel(bmp, w, h, x + bw - 1, y + bh / 2), 0x000000u);
            EXPECT_EQ(bmpPixel(bmp, w, h, x + 1, y + 1), 0xFFFFFFu); // the background inside
            EXPECT_EQ(bmpPixel(bmp, w, h, x - 2, y + bh / 2), 0xFFFFFFu);
            EXPECT_EQ(bmpPixel(bmp, w, h, x + bw + 1, y + bh / 2), 0xFFFFFFu);
        }
    }
    // The title stands on the line 0.155 H: some ink between its top and that line.
    bool ink = false;
    for (int y = 89 - 58; y < 89 && !ink; ++y)
        for (int x = 0; x < w && !ink; ++x)
            ink = bmpPixel(bmp, w, h, x, y) != 0xFFFFFFu;
    EXPECT_TRUE(ink);
}

TEST_F(HeadlessTest, SavedProjectExportsTheSameImage)
{
    // A 2 x 2 24-bit BMP for item 3's thumbnail.
    const unsigned char bmp[] = {
        'B', 'M', 70, 0, 0,  0, 0, 0, 0,   0, 54,  0, 0, 0, 40,  0, 0, 0, 2,   0,   0,   0, 2, 0,
        0,   0,   1,  0, 24, 0, 0, 0, 0,   0, 16,  0, 0, 0, 0,   0, 0, 0, 0,   0,   0,   0, 0, 0,
        0,   0,   0,  0, 0,  0, 0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0};
    const std::string picture =
        write("pic.bmp", std::string(reinterpret_cast<const char*>(bmp), sizeof bmp));
    Outcome run = tavrel(
        {"--save", "p.tavrel",         "--export", "a.bmp",
         "--set",  "title=Hi",         "--set",    "menucount=4",
         "--set",  "TextColor=0000ff", "--set",    "menustart=2000",
         "--set",  "menucaption2=Two", "--set",    "menuclip3=" + picture,
         "--set",  "menuframe3=-1",    "--set",    "subtitle=Caf\xE9"}); // a Windows-1252 argument
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string project = ReadWholeFile(dir / "p.tavrel");
    EXPECT_TRUE(contains(project, "\r\ntitle=Hi\r\n"));
    EXPECT_TRUE(contains(project, "\r\ntextcolor=0000FF\r\n"));
    EXPECT_TRUE(contains(project, "\r\nmenustart=990\r\n"));
    EXPECT_TRUE(contains(project, "\r\nmenuframe3=-1\r\n"));
    EXPECT_TRUE(contains(project, "\r\nsubtitle=Caf\xC3\xA9\r\n"));

    run = tavrel({"--export", "b.bmp", "p.tavrel"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string a = ReadWholeFile(dir / "a.bmp");
    EXPECT_EQ(a.size(), 1013814u);
    EXPECT_TRUE(a == ReadWholeFile(dir / "b.bmp"));
}

TEST_F(HeadlessTest, BadOptionsAndValuesExitWithTwo)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"--export"}, "--export needs a value"},
        {{"--set", "title=x"}, "nothing to do"},
        {{"--export", "a.bmp", "--set", "colour=1"}, "unknown key 'colour'"},
        {{"--export", "a.bmp", "--set", "id=Tavrel"}, "unknown key 'id'"},
        {{"--export", "a.bmp", "--set", "notitle"}, "KEY=VALUE"},
        {{"--export", "a.bmp", "--set", "menustart=abc"}, "'abc' is not a valid integer value"},
        {{"--export", "a.bmp", "--set", "bgcolor=xyz"}, "'$xyz' is not a valid integer value"},
        {{"--export", "a.bmp", "--set", "thumbs=yes"}, "'yes' is not true or false"},
        {{"--export", "a.bmp", "--set", "aspect=21:9"}, "'21:9' is not pixels, 4:3 or 16:9"},
        {{"--export", "a.bmp", "--set", "buttonstyle=glow"}, "'glow' is not underline"},
        {{"--export", "a.bmp", "--size", "4"}, "--size takes 0, 1, 2 or 3"},
        {{"--export", "a.bmp", "--type", "tiff"}, "--type takes"},
        {{"--export", "a.bmp", "one.tavrel", "two.tavrel"}, "more than one project file"},
        {{"--export", "a.tif"}, "cannot tell the image type of 'a.tif'"},
    };
    for (const auto& [args, reason] : cases) {
        const Outcome run = tavrel(args);
        SCOPED_TRACE(args[0] + " ... " + reason);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(contains(run.err, reason)) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir / "a.bmp"));
    EXPECT_FALSE(fs::exists(dir / "a.tif"));

    const Outcome help = tavrel({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "--export FILE"));
}

TEST_F(HeadlessTest, LoadErrorsExitWithThreeAndWriteNothing)
{
    const std::string headerOnly = write("short.tavrel", "id=Tavrel\r\nversion=100\r\n");
    Outcome run = tavrel({"--export", "out.bmp", "--save", "out.tavrel", headerOnly});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(contains(run.err, "'' is not a valid integer value")) << run.err;

    run = tavrel({"--export", "out.bmp", (dir / "nothere.tavrel").string()});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(contains(run.err, "Cannot open file " + (dir / "nothere.tavrel").string()))
        << run.err;

    const std::string wrong = write("wrong.tavrel", "id=tavrel\r\nversion=100\r\n");
    run = tavrel({"--export", "out.bmp", wrong});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(contains(run.err, "Invalid file format")) << run.err;

    EXPECT_FALSE(fs::exists(dir / "out.bmp"));
    EXPECT_FALSE(fs::exists(dir / "out.tavrel"));
}

TEST_F(HeadlessTest, WriteFailuresExitWithOne)
{
    const std::string noFolder = (dir / "no" / "a.bmp").string();
    Outcome run = tavrel({"--export", noFolder});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "Error saving " + noFolder)) << run.err;

    const std::string noProject = (dir / "no" / "p.tavrel").string();
    run = tavrel({"--save", noProject});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "Cannot create file " + noProject)) << run.err;
}

TEST_F(HeadlessTest, DiscMenuSaysWhatItWroteAndExitsFiveWithoutSpumux)
{
    Outcome run = tavrel({"--disc-menu", "disc", "--size", "3", "--set", "menucount=3"});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* name : {"menu.png", "highlight.png", "select.png", "spumux.xml", "menu_bg.mpg",
                             "menu.mpg", "dvdauthor.xml"}) {
        EXPECT_TRUE(fs::is_regular_file(dir / "disc" / name)) << name;
        EXPECT_TRUE(contains(run.err, std::string("disc/") + name + " saved")) << name;
    }

    // No spumux on the PATH: the rest is written, the way to finish said, status 5.
    run = tavrel({"--disc-menu", "nospumux", "--size", "2"}, "PATH=/nonexistent");
    EXPECT_EQ(run.status, 5) << run.err;
    EXPECT_TRUE(contains(run.err, "spumux was not found")) << run.err;
    EXPECT_TRUE(contains(run.err, "spumux spumux.xml < menu_bg.mpg > menu.mpg")) << run.err;
    EXPECT_TRUE(fs::is_regular_file(dir / "nospumux" / "dvdauthor.xml"));
    EXPECT_FALSE(fs::exists(dir / "nospumux" / "menu.mpg"));

    // A VCD size has no buttons: the still and a word about it.
    run = tavrel({"--disc-menu", "vcd", "--size", "0"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "VCD")) << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "vcd"), fs::directory_iterator()), 1);

    run = tavrel({"--disc-menu", ""});
    EXPECT_EQ(run.status, 2);
    const Outcome help = tavrel({"--help"});
    EXPECT_TRUE(contains(help.out, "--disc-menu DIR"));
    EXPECT_TRUE(contains(help.out, "5 spumux is missing"));
}

TEST_F(HeadlessTest, UnloadableSourceStopsTheMenuButNotTheProjectSave)
{
    // A menu without its thumbnail is not the one the project describes: status 3, the
    // item and the cause named, nothing written.
    const std::string gone = (dir / "gone.jpg").string();
    const std::string notMovie = write("clip.mpg", "not a movie at all");
    for (const std::string out : {"--export=a.bmp", "--disc-menu=disc"}) {
        const Outcome run = tavrel({out, "--save", "p.tavrel", "--size", "2", "--set",
                                    "menuclip2=" + gone, "--set", "menuframe2=-1"});
        EXPECT_EQ(run.status, 3) << out;
        EXPECT_TRUE(contains(run.err, gone + " (item 2) not found")) << run.err;
        const Outcome movie = tavrel(
            {out, "--size", "2", "--set", "menuclip4=" + notMovie, "--set", "menuframe4=25"});
        EXPECT_EQ(movie.status, 3) << out;
        EXPECT_TRUE(
            contains(movie.err, "Cannot open movie clip.mpg: the file is damaged or not a movie"))
            << movie.err;
        EXPECT_TRUE(contains(movie.err, "Cannot read clip.mpg (item 4); nothing written"))
            << movie.err;
        EXPECT_FALSE(fs::exists(dir / "a.bmp") || fs::exists(dir / "disc") ||
                     fs::exists(dir / "p.tavrel"));
    }

    // A project holds paths, not pictures: saving it alone reports and goes on.
    const Outcome movie =
        tavrel({"--save", "p.tavrel", "--set", "menuclip4=" + notMovie, "--set", "menuframe4=25"});
    EXPECT_EQ(movie.status, 0);
    EXPECT_TRUE(contains(ReadWholeFile(dir / "p.tavrel"), "\r\nmenuframe4=0\r\n"));
}

// A background of the export's own size is rescaled 1:1, so with no texts and no items
// the exported picture is the background picture itself.
TEST_F(HeadlessTest, FontsByPlainNameAndMetricSubstitutesKeepTheirNames)
{
    // Arial is not installed here, but Liberation Sans stands in for it with its measures.
    Outcome run = tavrel({"--save", "arial.tavrel", "--set", "textfont=arial"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(ReadWholeFile(dir / "arial.tavrel"), "\r\ntextfont=Arial\r\n")) << run.err;
    EXPECT_FALSE(contains(run.err, "not installed")) << run.err;

    run = tavrel({"--save", "none.tavrel", "--set", "textfont=No Such Face"});
    EXPECT_TRUE(contains(run.err, "font 'No Such Face' is not installed")) << run.err;
    EXPECT_TRUE(contains(ReadWholeFile(dir / "none.tavrel"), "\r\ntextfont=\r\n"));
}

// A project moved with its sources: found beside it, told as one line per source.
TEST_F(HeadlessTest, MovedProjectFindsItsSources)
{
    fs::create_directories(dir / "before");
    Picture green(8, 6);
    green.fill(0, 255, 0);
    ASSERT_TRUE(SaveAsBMP((dir / "before" / "cover.bmp").string(), green));
    const std::string old = (dir / "before" / "cover.bmp").string();
    ASSERT_EQ(tavrel({"--save", (dir / "before" / "p.tavrel").string(), "--set", "menuclip1=" + old,
                      "--set", "menuframe1=-1", "--set", "bgimage=" + old})
                  .status,
              0);
    fs::rename(dir / "before", dir / "after");
    const Outcome run = tavrel({"--save", "out.tavrel", (dir / "after" / "p.tavrel").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string now = (dir / "after" / "cover.bmp").string();
    EXPECT_TRUE(contains(run.err, old + " (item 1) not found; using " + now)) << run.err;
    EXPECT_TRUE(contains(run.err, old + " (background) not found; using " + now)) << run.err;
    const std::string saved = ReadWholeFile(dir / "out.tavrel");
    EXPECT_TRUE(contains(saved, "\r\nmenuclip1=" + now + "\r\n"));
    EXPECT_TRUE(contains(saved, "\r\nbgimage=" + now + "\r\n"));

    // --dvd reads the project, then its --set values: the note comes once all the same.
    const Outcome disc = tavrel({"--dvd", "disc", (dir / "after" / "p.tavrel").string()});
    const std::string note = old + " (background) not found; using " + now;
    EXPECT_NE(disc.err.find(note), std::string::npos) << disc.err;
    EXPECT_EQ(disc.err.find(note), disc.err.rfind(note)) << disc.err;
}

TEST_F(HeadlessTest, FullSizeBackgroundComesOutUnchanged)
{
    Picture background(720, 576);
    std::uint32_t seed = 12345;
    for (int y = 0; y < 576; ++y)
        for (int x = 0; x < 720; ++x)
            for (int c = 0; c < 3; ++c) {
                seed = seed * 1103515245u + 12345u;
                background.pixel(x, y)[c] = static_cast<std::uint8_t>(seed >> 24);
            }
    const std::string png = (dir / "background.png").string();
    ASSERT_TRUE(SaveAsPNG(png, background));

    const Outcome run =
        tavrel({"--export", "menu.bmp", "--size", "3", "--set", "bgimage=" + png, "--set",
                "title=", "--set", "subtitle=", "--set", "footnote=", "--set", "menucount=0"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bmp = ReadWholeFile(dir / "menu.bmp");
    ASSERT_EQ(bmp.size(), 1244214u);
    int differences = 0;
    for (int y = 0; y < 576; ++y)
        for (int x = 0; x < 720; ++x) {
            const std::uint8_t* p = background.pixel(x, y);
            const std::uint32_t expected =
                (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
            differences += bmpPixel(bmp, 720, 576, x, y) != expected;
        }
    EXPECT_EQ(differences, 0);
}

// File names are bytes: names that are not UTF-8 are found and loaded as they are.
TEST_F(HeadlessTest, FileNamesThatAreNotUtf8AreFoundAndLoaded)
{
    const std::string folder = (dir / "Men\xFC").string(); // Latin-1
    fs::create_directories(folder);
    Picture green(72, 58);
    green.fill(20, 200, 40);
    const std::string background = folder + "/Hintergr\xFCnd.bmp";
    ASSERT_TRUE(SaveAsBMP(background, green));
    Picture red(40, 30);
    red.fill(220, 30, 30);
    const std::string thumbnail = folder + "/Bild\xE9\xFF\x80.png";
    ASSERT_TRUE(SaveAsPNG(thumbnail, red));

    const Outcome run =
        tavrel({"--export", "menu.bmp", "--size", "3", "--set", "bgimage=" + background, "--set",
                "menucount=1", "--set", "menuclip1=" + thumbnail, "--set", "menuframe1=-1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(contains(run.err, "Error")) << run.err;
    const std::string bmp = ReadWholeFile(dir / "menu.bmp");
    ASSERT_EQ(bmp.size(), 1244214u);
    // The rescaling filter's weights are not normalised: flat colours may move a little.
    auto near = [](std::uint32_t a, std::uint32_t b) {
        for (int shift : {0, 8, 16})
            if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > 4)
                return false;
        return true;
    };
    EXPECT_PRED2(near, bmpPixel(bmp, 720, 576, 5, 5), 0x14C828u) << "the background picture";
    // One item: the box at 230,184 of 259 x 207, the 4:3 picture fitted across its width.
    EXPECT_PRED2(near, bmpPixel(bmp, 720, 576, 230 + 259 / 2, 184 + 207 / 2), 0xDC1E1Eu)
        << "the thumbnail";
}

// --check prints "warning: ..." lines and exits 4 when there are some, 0 on a clean menu;
// an export prints the same warnings and still exits 0; 16:9 goes through --set.
TEST_F(HeadlessTest, CheckPrintsWarningsAndExitsWithFour)
{
    const std::vector<std::string> clean = {
        "--size",           "3",     "--set",       "bgcolor=602010", "--set",
        "textcolor=EBEBEB", "--set", "aspect=16:9", "--set",          "safelayout=true"};
    std::vector<std::string> args = {"--check"};
    args.insert(args.end(), clean.begin(), clean.end());
    Outcome o = tavrel(args);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err.find("warning:"), std::string::npos) << o.err;

    args.insert(args.end(),
                {"--set", "title=The Complete Family Holiday Collection of 2026, Part One"});
    o = tavrel(args);
    EXPECT_EQ(o.status, 4) << o.err;
    EXPECT_NE(("\n" + o.err).find("\nwarning: The title "), std::string::npos) << o.err;

    args[0] = "--export";
    args.insert(args.begin() + 1, "menu.png");
    o = tavrel(args);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("warning: The title "), std::string::npos) << o.err;
    ASSERT_TRUE(fs::exists(dir / "menu.png"));
    Picture image;
    ASSERT_TRUE(LoadPictureFile((dir / "menu.png").string(), image));
    EXPECT_EQ(image.width(), 720); // the squeezed frame, not the 1024-wide canvas

    args.insert(args.end(), {"--set", "fittext=true"});
    args[0] = "--check";
    args.erase(args.begin() + 1);
    o = tavrel(args);
    EXPECT_EQ(o.status, 0) << o.err;

    EXPECT_EQ(tavrel({"--check=yes"}).status, 2);
}

TEST_F(HeadlessTest, TypeOptionChoosesTheWriter)
{
    const Outcome run = tavrel({"--export", "menu.bmp", "--type", "png"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadWholeFile(dir / "menu.bmp").substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
}

} // namespace

// Movie thumbnails in the exported grid: each box shows the frame its item names.
namespace {

class HeadlessMovieTest : public HeadlessTest {
protected:
    static constexpr int kFrames = 80;

    // The frame number coded in a fitted picture's blocks (see moviemaker.h), read from
    // the middle of each block after the filtered rescale; -1 when a block is unclear.
    static int frameInBmp(const std::string& bmp, int left, int top, int width, int height)
    {
        int index = 0;
        for (int b = 0; b < 8; ++b) {
            const int cx = left + (b % 4) * width / 4 + width / 8;
            const int cy = top + (b / 4) * height / 2 + height / 4;
            int sum = 0, count = 0;
            for (int y = cy - 4; y <= cy + 4; ++y)
                for (int x = cx - 4; x <= cx + 4; ++x, ++count)
                    sum += static_cast<int>((bmpPixel(bmp, 720, 576, x, y) >> 8) & 0xFF);
            const int mean = sum / count;
            if (mean > 150)
                index |= 1 << b;
            else if (mean > 70)
                return -1;
        }
        return index;
    }
};

// FFmpeg's libraries double a command's start-up, so only a menu that takes a movie's frame
// loads them (the dynamic loader's own list of the files it opened is the judge).
TEST_F(HeadlessMovieTest, OnlyAMovieLoadsTheMediaLibraries)
{
    Outcome run = tavrel({"--export", "plain.png"}, "LD_DEBUG=files");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "libQt6Gui")) << "the judge sees nothing";
    EXPECT_FALSE(contains(run.err, "libavcodec") || contains(run.err, "libtavrel-media"));

    fs::copy_file(TestMoviePath("small.mpg"), dir / "clip.mpg");
    run = tavrel({"--export", "movie.png", "--set", "thumbs=true", "--set", "menucount=1", "--set",
                  "menuclip1=" + (dir / "clip.mpg").string(), "--set", "menuframe1=10"},
                 "LD_DEBUG=files");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "libtavrel-media.so") && contains(run.err, "libavcodec"));
    EXPECT_TRUE(contains(run.err, "1 movie clip")) << run.err;
}

TEST_F(HeadlessMovieTest, ExportedGridShowsTheStoredFramesAndSaveWritesTheClampedOnes)
{
    ASSERT_EQ(TestMovieNamed("small.mpg").spec.frames, kFrames);
    const std::string clip = (dir / "clip.mpg").string();
    const std::string red = (dir / "red.mpg").string();
    fs::copy_file(TestMoviePath("small.mpg"), clip);
    fs::copy_file(TestMoviePath("smallred.mpg"), red);
    const std::string broken = write("broken.mpg", std::string(4000, 'x'));

    // Items 1..10: frames 0, 37, last, beyond the end, a broken movie, 64, a red movie,
    // no source, a frame below -1 (read as a picture source), 42.
    const std::vector<std::pair<std::string, int>> items = {
        {clip, 0}, {clip, 37}, {clip, kFrames - 1}, {clip, 5000}, {broken, 25}, {clip, 64},
        {red, 1},  {"", 7},    {clip, -3},          {clip, 42}};
    std::string project =
        "id=Tavrel\r\nversion=100\r\nmenustart=1\r\nmenucount=10\r\nthumbs=true\r\n"
        "numbers=false\r\nbgimage=\r\nbgcolor=FFFFFF\r\ntextcolor=000000\r\ntextfont=\r\n"
        "boldtext=false\r\nshadowtext=false\r\ntitle=\r\nsubtitle=\r\nfootnote=\r\n"
        "titlesize=10\r\ncaptionsize=10\r\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        project += "menucaption" + n + "=\r\nmenuclip" + n + "=" + items[i].first +
                   "\r\nmenuframe" + n + "=" + std::to_string(items[i].second) + "\r\n";
    }
    project += "quality=false\r\n";
    write("movies.tavrel", project);

    // The broken movie (item 5) and the movie read as a picture (item 9) stop the export;
    // the save alone goes on.
    Outcome run =
        tavrel({"--export", "out.bmp", "--size", "3", "--save", "out.tavrel", "movies.tavrel"});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out.bmp") || fs::exists(dir / "out.tavrel"));
    run = tavrel({"--save", "out.tavrel", "movies.tavrel"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "7 movie clips loaded.")) << run.err;
    EXPECT_TRUE(contains(run.err, "Cannot open movie broken.mpg: the file is damaged or not a "
                                  "movie FFmpeg can read."))
        << run.err;
    const std::string clipName = clip.substr(clip.rfind('/') + 1);
    EXPECT_TRUE(contains(run.err, "Cannot read picture " + clipName +
                                      ": it is not a BMP, GIF, JPEG or PNG picture."))
        << run.err;
    run = tavrel({"--export", "out.bmp", "--size", "3", "--set", "menuclip5=", "--set",
                  "menuclip9=", "movies.tavrel"});
    ASSERT_EQ(run.status, 0) << run.err;

    const std::string bmp = ReadWholeFile(dir / "out.bmp");
    ASSERT_EQ(bmp.size(), 1244214u);
    // Boxes of 122 x 98; a 4:3 picture is wider in proportion, so it gets the full width
    // and R(122 / (4 / 3)) = 92 rows, 3 rows below the box's top.
    const int boxX[] = {25, 162, 299, 436, 573};
    const int boxY[] = {161, 334};
    const int expected[] = {0, 37, kFrames - 1, kFrames - 1, -1, 64, 1, -1, -1, 42};
    const int redItem = 7;
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE("item " + std::to_string(i + 1));
        const int x = boxX[i % 5], y = boxY[i / 5];
        if (expected[i] < 0) {
            // No picture: the double outline of the whole box, the background inside.
            EXPECT_EQ(bmpPixel(bmp, 720, 576, x, y), 0x000000u);
            EXPECT_EQ(bmpPixel(bmp, 720, 576, x + 1, y + 1), 0xFFFFFFu);
            EXPECT_EQ(bmpPixel(bmp, 720, 576, x + 61, y + 49), 0xFFFFFFu);
            continue;
        }
        EXPECT_EQ(bmpPixel(bmp, 720, 576, x, y + 3), 0x000000u);      // the picture's outline
        EXPECT_EQ(bmpPixel(bmp, 720, 576, x + 60, y + 1), 0xFFFFFFu); // background above it
        if (i + 1 != redItem) {
            EXPECT_EQ(frameInBmp(bmp, x, y + 3, 122, 92), expected[i]);
            continue;
        }
        // Red stays red: the frame's channels reach the export in their order.
        long sums[3] = {};
        for (int py = y + 10; py < y + 85; ++py)
            for (int px = x + 10; px < x + 112; ++px)
                for (int c = 0; c < 3; ++c)
                    sums[c] += (bmpPixel(bmp, 720, 576, px, py) >> (16 - 8 * c)) & 0xFF;
        EXPECT_GT(sums[0], sums[1] * 2) << "red against green";
        EXPECT_GT(sums[0], sums[2] * 2) << "red against blue";
    }

    // The save writes the frames actually taken: beyond the end becomes the frame count,
    // a broken movie 0, a frame below -1 a picture source's -1.
    const std::string saved = ReadWholeFile(dir / "out.tavrel");
    const int savedFrames[] = {0, 37, kFrames - 1, kFrames - 1, 0, 64, 1, 7, -1, 42};
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(contains(saved, "\r\nmenuframe" + std::to_string(i + 1) + "=" +
                                        std::to_string(savedFrames[i]) + "\r\n"))
            << "item " << i + 1;
    EXPECT_TRUE(contains(saved, "\r\nmenuclip5=" + broken + "\r\n"));
}

} // namespace
