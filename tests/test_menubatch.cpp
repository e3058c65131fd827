#include "base/memorybudget.h"
#include "batch/csvtable.h"
#include "batch/menubatch.h"
#include "batch/outputnames.h"
#include "childrun.h"
#include "imageio/imageunit.h"
#include "moviemaker.h"
#include "testmovies.h"
#include "thumbs/autoframe.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> filesIn(const fs::path& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = ReadWholeFile(entry.path());
    return files;
}

std::string problemOf(const std::string& table)
{
    try {
        BatchRowsFromTable(ParseCsv(table), "png");
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

TEST(OutputNames, NamesAreSafeAndUnique)
{
    EXPECT_EQ(SafeFileName("wedding/long", "1"), "wedding_long");
    EXPECT_EQ(SafeFileName("a:b*c?\"<>|\\d\x01", "1"), "a_b_c______d_");
    EXPECT_EQ(SafeFileName("  ..hidden. ", "7"), "hidden");
    EXPECT_EQ(SafeFileName("...", "7"), "7");
    EXPECT_EQ(SafeFileName("", "7"), "7");
    // Device names on Windows, in any case and with any extension.
    EXPECT_EQ(SafeFileName("CON", "1"), "CON_");
    EXPECT_EQ(SafeFileName("nul.backup", "1"), "nul_.backup");
    EXPECT_EQ(SafeFileName("Com1", "1"), "Com1_");
    EXPECT_EQ(SafeFileName("lpt9.x.y", "1"), "lpt9_.x.y");
    EXPECT_EQ(SafeFileName("com10", "1"), "com10");
    EXPECT_EQ(SafeFileName("console", "1"), "console");
    // Cut at a character boundary: "é" is two bytes.
    EXPECT_EQ(SafeFileName("ab\xC3\xA9", "1", 3), "ab");

    std::vector<std::string> names{"Menu", "menu", "menu-2", "x", "MENU", "x"};
    MakeNamesUnique(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Menu", "menu-3", "menu-2", "x", "MENU-4", "x-2"}));
}

TEST(BatchTable, HeaderMustNameKeys)
{
    EXPECT_EQ(problemOf("title,colour\nA,1\n"),
              "column 2: unknown column 'colour' (a project key or name)");
    EXPECT_EQ(problemOf("title,Title\nA,B\n"), "column 2: 'Title' appears twice");
    EXPECT_EQ(problemOf("title,,footnote\nA,B,C\n"), "column 2 has no name");
    EXPECT_EQ(problemOf("version\n1\n"),
              "column 1: unknown column 'version' (a project key or name)");
}

TEST(BatchTable, RowsCarryNamesSettingsAndProblems)
{
    const std::vector<BatchRow> rows =
        BatchRowsFromTable(ParseCsv(" Name , TITLE ,menuframe1,thumbs\n"
                                    "wedding.PNG,A,auto,true\n"
                                    "wedding,B,12,false\n"
                                    ",C,x,true\n"
                                    "short,D\n"
                                    "w\xE9,\xE9t\xE9,1,true\n"),
                           "png");
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].name, "wedding"); // the picture's own extension is not doubled
    EXPECT_EQ(rows[1].name, "wedding-2");
    EXPECT_EQ(rows[2].name, "3");
    EXPECT_EQ(rows[0].problem, "");
    EXPECT_EQ(rows[0].settings,
              (std::vector<Setting>{{"TITLE", "A"}, {"menuframe1", "auto"}, {"thumbs", "true"}}));
    EXPECT_EQ(rows[2].problem, "menuframe1: 'x' is not a valid integer value");
    EXPECT_EQ(rows[3].problem, "2 fields where the header has 4");
    // Text that is not UTF-8 is read as Windows-1252, names included.
    EXPECT_EQ(rows[4].name, "w\xC3\xA9");
    EXPECT_EQ(rows[4].settings[0].second, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(rows[4].line, 6u);
}

class MenuBatchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "test_menubatch";
        static char* argv[] = {name, nullptr};
        if (!QGuiApplication::instance())
            new QGuiApplication(argc, argv);
    }

    void SetUp() override { dir = FreshTestDir("menubatch"); }
    void TearDown() override { fs::remove_all(dir); }

    std::string picture(const std::string& name, int width, int height, int seed)
    {
        Picture p(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* px = p.pixel(x, y);
                px[0] = static_cast<std::uint8_t>(x * 3 + seed * 40);
                px[1] = static_cast<std::uint8_t>(y * 5 + seed * 20);
                px[2] = static_cast<std::uint8_t>((x ^ y) + seed);
            }
        const std::string path = (dir / name).string();
        const bool saved =
            LowerCaseExtension(name) == "jpg" ? SaveAsJPG(path, p) : SaveAsPNG(path, p);
        EXPECT_TRUE(saved);
        return path;
    }

    MenuDocument base() const
    {
        MenuDocument doc;
        doc.Reset();
        doc.selectVideoMode(3);
        return doc;
    }

    std::vector<BatchResult> run(const std::vector<BatchRow>& rows, const fs::path& out, int jobs,
                                 bool save = true)
    {
        fs::create_directories(out);
        BatchSettings settings;
        settings.outDir = out.string();
        settings.jobs = jobs;
        settings.saveProjects = save;
        std::vector<BatchResult> results;
        RunMenuBatch(base(), rows, settings,
                     [&](const BatchResult& result) { results.push_back(result); });
        return results;
    }

    fs::path dir;
};

