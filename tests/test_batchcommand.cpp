#include "app/frommovies.h"
#include "childrun.h"
#include "imageio/imageunit.h"
#include "moviemaker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The value of `key` in a project file's text.
std::string projectValue(const std::string& project, const std::string& key)
{
    const std::string start = "\r\n" + key + "=";
    const auto at = project.find(start);
    if (at == std::string::npos)
        return "<missing>";
    const auto begin = at + start.size();
    return project.substr(begin, project.find("\r\n", begin) - begin);
}

// Moving squares over a shade that differs per movie; the first frames black.
void paintMovie(AVFrame* f, int width, int height, int i, int shade)
{
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = 0; x < width; ++x)
            row[x] =
                i < 5 ? 16 : static_cast<std::uint8_t>(((x + i) / 8 + y / 8) % 2 ? shade : 230);
    }
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < height / 2; ++y)
            std::memset(f->data[plane] + y * f->linesize[plane], 128,
                        static_cast<std::size_t>(width / 2));
}

class BatchCommandTest : public ::testing::Test {
protected:
    void SetUp() override { dir = FreshTestDir("batchcommand"); }
    void TearDown() override { fs::remove_all(dir); }

    // `environment`: assignments put before the command ("PATH=/nowhere").
    Outcome tavrel(const std::vector<std::string>& args, const std::string& environment = "")
    {
        return RunTavrel(dir, args, environment);
    }

    std::string movie(const fs::path& path, int shade, bool black = false)
    {
        fs::create_directories(path.parent_path());
        MovieSpec spec;
        spec.path = path.string();
        spec.width = 96;
        spec.height = 64;
        spec.frames = 60;
        spec.gop = 12;
        spec.paint = [=](AVFrame* f, int i) { paintMovie(f, 96, 64, black ? 0 : i, shade); };
        EXPECT_EQ(MakeMovie(spec), "");
        return spec.path;
    }

    std::string write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }

    fs::path dir;
};

TEST(CaptionFromFileName, DropsFolderAndExtension)
{
    EXPECT_EQ(CaptionFromFileName("/a/b.c/Day_1.beach.mpg"), "Day 1 beach");
    EXPECT_EQ(CaptionFromFileName("__x__y_.avi"), "x y");
    EXPECT_EQ(CaptionFromFileName("plain"), "plain");
}

TEST_F(BatchCommandTest, FromMoviesMakesOneItemPerMovie)
{
    const fs::path folder = dir / "Summer_Holiday";
    const std::vector<std::string> names = {"Day_1.beach.mpg", "day_2_party.mpg", "Boat.mpg",
                                            "the.last.night.mpg", "Home_again.mpg"};
    std::vector<std::string> args = {"--from-movies"};
    for (std::size_t i = 0; i < names.size(); ++i)
        args.push_back(movie(folder / names[i], 40 + 30 * static_cast<int>(i)));
    // The title comes from the folder as it is, not from the "." of the path given.
    args[1] = (folder / "." / names[0]).string();
    args.insert(args.end(), {"--size", "3", "--save", "m.tavrel", "--export", "m.png", "--set",
                             "menucaption5=Home"});
    const Outcome run = tavrel(args);
    ASSERT_EQ(run.status, 0) << run.err;

    const std::string project = ReadWholeFile(dir / "m.tavrel");
    EXPECT_EQ(projectValue(project, "title"), "Summer Holiday");
    EXPECT_EQ(projectValue(project, "subtitle"), "");
    EXPECT_EQ(projectValue(project, "footnote"), "");
    EXPECT_EQ(projectValue(project, "menucount"), "5");
    const std::vector<std::string> captions = {"Day 1 beach", "day 2 party", "Boat",
                                               "the last night", "Home"};
    for (int n = 1; n <= 5; ++n) {
        const std::string i = std::to_string(n);
        SCOPED_TRACE("item " + i);
        EXPECT_EQ(projectValue(project, "menucaption" + i), captions[std::size_t(n - 1)]);
        EXPECT_EQ(projectValue(project, "menuclip" + i),
                  (folder / names[std::size_t(n - 1)]).string());
        // Chosen between 5 % and 95 % of the 60 frames, past the black start.
        const int frame = std::stoi(projectValue(project, "menuframe" + i));
        EXPECT_GE(frame, 5);
        EXPECT_LE(frame, 57);
    }
    EXPECT_EQ(projectValue(project, "menuclip6"), "");

    // The stored frames give the same picture when the project is exported again.
    const Outcome again = tavrel({"--size", "3", "--export", "again.png", "m.tavrel"});
    ASSERT_EQ(again.status, 0) << again.err;
    Picture first, second;
    ASSERT_TRUE(LoadPictureFile((dir / "m.png").string(), first));
    ASSERT_TRUE(LoadPictureFile((dir / "again.png").string(), second));
    EXPECT_EQ(first.width(), 720);
    EXPECT_TRUE(first.samePixels(second));

    // More than ten: the first ten, said clearly.
    std::vector<std::string> many = {"--from-movies", "--save", "many.tavrel"};
    for (int i = 0; i < 12; ++i)
        many.push_back(args[1 + static_cast<std::size_t>(i % 5)]);
    const Outcome tooMany = tavrel(many);
    ASSERT_EQ(tooMany.status, 0) << tooMany.err;
    EXPECT_TRUE(contains(tooMany.err, "12 movies given, but a menu holds ten")) << tooMany.err;
    EXPECT_EQ(projectValue(ReadWholeFile(dir / "many.tavrel"), "menucount"), "10");
}

