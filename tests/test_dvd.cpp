#include "childrun.h"
#include "discplay/disccheck.h"
#include "dvd/discimage.h"
#include "testmovies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

// Every change of the process-wide umask, which other threads' new files depend on.
std::atomic<int> g_umaskCalls{0};

extern "C" mode_t umask(mode_t mask)
{
    g_umaskCalls.fetch_add(1);
    static const auto real = reinterpret_cast<mode_t (*)(mode_t)>(::dlsym(RTLD_NEXT, "umask"));
    return real(mask);
}

namespace {

class DvdTest : public ::testing::Test {
protected:
    void SetUp() override { dir = FreshTestDir("dvd"); }
    void TearDown() override { fs::remove_all(dir); }

    Outcome tavrel(const std::vector<std::string>& args) { return RunTavrel(dir, args); }

    // `tavrel --from-movies MOVIES... --size 3 --dvd disc` plus `extra`.
    Outcome fromMovies(const std::vector<std::string>& movies,
                       const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args{"--from-movies"};
        for (const std::string& m : movies)
            args.push_back(TestMoviePath(m));
        args.insert(args.end(), {"--size", "3", "--dvd", (dir / "disc").string()});
        args.insert(args.end(), extra.begin(), extra.end());
        return tavrel(args);
    }

    std::set<std::string> names(const fs::path& folder) const
    {
        std::set<std::string> out;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            out.insert(fs::relative(entry.path(), folder).string());
        return out;
    }

    fs::path dir;
};

// The display aspect ffprobe reads from a title's video stream.
std::string displayAspect(const fs::path& vob)
{
    const fs::path out = vob.parent_path().parent_path().parent_path() / "aspect.txt";
    RunShell("ffprobe -v error -select_streams v:0 -show_entries stream=display_aspect_ratio "
             "-of default=nw=1:nk=1 " +
             ShellQuoted(vob.string()) + " > " + ShellQuoted(out.string()));
    std::string text = ReadWholeFile(out);
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    return text;
}

TEST_F(DvdTest, MixedMoviesBecomeADiscImageThatPlaysEachTitleAtItsOwnShape)
{
    const fs::path iso = dir / "holiday.iso";
    const Outcome run =
        fromMovies({"title43.mp4", "title169.mkv", "titledvd.mpg"}, {"--iso", iso.string()});
    ASSERT_EQ(run.status, 0) << run.err; // 0 includes the self-check of the image
    const fs::path video = dir / "disc" / "VIDEO_TS";
    EXPECT_EQ(displayAspect(video / "VTS_01_1.VOB"), "4:3");
    EXPECT_EQ(displayAspect(video / "VTS_02_1.VOB"), "16:9");
    EXPECT_EQ(displayAspect(video / "VTS_03_1.VOB"), "4:3");
    // The image holds the disc and nothing of the program's own (marker, work folder).
    const fs::path list = dir / "iso.txt";
    ASSERT_EQ(
        RunShell("isoinfo -f -i " + ShellQuoted(iso.string()) + " > " + ShellQuoted(list.string())),
        0);
    std::istringstream files(ReadWholeFile(list));
    for (std::string line; std::getline(files, line);)
        EXPECT_TRUE(line.starts_with("/VIDEO_TS") || line.starts_with("/AUDIO_TS")) << line;
    const DiscCheckReport report = VerifyDisc(iso.string());
    EXPECT_TRUE(report.passed()) << FormatDiscCheckTable(report);
    // Nothing of the work is left beside the disc.
    EXPECT_EQ(names(dir / "disc").count("VIDEO_TS"), 1u);
    for (const std::string& name : names(dir / "disc"))
        EXPECT_FALSE(name.starts_with(".tavrel-work")) << name;
}

// Three pages, so that a middle page has both Previous and Next.
TEST_F(DvdTest, TwentyOneMoviesMakeThreePagesWhosePageButtonsWork)
{
    const std::vector<std::string> movies(21, "titledvd.mpg");
    const Outcome run = fromMovies(movies);
    ASSERT_EQ(run.status, 0) << run.err;
    const DiscCheckReport report = VerifyDisc((dir / "disc").string());
    const DiscCheckRow* pages = report.row(DiscCheck::PagesLink);
    ASSERT_NE(pages, nullptr) << FormatDiscCheckTable(report);
    EXPECT_TRUE(pages->passed) << pages->detail;
    EXPECT_TRUE(report.passed()) << FormatDiscCheckTable(report);
    const DiscCheckRow* lit = report.row(DiscCheck::ButtonsLight);
    ASSERT_NE(lit, nullptr);
    EXPECT_NE(lit->detail.find("25 buttons on 3 pages"), std::string::npos) << lit->detail;
    EXPECT_TRUE(fs::exists(dir / "disc" / "VIDEO_TS" / "VTS_21_1.VOB"));
}

TEST_F(DvdTest, ASecondRunReplacesTheDiscInsteadOfAppending)
{
    ASSERT_EQ(fromMovies({"titledvd.mpg", "title43.mp4"}).status, 0);
    const Outcome again = fromMovies({"titledvd.mpg"}, {"--set", "title=Second"});
    ASSERT_EQ(again.status, 0) << again.err;
    const std::set<std::string> files = names(dir / "disc" / "VIDEO_TS");
    EXPECT_EQ(files.count("VTS_01_1.VOB"), 1u);
    EXPECT_EQ(files.count("VTS_02_0.IFO"), 0u) << "the old disc's second title is still there";
    EXPECT_TRUE(VerifyDisc((dir / "disc").string()).passed());
}

TEST_F(DvdTest, RefusalsLeaveEverythingAsItWas)
{
    // A folder with files of somebody else's.
    fs::create_directories(dir / "disc" / "VIDEO_TS");
    std::ofstream(dir / "disc" / "notes.txt") << "mine";
    std::ofstream(dir / "disc" / "VIDEO_TS" / "VIDEO_TS.IFO") << "not ours";
    const std::set<std::string> before = names(dir / "disc");
    Outcome run = fromMovies({"titledvd.mpg"});
    EXPECT_EQ(run.status, 7);
    EXPECT_NE(run.err.find("not empty"), std::string::npos) << run.err;
    EXPECT_EQ(names(dir / "disc"), before);
    EXPECT_EQ(ReadWholeFile(dir / "disc" / "notes.txt"), "mine");

    // An item whose thumbnail is a picture and which names no movie: refused by number
    // and caption before anything is made.
    run = tavrel({"--dvd", (dir / "other").string(), "--size", "3", "--set", "menucount=2", "--set",
                  "menuclip1=" + TestMoviePath("titledvd.mpg"), "--set", "menucaption1=Sea",
                  "--set", "menucaption2=Beach"});
    EXPECT_EQ(run.status, 7);
    EXPECT_NE(run.err.find("Item 2 (\"Beach\") has no movie to play"), std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir / "other"));
    // A FIFO or a folder named as the movie: refused saying what it is, without waiting.
    ::mkfifo((dir / "pipe.mpg").c_str(), 0600);
    for (const auto& [movie, kind] : {std::pair{"pipe.mpg", "a FIFO"}, {".", "a folder"}}) {
        run = tavrel({"--dvd", (dir / "other").string(), "--size", "3", "--set", "menucount=1",
                      "--set", "menuclip1=" + TestMoviePath("titledvd.mpg"), "--set",
                      "menutitle1=" + (dir / movie).string()});
        EXPECT_EQ(run.status, 7);
        EXPECT_NE(run.err.find(std::string("it is ") + kind), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir / "other"));