TEST_F(MenuBatchTest, ParallelRowsGiveTheSameFilesAsOneAtATime)
{
    const std::string background = picture("bg.jpg", 640, 360, 1);
    std::string table = "name,bgimage,title,boldtext,shadowtext,menucount";
    for (int n = 1; n <= 10; ++n)
        table += ",menucaption" + std::to_string(n) + ",menuclip" + std::to_string(n) +
                 ",menuframe" + std::to_string(n);
    table += "\n";
    std::vector<std::string> thumbs;
    for (int t = 0; t < 4; ++t)
        thumbs.push_back(picture(std::string("t").append(std::to_string(t)).append(".png"),
                                 90 + 7 * t, 60 + 5 * t, t));
    for (int row = 0; row < 12; ++row) {
        table += "menu" + std::to_string(row % 9) + "," + (row % 3 ? background : "") +
                 ",\"Title " + std::to_string(row) + ", \"\"quoted\"\"\"," +
                 (row % 2 ? "true" : "false") + "," + (row % 4 ? "false" : "true") + "," +
                 std::to_string(row % 11);
        for (int n = 1; n <= 10; ++n)
            table += ",Item " + std::to_string(n * row) + "," +
                     thumbs[static_cast<std::size_t>((n + row) % 4)] + ",-1";
        table += "\n";
    }
    const std::vector<BatchRow> rows = BatchRowsFromTable(ParseCsv(table), "png");
    const auto serial = run(rows, dir / "serial", 1);
    const auto parallel = run(rows, dir / "parallel", 4);
    for (const auto& results : {serial, parallel}) {
        ASSERT_EQ(results.size(), rows.size());
        for (const BatchResult& r : results)
            EXPECT_TRUE(r.ok) << r.number << ": " << r.error;
    }
    const auto one = filesIn(dir / "serial");
    const auto many = filesIn(dir / "parallel");
    EXPECT_EQ(one.size(), 24u); // duplicate names made unique: 12 pictures, 12 projects
    ASSERT_EQ(one.size(), many.size());
    for (const auto& [name, bytes] : one) {
        ASSERT_TRUE(many.contains(name)) << name;
        EXPECT_TRUE(many.at(name) == bytes) << name << " differs";
    }
    // Shared decoded files and rescales change nothing: a row made on its own is the same.
    fs::create_directories(dir / "alone");
    BatchSettings alone;
    alone.outDir = (dir / "alone").string();
    for (const std::size_t r : {std::size_t{4}, std::size_t{10}}) {
        const BatchResult made = MakeBatchRow(base(), rows[r], alone);
        ASSERT_TRUE(made.ok) << made.error;
        EXPECT_TRUE(ReadWholeFile(dir / "alone" / made.output) == one.at(made.output))
            << made.output;
    }
    Picture decoded;
    ASSERT_TRUE(LoadPictureFile((dir / "serial" / "menu0-2.png").string(), decoded));
    EXPECT_EQ(decoded.width(), 720);
    EXPECT_EQ(decoded.height(), 576);
}