TEST_F(BatchCommandTest, BlackMovieStillGivesAMenu)
{
    const std::string black = movie(dir / "black.mpg", 0, true);
    Outcome run = tavrel({"--from-movies", black, "--export", "black.png", "--save", "b.tavrel"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "black.png"));
    EXPECT_TRUE(std::regex_match(projectValue(ReadWholeFile(dir / "b.tavrel"), "menuframe1"),
                                 std::regex("[0-9]+")));

    // menuframeN=auto works in the plain command too, whatever the order of the settings.
    run = tavrel({"--save", "s.tavrel", "--set", "menuframe2=auto", "--set", "menuclip2=" + black});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::regex_match(projectValue(ReadWholeFile(dir / "s.tavrel"), "menuframe2"),
                                 std::regex("[0-9]+")));

    run = tavrel({"--from-movies", (dir / "none.mpg").string(), "--export", "x.png"});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(contains(run.err, "Cannot open file")) << run.err;
    run = tavrel({"--from-movies", write("junk.mpg", "not a movie"), "--export", "x.png"});
    EXPECT_EQ(run.status, 3);
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

TEST_F(BatchCommandTest, TableRowsFailAloneAndTheExitStatusSaysSo)
{
    write("t.csv", "\xEF\xBB\xBFname,title,menucount,menucaption1\r\n"
                   "first,\"One, \"\"quoted\"\"\",2,\"two\nlines\"\r\n"
                   "second,Two,lots,x\r\n"
                   "first,Three,1,y\r\n");
    const Outcome run = tavrel({"--batch", "t.csv", "--out", "out", "--save", "--jobs", "2"});
    EXPECT_EQ(run.status, 6) << run.err;
    EXPECT_TRUE(contains(run.err, "] first.png\n")) << run.err;
    EXPECT_TRUE(contains(run.err, "] first-2.png\n")) << run.err;
    EXPECT_TRUE(contains(run.err, "] row 2 (line 4) failed: menucount: 'lots' is not a valid "
                                  "integer value\n"))
        << run.err;
    EXPECT_TRUE(contains(run.err, "2 of 3 menus written in out; 1 row failed")) << run.err;
    EXPECT_TRUE(std::regex_search(run.err, std::regex(R"(\[3/3\] )"))) << run.err;
    EXPECT_EQ(projectValue(ReadWholeFile(dir / "out" / "first.tavrel"), "title"),
              "One, \"quoted\"");
    EXPECT_EQ(projectValue(ReadWholeFile(dir / "out" / "first.tavrel"), "menucaption1"),
              "two lines");
    EXPECT_TRUE(fs::exists(dir / "out" / "first-2.png"));
    EXPECT_FALSE(fs::exists(dir / "out" / "second.png"));
}

// The TV warnings of a menu, without the row a batch names them by.
std::vector<std::string> warningsIn(const std::string& err)
{
    static const std::regex row(R"(row \d+ \(line \d+\): )");
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("warning: "))
            lines.push_back(std::regex_replace(line, row, ""));
    return lines;
}