    // Without the authoring tools the message names the package to install.
    run = RunTavrel(dir,
                    {"--from-movies", TestMoviePath("titledvd.mpg"), "--size", "3", "--dvd",
                     (dir / "third").string()},
                    "PATH=/nonexistent");
    EXPECT_EQ(run.status, 7);
    EXPECT_NE(run.err.find("install the dvdauthor package"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "third" / "VIDEO_TS"));
}

// Tools that fail or lie, as stand-ins first on PATH around the real ones: whatever
// their exit status, what they made takes no finished name, the message names the tool
// and the earlier disc and image stay as they were. Image targets that are no regular
// file are refused; a link is written through; a killed run's tool dies with it.
TEST_F(DvdTest, AToolThatFailsOrLiesLeavesTheEarlierDiscAndImage)
{
    std::ofstream(dir / ".disc.iso.Ab12Z9") << "a killed run's image"; // removed by the next
    ASSERT_EQ(fromMovies({"titledvd.mpg"}, {"--iso", "disc.iso"}).status, 0);
    EXPECT_FALSE(fs::exists(dir / ".disc.iso.Ab12Z9"));
    const std::string ifo = ReadWholeFile(dir / "disc" / "VIDEO_TS" / "VIDEO_TS.IFO");
    const std::string image = ReadWholeFile(dir / "disc.iso");
    const std::string real = "env PATH=" + ShellQuoted(std::getenv("PATH")) + " ";
    const std::string vob = "\"$2\"/VIDEO_TS/VTS_01_1.VOB";
    const struct {
        const char* tool;
        std::string script; // the stand-in's body; the real tool is `$real TOOL "$@"`
    } liars[] = {
        {"dvdauthor", "mkdir -p \"$2\"/VIDEO_TS; echo half > \"$2\"/VIDEO_TS/VIDEO_TS.IFO; exit 1"},
        {"dvdauthor", real + "dvdauthor \"$@\" && truncate -s 1000 \"$2\"/VIDEO_TS/VIDEO_TS.IFO"},
        {"dvdauthor", real + "dvdauthor \"$@\" && truncate -s 100000 " + vob},
        {"dvdauthor", real + "dvdauthor \"$@\" && rm \"$2\"/VIDEO_TS/VTS_01_0.BUP"},
        {"genisoimage", "[ \"$1\" = -print-size ] && exec " + real + "genisoimage \"$@\"; " + real +
                            "genisoimage \"$@\" | head -c 100000; exit 1"},
        {"genisoimage", "[ \"$1\" = -print-size ] && exec " + real + "genisoimage \"$@\"; " + real +
                            "genisoimage \"$@\" | head -c 100000"},
        {"genisoimage", "[ \"$1\" = -print-size ] && exec " + real +
                            "genisoimage \"$@\"; head -c 7000000 /dev/zero"},
    };
    for (const auto& liar : liars) {
        SCOPED_TRACE(liar.script);
        fs::remove_all(dir / "bin");
        fs::create_directories(dir / "bin");
        std::ofstream(dir / "bin" / liar.tool) << "#!/bin/sh\n" << liar.script << "\n";
        fs::permissions(dir / "bin" / liar.tool, fs::perms::owner_all);
        const Outcome run =
            RunTavrel(dir,
                      {"--from-movies", TestMoviePath("titledvd.mpg"), "--size", "3", "--dvd",
                       "disc", "--iso", "disc.iso"},
                      "PATH=" + ShellQuoted((dir / "bin").string() + ":" + std::getenv("PATH")));
        EXPECT_EQ(run.status, 7) << run.err;
        EXPECT_NE(run.err.find(std::string(liar.tool) + " "), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("\\x0a"), std::string::npos) << run.err;
        EXPECT_TRUE(ReadWholeFile(dir / "disc" / "VIDEO_TS" / "VIDEO_TS.IFO") == ifo);
        EXPECT_TRUE(ReadWholeFile(dir / "disc.iso") == image);
        for (const std::string& name : names(dir))
            EXPECT_TRUE(name.find(".tavrel") == name.npos || name == "disc/.tavrel-disc") << name;
    }

    // A FIFO or a folder is refused as the image; a link is written through.
    ::mkfifo((dir / "fifo").c_str(), 0600);
    fs::create_symlink("disc", dir / "dlink");
    fs::create_symlink("disc.iso", dir / "link.iso");
    for (const auto& [iso, why] :
         {std::pair{"fifo", "it is a FIFO"}, {"dlink/x.iso", "inside the disc folder"}}) {
        const Outcome run = fromMovies({"titledvd.mpg"}, {"--iso", iso});
        EXPECT_EQ(run.status, 7);
        EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    fs::remove(dir / "disc.iso");
    ASSERT_EQ(fromMovies({"titledvd.mpg"}, {"--iso", "link.iso", "--set", "title=New"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.iso"));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "disc.iso")));
    EXPECT_TRUE(VerifyDisc((dir / "link.iso").string()).passed());
}

// The image gets the mode any new file gets, and the umask is never changed for it, not
// even for a moment: the editor's other threads create files meanwhile.
TEST_F(DvdTest, TheImageIsMadeWithoutChangingTheUmask)
{
    ASSERT_EQ(fromMovies({"titledvd.mpg"}).status, 0);
    const mode_t before = ::umask(027);
    g_umaskCalls = 0;
    MakeDiscImage((dir / "disc").string(), (dir / "x.iso").string(), "x", 60'000);
    EXPECT_EQ(g_umaskCalls, 0);
    ::umask(before);
    EXPECT_EQ(fs::status(dir / "x.iso").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// Ctrl+C while a long movie is encoded: tavrel stops within a second or two, by the
// signal, and leaves no disc folder behind.
TEST_F(DvdTest, CtrlCDuringALongEncodeStopsPromptlyAndLeavesNothing)
{
    const std::string in = "cd " + ShellQuoted(dir.string()) + " && ";
    ASSERT_EQ(RunShell(in + "ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=25 -t 300 "
                            "-c:v mpeg1video -q:v 20 long.mpg"),
              0);
    const pid_t pid =
        StartTavrel(dir, {"--from-movies", "long.mpg", "--size", "3", "--dvd", "disc"});
    for (int i = 0; i < 600 && ReadWholeFile(dir / "stderr.txt").find("Encoding the titles") ==
                                   std::string::npos;
         ++i)
        ::usleep(50'000);
    ::usleep(1'000'000);
    const auto start = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)); // busy or not
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT)
        << ReadWholeFile(dir / "stderr.txt");
    EXPECT_FALSE(fs::exists(dir / "disc"));
}

// A run killed outright (SIGKILL, no clean-up) takes the tool it runs with it, instead of
// leaving it to write a whole disc of hidden bytes.
TEST_F(DvdTest, AToolDiesWithAKilledRun)
{
    fs::create_directories(dir / "bin");
    std::ofstream(dir / "bin" / "dvdauthor")
        << "#!/bin/sh\necho $$ > " << ShellQuoted((dir / "pid").string())
        << "; kill -KILL $PPID; exec sleep 30\n";
    fs::permissions(dir / "bin" / "dvdauthor", fs::perms::owner_all);
    RunTavrel(dir, {"--from-movies", TestMoviePath("titledvd.mpg"), "--size", "3", "--dvd", "disc"},
              "PATH=" + ShellQuoted((dir / "bin").string() + ":" + std::getenv("PATH")));
    std::string pid = ReadWholeFile(dir / "pid");
    ASSERT_FALSE(pid.empty());
    pid.pop_back();
    std::string stat = "?";
    for (int i = 0; i < 400 && !stat.empty() && stat.find(") Z ") == stat.npos; ++i)
        stat = ReadWholeFile("/proc/" + pid + "/stat"), ::usleep(5000);
    EXPECT_TRUE(stat.empty() || stat.find(") Z ") != stat.npos) << stat;
}

// Ctrl+C while dvdauthor or genisoimage runs (stand-ins that interrupt us themselves, so
// the moment is certain, and leave a child of their own): the tool's group is killed,
// the work folder with the titles goes, and tavrel ends by the signal as a shell
// expects. No disc is left, and no image; the disc was complete before the image began.
TEST_F(DvdTest, CtrlCWhileAToolRunsLeavesNothingThatLooksFinished)
{
    const fs::path pid = dir / "pid";
    for (const auto& [tool, discStays] : {std::pair{"dvdauthor", false}, {"genisoimage", true}}) {
        SCOPED_TRACE(tool);
        fs::remove_all(dir / "bin");
        fs::create_directories(dir / "bin");
        std::ofstream(dir / "bin" / tool)
            << "#!/bin/sh\nsleep 30 & echo $! > " << ShellQuoted(pid.string())
            << "; kill -INT $PPID; wait; touch " << ShellQuoted((dir / "finished").string())
            << "\n";
        fs::permissions(dir / "bin" / tool, fs::perms::owner_all);
        RunShell("cd " + ShellQuoted(dir.string()) +
                 " && PATH=" + ShellQuoted((dir / "bin").string() + ":" + std::getenv("PATH")) +
                 " QT_QPA_PLATFORM=offscreen " + ShellQuoted(TAVREL_BINARY) + " --from-movies " +
                 ShellQuoted(TestMoviePath("titledvd.mpg")) +
                 " --size 3 --dvd disc --iso disc.iso 2> err.txt; echo $? > status.txt");
        EXPECT_EQ(ReadWholeFile(dir / "status.txt"), "130\n"); // 128 + SIGINT
        EXPECT_NE(ReadWholeFile(dir / "err.txt").find("cancelled"), std::string::npos)
            << ReadWholeFile(dir / "err.txt");
        std::string toolPid = ReadWholeFile(pid);
        ASSERT_FALSE(toolPid.empty());
        toolPid.pop_back();
        std::string stat = "?"; // a killed process takes a moment to be gone (or a zombie)
        for (int i = 0; i < 200 && !stat.empty() && stat.find(") Z ") == stat.npos; ++i)
            stat = ReadWholeFile("/proc/" + toolPid + "/stat"), ::usleep(5000);
        EXPECT_TRUE(stat.empty() || stat.find(") Z ") != stat.npos) << stat;
        EXPECT_FALSE(fs::exists(dir / "finished")) << "the tool was waited for, not stopped";
        const std::set<std::string> left = names(dir);
        EXPECT_EQ(left.count("disc/VIDEO_TS/VIDEO_TS.IFO"), discStays ? 1u : 0u);
        EXPECT_EQ(fs::exists(dir / "disc"), discStays) << "a new folder with no disc in it";
        for (const std::string& name : left)
            EXPECT_TRUE(name.find(".tavrel-work") == name.npos &&
                        name.find("disc.iso") == name.npos)
                << name;
        fs::remove(pid);
        fs::remove(dir / "finished");
    }
}

} // namespace
