// The disc self-check, judged by discs that dvdauthor authors here from our own menu
// streams and a PAL-legal test title: a sound disc passes, as folder and as ISO; each
// planted fault fails the row that names it.
#include "childrun.h"
#include "testmovies.h"

#include "base/failure.h"
#include "disc/discmenuexport.h"
#include "discplay/checkapart.h"
#include "discplay/disccheck.h"

#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A menu page: its stream and each button's commands.
struct PagePlan {
    std::string menu;
    std::vector<std::string> buttons;
    bool pause = true;
    std::string pre; // commands before the page's own
};

// Page 1: two titles and Next; page 2: the third title and Previous. Each title stores
// its button (g1) and page (g2) on the way in and calls the menu on the way out.
struct DiscPlan {
    std::vector<PagePlan> pages = {
        {"menu3.mpg", {"jump title 1;", "jump title 2;", "g1 = 1024; jump menu 2;"}, true, ""},
        {"menu2.mpg", {"jump title 3;", "g1 = 3072; g2 = 1; jump menu 1;"}, true, ""}};
    std::vector<std::string> titlePre = {"g1 = 1024; g2 = 1;", "g1 = 2048; g2 = 1;",
                                         "g1 = 1024; g2 = 2;"};
    std::vector<std::string> titlePost = {"call vmgm menu 1;", "call vmgm menu 1;",
                                          "call vmgm menu 1;"};
    bool rootMenus = true; // the remote's Menu key leads there
};

std::string DvdauthorXml(const DiscPlan& plan)
{
    const std::string video = "<video format=\"pal\" aspect=\"4:3\"/>";
    std::string xml = "<dvdauthor dest=\"disc\"><vmgm><menus>" + video;
    for (std::size_t p = 0; p < plan.pages.size(); ++p) {
        const PagePlan& page = plan.pages[p];
        xml += (p == 0 ? "<pgc entry=\"title\"><pre>if (g2 == 2) jump menu 2; " : "<pgc><pre>") +
               page.pre;
        xml += "if (g1 gt 0) button = g1;</pre><vob file=\"" + page.menu + "\"" +
               (page.pause ? " pause=\"inf\"" : "") + "/>";
        for (std::size_t b = 0; b < page.buttons.size(); ++b)
            xml +=
                "<button name=\"b" + std::to_string(b + 1) + "\">" + page.buttons[b] + "</button>";
        xml += "</pgc>";
    }
    xml += "</menus></vmgm>";
    for (std::size_t t = 0; t < plan.titlePre.size(); ++t)
        xml +=
            "<titleset>" +
            (plan.rootMenus ? "<menus>" + video +
                                  "<pgc entry=\"root\"><pre>jump vmgm menu 1;</pre></pgc></menus>"
                            : "") +
            "<titles>" + video + "<pgc><pre>" + plan.titlePre[t] +
            "</pre><vob file=\"title.mpg\"/><post>" + plan.titlePost[t] +
            "</post></pgc></titles></titleset>";
    return xml + "</dvdauthor>\n";
}