TEST_F(BatchCommandTest, EveryCommandReportsTheSameFaultTheSameWay)
{
    // Faint text gives a TV warning whatever else the check finds.
    const std::vector<std::string> faint = {"--set", "bgcolor=FFFFFF", "--set", "textcolor=F4F4F4"};
    const std::string film = movie(dir / "films" / "one.mpg", 60);
    Outcome run = tavrel({"--from-movies", film, "--export", "m.png", "--save", "m.tavrel", "--set",
                          "bgcolor=FFFFFF", "--set", "textcolor=F4F4F4"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> fromMovies = warningsIn(run.err);
    ASSERT_FALSE(fromMovies.empty()) << run.err;
    run = tavrel({"--export", "again.png", "m.tavrel"});
    EXPECT_EQ(warningsIn(run.err), fromMovies) << run.err;
    write("faint.csv", "bgcolor,textcolor\nFFFFFF,F4F4F4\n");
    const Outcome table = tavrel({"--batch", "faint.csv", "--out", "faint"});
    std::vector<std::string> exportArgs = {"--export", "e.png"};
    exportArgs.insert(exportArgs.end(), faint.begin(), faint.end());
    run = tavrel(exportArgs);
    EXPECT_EQ(warningsIn(table.err), warningsIn(run.err)) << table.err << run.err;
    ASSERT_FALSE(warningsIn(run.err).empty());

    // A folder where the picture goes: one message with the system's reason.
    fs::create_directories(dir / "out" / "1.png");
    const std::string blocked = (dir / "out" / "1.png").string();
    const std::string cannotSave = "Error saving " + blocked + ": Is a directory\n";
    write("t.csv", "title\nA\n");
    const std::string broken = (dir / "a\nb.mp4").string();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"--export", blocked}, 1, cannotSave},
        {{"--from-movies", film, "--export", blocked}, 1, cannotSave},
        {{"--batch", "t.csv", "--out", (dir / "out").string()}, 6, cannotSave},
        {{"--batch", "nosuch.csv", "--out", "out"},
         3,
         "Cannot open file nosuch.csv: No such file or directory\n"},
        {{"--from-movies", "nosuch.mpg", "--export", "x.png"},
         3,
         "Cannot open file nosuch.mpg: No such file or directory\n"},
        // A project keeps one value per line: such a path would come back as another one.
        {{"--save", "p.tavrel", "--set", "menuclip1=" + broken}, 2, "holds a line break"},
        {{"--from-movies", broken, "--save", "p.tavrel"}, 2, "holds a line break"},
        {{"--dvd", "disc", "--from-movies", broken}, 2, "holds a line break"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        run = tavrel(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(contains(run.err, c.message)) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir / "p.tavrel"));
}

TEST_F(BatchCommandTest, DiscMenusForEveryRowAndForAFolderOfMovies)
{
    write("d.csv", "name,title,menucount\nfirst,Disc one,3\nsecond,Disc two,2\n");
    Outcome run = tavrel({"--batch", "d.csv", "--out", "discs", "--disc-menu", "--size", "3"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* file : {"menu.png", "highlight.png", "select.png", "spumux.xml", "menu_bg.mpg",
                             "menu.mpg", "dvdauthor.xml"}) {
        EXPECT_TRUE(fs::exists(dir / "discs" / "first" / file)) << file;
        EXPECT_TRUE(fs::exists(dir / "discs" / "second" / file)) << file;
    }
    EXPECT_TRUE(contains(run.err, "] first/\n")) << run.err;
    // Without spumux a row has no menu.mpg: it fails, with the way to finish by hand.
    run = tavrel({"--batch", "d.csv", "--out", "nospumux", "--disc-menu", "--size", "3"},
                 "PATH=/nowhere");
    EXPECT_EQ(run.status, 6) << run.err;
    EXPECT_TRUE(contains(run.err, "0 of 2 menus written")) << run.err;
    EXPECT_TRUE(fs::exists(dir / "nospumux" / "first" / "menu_bg.mpg"));
    EXPECT_FALSE(fs::exists(dir / "nospumux" / "first" / "menu.mpg"));
    run = tavrel({"--batch", "d.csv", "--out", "discs", "--disc-menu", "--type", "gif"});
    EXPECT_EQ(run.status, 2);

    const std::string one = movie(dir / "films" / "one.mpg", 60);
    run = tavrel({"--from-movies", one, movie(dir / "films" / "two.mpg", 90), "--size", "2",
                  "--disc-menu", "dm"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "dm" / "menu.mpg"));
    EXPECT_TRUE(contains(ReadWholeFile(dir / "dm" / "spumux.xml"), "b2"));
}

TEST_F(BatchCommandTest, UnusableTablesAndOptionsWriteNothing)
{
    write("bad.csv", "name,title,colour\nx,y,z\n");
    Outcome run = tavrel({"--batch", "bad.csv", "--out", "out"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.err, "unknown column 'colour'")) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out"));

    write("open.csv", "title\n\"never closed\n");
    run = tavrel({"--batch", "open.csv", "--out", "out"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.err, "line 2: a quoted field is not closed")) << run.err;

    run = tavrel({"--batch", "missing.csv", "--out", "out"});
    EXPECT_EQ(run.status, 3);
    run = tavrel({"--batch", "bad.csv"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.err, "--batch needs --out DIR")) << run.err;
    run = tavrel({"--batch", "bad.csv", "--out", "out", "--jobs", "0"});
    EXPECT_EQ(run.status, 2);
    run = tavrel({"--batch", "bad.csv", "--out", "out", "--save=x"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.err, "--save takes no value")) << run.err;
    write("good.csv", "title\nA\n");
    run = tavrel({"--batch", "good.csv", "--out", "out", "--template", "none.tavrel"});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(contains(run.err, "Cannot open file none.tavrel")) << run.err;
    EXPECT_FALSE(fs::exists(dir / "out" / "1.png"));

    const Outcome help = tavrel({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "--batch TABLE.csv --out DIR"));
    EXPECT_TRUE(contains(help.out, "--from-movies FILE..."));
    EXPECT_TRUE(contains(help.out, "6 some rows"));
}

} // namespace