TEST_F(MenuBatchTest, RowsWaitForMemoryAndOnlyARowTooLargeAloneFails)
{
    // A 1200 x 1000 background reserves about 10 MB while it loads: one row fits in the
    // budget, four at once do not; 2400 x 2000 does not fit even alone. Movies are charged
    // alike: a small one's frames fit, a 2048 x 1152 one takes 26 MB to decode.
    MovieSpec movie;
    movie.path = (dir / "big.avi").string();
    movie.codec = "mpeg4";
    movie.width = 2048;
    movie.height = 1152;
    movie.frames = 3;
    ASSERT_EQ(MakeMovie(movie), "");
    const std::string small = TestMoviePath("small.mpg");
    std::string table = "name,bgimage,menuclip1,menuframe1\n";
    for (int row = 0; row < 8; ++row)
        table += "r" + std::to_string(row) + "," +
                 picture("bg" + std::to_string(row) + ".png", 1200, 1000, row) + "," + small +
                 (row % 2 ? ",auto\n" : ",3\n");
    table += "bigframe,," + movie.path + ",1\nbigauto,," + movie.path + ",auto\n";
    table += "huge," + picture("huge.png", 2400, 2000, 9) + "," + small + ",3\n";
    const std::vector<BatchRow> rows = BatchRowsFromTable(ParseCsv(table), "png");
    MemoryBudget::setLimit(24ULL << 20);
    const auto serial = run(rows, dir / "serial", 1, false);
    const auto parallel = run(rows, dir / "parallel", 4, false);
    MemoryBudget::setLimit(MemoryBudget::kDefaultLimit);
    for (const auto& results : {serial, parallel}) {
        ASSERT_EQ(results.size(), rows.size());
        for (const BatchResult& r : results) {
            if (r.number > 8)
                EXPECT_NE(r.error.find("the picture needs"), std::string::npos) << r.error;
            else
                EXPECT_TRUE(r.ok) << r.number << ": " << r.error;
        }
    }
    EXPECT_EQ(filesIn(dir / "serial"), filesIn(dir / "parallel"));
    EXPECT_EQ(filesIn(dir / "serial").size(), 8u);
}

TEST_F(MenuBatchTest, FailingRowsAreReportedWhileTheOthersAreWritten)
{
    const std::string thumb = picture("thumb.png", 40, 30, 2);
    const std::vector<BatchRow> rows =
        BatchRowsFromTable(ParseCsv("name,menuclip1,menuframe1,bgimage,menucount\n"
                                    "good," +
                                    thumb +
                                    ",-1,,3\n"
                                    "nosource," +
                                    (dir / "gone.png").string() +
                                    ",-1,,3\n"
                                    "badvalue," +
                                    thumb +
                                    ",-1,,many\n"
                                    "nobackground,,0," +
                                    (dir / "gone.jpg").string() +
                                    ",3\n"
                                    "blocked,,0,,3\n"
                                    "alsogood,,0,,2\n"),
                           "png");
    fs::create_directories(dir / "out" / "blocked.png"); // a folder where the file should go
    std::map<std::size_t, BatchResult> results;
    BatchSettings settings;
    for (const BatchResult& r : run(rows, dir / "out", 3, false))
        results[r.number] = r;
    ASSERT_EQ(results.size(), 6u);
    EXPECT_TRUE(results[1].ok) << results[1].error;
    EXPECT_EQ(results[2].error, (dir / "gone.png").string() + " (item 1) not found");
    EXPECT_EQ(results[3].error, "menucount: 'many' is not a valid integer value");
    EXPECT_TRUE(results[4].error.starts_with("Cannot read picture gone.jpg")) << results[4].error;
    EXPECT_EQ(results[5].error,
              "Error saving " + (dir / "out" / "blocked.png").string() + ": Is a directory");
    EXPECT_TRUE(results[6].ok) << results[6].error;
    EXPECT_EQ(results[4].line, 5u);
    const auto written = filesIn(dir / "out");
    EXPECT_EQ(written.size(), 2u);
    EXPECT_TRUE(written.contains("good.png"));
    EXPECT_TRUE(written.contains("alsogood.png"));
}

TEST_F(MenuBatchTest, AutomaticFramesAreChosenOncePerMovieAndStored)
{
    MovieSpec spec;
    spec.path = (dir / "film.mpg").string();
    spec.texture = true;
    ASSERT_EQ(MakeMovie(spec), "");
    std::string table = "name,menuclip1,menuframe1,menuclip2,menuframe2\n";
    for (int r = 0; r < 4; ++r)
        table += "m" + std::to_string(r) + "," + spec.path + ",auto," + spec.path + "," +
                 (r % 2 ? "auto" : "7") + "\n";
    const auto results = run(BatchRowsFromTable(ParseCsv(table), "png"), dir / "out", 2);
    for (const BatchResult& r : results)
        ASSERT_TRUE(r.ok) << r.error;
    const std::string chosen = std::to_string(ChooseMovieFrame(spec.path).frame);
    for (int r = 0; r < 4; ++r) {
        const std::string project =
            ReadWholeFile(dir / "out" / ("m" + std::to_string(r) + ".tavrel"));
        EXPECT_TRUE(project.find("\r\nmenuframe1=" + chosen + "\r\n") != std::string::npos);
        EXPECT_TRUE(project.find("\r\nmenuframe2=" + (r % 2 ? chosen : "7") + "\r\n") !=
                    std::string::npos)
            << project;
    }
}

} // namespace