class DiscPlayTest : public ::testing::Test {
protected:
    // The menu streams are made once: our own disc menu export, spumux included.
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_discplay";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!QGuiApplication::instance())
            new QGuiApplication(argc, argv);
        s_work = FreshTestDir("discplay");
        for (int count : {2, 3}) {
            MenuDocument doc;
            doc.textfont = "Liberation Sans";
            doc.selectVideoMode(3);
            doc.menucount = count;
            doc.RenderEnabled = true;
            const fs::path out = s_work / ("menu" + std::to_string(count));
            ExportDiscMenu(doc, out.string());
            fs::copy_file(out / kDiscMenuStreamFile,
                          s_work / ("menu" + std::to_string(count) + ".mpg"));
        }
        MakeDarkButtonMenu(s_work / "menu3", "b2", s_work / "menu3dark.mpg");
        fs::copy_file(TestMoviePath("titledvd.mpg"), s_work / "title.mpg");
    }

    // The menu exported into `dir` again, with nothing drawn in `button`'s box: selecting
    // it changes no pixel, as with captions that run outside their buttons.
    static void MakeDarkButtonMenu(const fs::path& dir, const std::string& button,
                                   const fs::path& out)
    {
        std::string xml = ReadWholeFile(dir / kDiscSpumuxFile);
        std::smatch box;
        ASSERT_TRUE(std::regex_search(xml, box,
                                      std::regex("name=\"" + button +
                                                 "\" x0=\"(\\d+)\" y0=\"(\\d+)\" "
                                                 "x1=\"(\\d+)\" y1=\"(\\d+)\"")));
        // The match points into `xml`, which the loop rewrites.
        const int x0 = std::stoi(box[1]), y0 = std::stoi(box[2]);
        const int x1 = std::stoi(box[3]), y1 = std::stoi(box[4]);
        for (const char* mask : {kDiscHighlightFile, kDiscSelectFile}) {
            QImage image(QString::fromStdString((dir / mask).string()));
            image = image.convertToFormat(QImage::Format_ARGB32);
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x)
                    image.setPixel(x, y, 0);
            ASSERT_TRUE(
                image.save(QString::fromStdString((dir / ("dark_" + std::string(mask))).string())));
            xml = std::regex_replace(xml, std::regex(std::string("\"") + mask + "\""),
                                     std::string("\"dark_") + mask + "\"");
        }
        std::ofstream(dir / "dark.xml") << xml;
        ASSERT_EQ(RunShell("cd " + ShellQuoted(dir.string()) +
                           " && VIDEO_FORMAT=PAL spumux dark.xml <" + kDiscBackgroundStreamFile +
                           " >" + ShellQuoted(out.string()) + " 2>dark.log"),
                  0)
            << ReadWholeFile(dir / "dark.log");
    }
    static void TearDownTestSuite() { fs::remove_all(s_work); }

    // Authors `plan` into a folder of its own; the path of the folder holding VIDEO_TS.
    static fs::path Author(const DiscPlan& plan, const std::string& name)
    {
        const fs::path xml = s_work / (name + ".xml");
        std::ofstream(xml) << DvdauthorXml(plan);
        const fs::path disc = s_work / name;
        const int status = RunShell("cd " + ShellQuoted(s_work.string()) + " && dvdauthor -o " +
                                    ShellQuoted(disc.string()) + " -x " +
                                    ShellQuoted(xml.string()) + " >" + name + ".log 2>&1");
        EXPECT_EQ(status, 0) << ReadWholeFile(s_work / (name + ".log"));
        return disc;
    }

    static inline fs::path s_work;
};

TEST_F(DiscPlayTest, ASoundDiscPassesEveryRowAsAFolderAndAsAnIso)
{
    const fs::path disc = Author(DiscPlan{}, "good");
    const DiscCheckReport folder = VerifyDisc(disc.string());
    const std::string table = FormatDiscCheckTable(folder);
    EXPECT_TRUE(folder.passed()) << table;
    EXPECT_EQ(folder.rows.size(), 11u) << table; // seven for playing, four for the streams
    EXPECT_NE(table.find("5 buttons on 2 pages"), std::string::npos) << table;
    EXPECT_NE(table.find("3 titles in menu order"), std::string::npos) << table;

    const fs::path iso = s_work / "good.iso";
    ASSERT_EQ(RunShell("genisoimage -quiet -dvd-video -udf -V GOOD -o " +
                       ShellQuoted(iso.string()) + " " + ShellQuoted(disc.string()) +
                       " 2>/dev/null"),
              0);
    EXPECT_EQ(FormatDiscCheckTable(VerifyDisc(iso.string())), table);

    // A feature-length title takes more steps to play through than an action may take:
    // the check skips to its end, as a user would, and the disc still passes.
    DiscCheckOptions few;
    few.stepLimit = static_cast<long>(fs::file_size(s_work / "title.mpg") / 2048 / 2);
    EXPECT_EQ(FormatDiscCheckTable(VerifyDisc(disc.string(), few)), table);

    DiscCheckOptions hurried;
    hurried.totalTimeLimit = std::chrono::milliseconds(0);
    const DiscCheckReport late = VerifyDisc(disc.string(), hurried);
    ASSERT_FALSE(late.rows.empty());
    EXPECT_NE(late.rows[0].detail.find("ran out of its 0 ms"), std::string::npos)
        << FormatDiscCheckTable(late);
}

struct PlantedFault {
    const char* name;
    std::function<void(DiscPlan&)> plant;
    DiscCheck failingRow;
    const char* detail;
};

TEST_F(DiscPlayTest, EachPlantedFaultFailsTheRowThatNamesIt)
{
    DiscCheckOptions tight;
    tight.stepLimit = 20000; // a few dozen plays of the title
    const PlantedFault faults[] = {
        {"nopause", [](DiscPlan& p) { p.pages[0].pause = false; }, DiscCheck::MenuStays,
         "it does not hold still: the disc stops"},
        {"wrongtitle", [](DiscPlan& p) { p.pages[0].buttons[1] = "jump title 3;"; },
         DiscCheck::ButtonsPlay, "button 2 plays title 3, not title 2"},
        {"noreturn", [](DiscPlan& p) { p.titlePost[1] = ""; }, DiscCheck::TitlesReturn,
         "title 2 does not come back: the disc stops"},
        {"loops", [](DiscPlan& p) { p.titlePost[0] = "jump chapter 1;"; }, DiscCheck::TitlesReturn,
         "title 1 does not come back: still going after 20000 steps"},
        {"firstbutton", [](DiscPlan& p) { p.titlePre[1] = "g1 = 1024; g2 = 1;"; },
         DiscCheck::TitlesReturn, "title 2 comes back with button 1 selected, not button 2"},
        {"nonext", [](DiscPlan& p) { p.pages[1].buttons[1] = "g1 = 1024; jump menu 2;"; },
         DiscCheck::PagesLink, "page 2 button 2 stays on its own page"},
        {"darkbutton", [](DiscPlan& p) { p.pages[0].menu = "menu3dark.mpg"; },
         DiscCheck::ButtonsLight, "button 2 shows nothing when selected"},
        {"noroot", [](DiscPlan& p) { p.rootMenus = false; }, DiscCheck::MenuKeys,
         "Menu key in title 1 is refused"},
    };
    for (const PlantedFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        DiscPlan plan;
        fault.plant(plan);
        const DiscCheckReport report = VerifyDisc(Author(plan, fault.name).string(), tight);
        const std::string table = FormatDiscCheckTable(report);
        EXPECT_FALSE(report.passed()) << table;
        const DiscCheckRow* row = report.row(fault.failingRow);
        ASSERT_NE(row, nullptr) << table;
        EXPECT_FALSE(row->passed) << table;
        EXPECT_NE(row->detail.find(fault.detail), std::string::npos) << table;
    }
}

// A one-title disc whose title ffmpeg makes from a test picture by `options`; each breaks
// one rule a player relies on, or keeps them all in a way that is easy to take for a fault.
struct StreamCase {
    const char* name;
    const char* system;  // "pal" or "ntsc"
    const char* picture; // lavfi source and filters, 2 s
    const char* options;
    double shape;     // the movie's shape, as --dvd knows it; 0: unknown
    const char* rule; // nullptr: the title passes
};

TEST_F(DiscPlayTest, EachBrokenStreamFailsTheRuleThatNamesIt)
{
    const char* wide = "testsrc2=s=1024x576:r=25:d=2";
    const StreamCase cases[] = {
        {"bframes", "pal", wide, "-bf 2 -flags +cgop -sc_threshold 1000000000", 16.0 / 9, nullptr},
        {"interlaced", "pal", "testsrc2=s=720x576:r=50:d=2,tinterlace=interleave_top",
         "-flags +ilme+ildct -top 1", 0, nullptr},
        {"gop30", "pal", wide, "-g 30 -aspect 16:9", 16.0 / 9, "GOP length: 30 frames"},
        {"openchapter", "pal", wide, "-bf 2 -flags -cgop -aspect 16:9", 0,
         "closed GOP at cell start: cell 2"},
        {"sound44k", "pal", wide, "-ar 44100", 0, "audio track 1: 44.1 kHz"},
        {"fieldorder", "pal", "testsrc2=s=720x576:r=50:d=2,tinterlace=interleave_top",
         "-flags +ilme+ildct -top 0", 0, "the fields move in the order opposite their flag"},
        {"woven", "pal", "testsrc2=s=720x576:r=50:d=2,tinterlace=interleave_top", "", 0,
         "interlace flags:"},
        {"ntscmp2", "ntsc", "testsrc2=s=720x480:r=30000/1001:d=2", "-c:a mp2 -b:a 224k", 0,
         "NTSC audio: no AC-3 or LPCM track"},
        {"stretched", "pal", "testsrc2=s=768x576:r=25:d=2", "-aspect 16:9", 4.0 / 3, "(stretched)"},
        {"letterboxed", "pal", "testsrc2=s=1024x428:r=25:d=2,pad=1024:576:0:74", "", 2.39,
         "(squeezed)"},
        {"sideways", "pal",
         "testsrc2=s=1024x576:r=25:d=2,transpose=1,scale=324:576,pad=1024:576:350:0", "", 16.0 / 9,
         "(on its side)"},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = s_work / c.name;
        const std::string pal = std::string(c.system) == "pal" ? "pal" : "ntsc";
        const std::string aspect = std::string(c.options).find("16:9") != std::string::npos ||
                                           std::string(c.name) == "bframes"
                                       ? "16:9"
                                       : "4:3";
        std::ofstream(s_work / (std::string(c.name) + ".xml"))
            << "<dvdauthor format=\"" << pal << "\" dest=\"" << c.name
            << "\"><vmgm/><titleset><titles><video aspect=\"" << aspect << "\"/><pgc><vob file=\""
            << c.name << ".mpg\" chapters=\"0,1\"/></pgc></titles></titleset></dvdauthor>\n";
        ASSERT_EQ(RunShell("cd " + ShellQuoted(s_work.string()) +
                           " && ffmpeg -v error -y -f lavfi -i '" + c.picture +
                           "' -f lavfi -i sine=r=48000:d=2 -target " + pal + "-dvd -aspect " +
                           aspect + " " + c.options + " " + c.name + ".mpg && dvdauthor -x " +
                           c.name + ".xml >" + c.name + ".log 2>&1"),
                  0)
            << ReadWholeFile(s_work / (std::string(c.name) + ".log"));
        DiscCheckOptions options;
        options.titleShapes = {c.shape};
        const DiscCheckReport report = VerifyDisc(dir.string(), options);
        const DiscCheckRow* row = report.row(DiscCheck::TitleStreams);
        ASSERT_NE(row, nullptr) << FormatDiscCheckTable(report);
        EXPECT_EQ(row->passed, c.rule == nullptr) << row->detail;
        if (c.rule) {
            EXPECT_NE(row->detail.find(c.rule), std::string::npos) << row->detail;
        }
    }
}

TEST_F(DiscPlayTest, TheCommandPrintsTheTableAndExitsByTheOutcome)
{
    DiscPlan broken;
    broken.titlePost[2] = "";
    const struct {
        fs::path disc;
        int status;
        const char* out;
        const char* err;
    } runs[] = {
        {Author(DiscPlan{}, "cmdgood"), 0, "The disc plays as it should.", ""},
        {Author(broken, "cmdbroken"), 8, "FAILED  Every title returns to its button", ""},
        {s_work / "nothere", 3, "", "Cannot open the disc"},
    };
    for (const auto& run : runs) {
        const Outcome outcome = RunTavrel(s_work, {"--verify-disc", run.disc.string()});
        EXPECT_EQ(outcome.status, run.status) << outcome.out << outcome.err;
        EXPECT_NE(outcome.out.find(run.out), std::string::npos) << outcome.out;
        EXPECT_NE(outcome.err.find(run.err), std::string::npos) << outcome.err;
    }
}

// A menu that jumps to itself loops inside libdvdnav, where no step limit reaches: the
// check ends after one action's time as one that could not finish, not after its whole time.
TEST_F(DiscPlayTest, AMenuThatLoopsOnItselfEndsTheCheckAfterOneAction)
{
    DiscPlan plan;
    plan.pages[0].pre = "jump menu 1;";
    DiscCheckOptions options;
    options.actionTimeLimit = std::chrono::milliseconds(1000);
    options.totalTimeLimit = std::chrono::milliseconds(60'000);
    SetDiscCheckProgram(TAVREL_BINARY);
    const fs::path disc = Author(plan, "selfloop");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(VerifyDiscApart(disc.string(), options), DiscCheckUnfinished);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    // Ctrl+C on the command while its player loops takes the player with it.
    const pid_t pid = StartTavrel(s_work, {"--verify-disc", disc.string()});
    ::usleep(1'000'000);
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    int players = 1;
    for (int i = 0; i < 100 && players > 0; ++i, ::usleep(10'000)) {
        players = 0;
        for (const auto& process : fs::directory_iterator("/proc"))
            players +=
                ReadWholeFile(process.path() / "cmdline").find(disc.string()) != std::string::npos;
    }
    EXPECT_EQ(players, 0);
}

TEST_F(DiscPlayTest, WhatIsNoDiscIsAFailureThatSaysSo)
{
    for (const fs::path& path : {s_work / "nothere", s_work / "title.mpg", s_work})
        EXPECT_THROW(VerifyDisc(path.string()), Failure) << path;
}

// The check runs apart from the program, as the program started in its check mode (here
// stand-in scripts): what it finds comes back whole, and a check that crashes, hangs or
// is cut short becomes a failure of the check, not of the program; a cancel stops it.
TEST(DiscCheckApart, AnswersCrashesAndHangsComeBackAsReportsOrFailures)
{
    DiscCheckOptions quick;
    quick.totalTimeLimit = std::chrono::milliseconds(300);
    quick.actionTimeLimit = std::chrono::milliseconds(300);
    const fs::path dir = FreshTestDir("checkapart");
    const auto standIn = [&](const std::string& name, const std::string& body) {
        const fs::path script = dir / name;
        std::ofstream(script) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(script, fs::perms::owner_all);
        SetDiscCheckProgram(script.string());
    };
    standIn("answer", R"(printf 'R1:01:110:Starts, ok0:1:31:012:Buttons play7:3:x\n\ty\n')");
    const DiscCheckReport back = VerifyDiscApart("d.iso", quick);
    ASSERT_EQ(back.rows.size(), 2u);
    EXPECT_EQ(back.rows[1].check, DiscCheck::ButtonsPlay);
    EXPECT_FALSE(back.rows[1].passed);
    EXPECT_EQ(back.rows[1].detail, "3:x\n\ty\n");
    EXPECT_TRUE(back.rows[0].passed);
    EXPECT_EQ(back.rows[0].what, "Starts, ok");

    const struct {
        const char* body;
        bool cancel;
        bool unfinished; // the check could not finish, as opposed to "this is no disc"
        const char* message;
    } faults[] = {{"printf 'F22:Cannot open disc d.iso25:No such file or directory1:2'", false,
                   false, "Cannot open disc d.iso: No such file or directory"},
                  {"kill -ABRT $$", false, true,
                   "Cannot check the disc d.iso: the player stopped on it (Aborted)"},
                  {"printf 'R1:'", false, true,
                   "Cannot check the disc d.iso: the check's answer was cut short"},
                  {"exec sleep 30", false, true,
                   "Cannot check the disc d.iso: the player did not finish within the time limit"},
                  {"exec sleep 30", true, false, "The disc check was cancelled"}};
    for (const auto& fault : faults) {
        standIn("check", fault.body);
        try {
            VerifyDiscApart("/x/d.iso", quick, [stop = fault.cancel] { return stop; });
            ADD_FAILURE() << fault.message;
        } catch (const DiscCheckUnfinished& f) {
            EXPECT_TRUE(fault.unfinished) << f.what();
            EXPECT_EQ(std::string(f.what()), fault.message);
        } catch (const Failure& f) {
            EXPECT_FALSE(fault.unfinished) << f.what();
            EXPECT_EQ(std::string(f.what()), fault.message);
        }
    }
    SetDiscCheckProgram(TAVREL_BINARY);
    fs::remove_all(dir);
}

} // namespace
