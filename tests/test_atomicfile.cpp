#include "base/atomicfile.h"
#include "base/signalcleanup.h"
#include "childrun.h"
#include "imageio/imageunit.h"
#include "imageio/picturewriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::span<const std::uint8_t> bytesOf(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<std::string> temporaryFiles(const fs::path& dir)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with(".tavrel-"))
            found.push_back(entry.path().filename().string());
    return found;
}

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override { dir = FreshTestDir("atomicfile"); }
    void TearDown() override
    {
        UseUnnamedTemporaryFiles(true);
        fs::remove_all(dir);
    }

    std::string failureOf(const std::string& path, const std::string& text)
    {
        try {
            WriteFileAtomically(path, bytesOf(text));
        } catch (const FileError& e) {
            return e.what();
        }
        return "written";
    }

    fs::path dir;
};

TEST_F(AtomicFileTest, TargetsThatAreNoRegularFilesAreRefusedAndKept)
{
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(failureOf(fifo, "x"), "Cannot create file " + fifo + ": not a regular file");
    EXPECT_TRUE(fs::is_fifo(fifo));

    fs::create_directory(dir / "folder");
    EXPECT_EQ(failureOf((dir / "folder").string(), "x"),
              "Cannot create file " + (dir / "folder").string() + ": Is a directory");
    EXPECT_TRUE(fs::is_directory(dir / "folder"));

    // A device, also reached through a symbolic link.
    fs::create_symlink("/dev/null", dir / "null.png");
    EXPECT_EQ(failureOf((dir / "null.png").string(), "x"),
              "Cannot create file " + (dir / "null.png").string() + ": not a regular file");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(dir / "null.png"));

    // The system's reason where it has one.
    EXPECT_EQ(failureOf((dir / "none" / "x.png").string(), "x"),
              "Cannot create file " + (dir / "none" / "x.png").string() +
                  ": No such file or directory");
    EXPECT_TRUE(temporaryFiles(dir).empty());
}

TEST_F(AtomicFileTest, SymbolicLinksAreWrittenThroughAlsoWhenDangling)
{
    fs::create_directory(dir / "real");
    std::ofstream(dir / "real" / "old.png") << "old";
    fs::create_symlink("real/old.png", dir / "link.png");
    WriteFileAtomically((dir / "link.png").string(), bytesOf("new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.png"));
    EXPECT_EQ(ReadWholeFile(dir / "real" / "old.png"), "new");

    // A link to a file that does not exist yet creates that file; a chain of links too.
    fs::create_symlink("real/later.png", dir / "dangling.png");
    fs::create_symlink("dangling.png", dir / "chain.png");
    WriteFileAtomically((dir / "chain.png").string(), bytesOf("made"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.png"));
    EXPECT_TRUE(fs::is_symlink(dir / "chain.png"));
    EXPECT_EQ(ReadWholeFile(dir / "real" / "later.png"), "made");

    fs::create_symlink("loop2.png", dir / "loop1.png");
    fs::create_symlink("loop1.png", dir / "loop2.png");
    EXPECT_NE(failureOf((dir / "loop1.png").string(), "x"), "written");
    EXPECT_TRUE(temporaryFiles(dir).empty());
    EXPECT_TRUE(temporaryFiles(dir / "real").empty());
}

TEST_F(AtomicFileTest, ReplacedFileKeepsOwnerAndModeButNoSetIdBits)
{
    const fs::path file = dir / "menu.png";
    std::ofstream(file) << "old";
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(file.c_str(), 1234, 5678), 0);
    }
    ASSERT_EQ(::chmod(file.c_str(), 06750), 0);
    for (bool unnamed : {true, false}) {
        UseUnnamedTemporaryFiles(unnamed);
        WriteFileAtomically(file.string(), bytesOf("new"));
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0750u) << "unnamed " << unnamed;
        if (root) {
            EXPECT_EQ(st.st_uid, 1234u);
            EXPECT_EQ(st.st_gid, 5678u);
        }
        EXPECT_EQ(ReadWholeFile(file), "new");
    }
}

// Whether `child` has a file open in `dir` that already holds bytes but has no name there
// (the target, "big.bin", still holds its 3 old bytes).
bool writingUnseen(pid_t child, const fs::path& dir)
{
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(child) + "/fd", ec)) {
        const fs::path target = fs::read_symlink(fd.path(), ec);
        if (ec || target.parent_path() != dir)
            continue;
        const auto size = fs::file_size(fd.path(), ec); // the open file, named or not
        if (!ec && size > 3)
            return true;
    }
    return false;
}

// A child writes a big file and is stopped by `sig` while it does; afterwards the
// target holds the old or the complete new bytes and no temporary file is left.
void interruptedWrite(const fs::path& dir, int sig, bool unnamed)
{
    const fs::path target = dir / "big.bin";
    std::ofstream(target) << "old";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        UseUnnamedTemporaryFiles(unnamed);
        const std::string bytes(std::size_t(256) << 20, 'n');
        (void)!::write(ready[1], "r", 1);
        try {
            WriteFileAtomically(target.string(), bytesOf(bytes));
        } catch (...) {
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    // Wait until the temporary file holds bytes, so that the signal meets it mid-write:
    // named, it shows in the folder; unnamed, only among the child's open files.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!(unnamed ? writingUnseen(child, dir) : !temporaryFiles(dir).empty()) &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(unnamed ? writingUnseen(child, dir) : !temporaryFiles(dir).empty())
        << "the write never began";
    ::kill(child, sig);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(temporaryFiles(dir).empty()) << "signal " << sig << " unnamed " << unnamed;
    const auto size = fs::file_size(target);
    EXPECT_TRUE(size == 3 || size == (std::size_t(256) << 20)) << size;
}

TEST_F(AtomicFileTest, NoTemporaryFileSurvivesAKillOrAnInterrupt)
{
    interruptedWrite(dir, SIGKILL, true);
    interruptedWrite(dir, SIGTERM, true);
    interruptedWrite(dir, SIGINT, false);
    interruptedWrite(dir, SIGTERM, false);
}

// Rows of a batch write at the same time: every armed temporary file goes on a signal,
// one released before it stays.
TEST_F(AtomicFileTest, SignalRemovesEveryArmedTemporaryFile)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::vector<std::unique_ptr<TemporaryFileGuard>> guards;
        for (const char* name : {".tavrel-a", ".tavrel-b", ".tavrel-c"}) {
            std::ofstream(dir / name) << "part";
            guards.push_back(std::make_unique<TemporaryFileGuard>((dir / name).string()));
        }
        guards[1].reset();
        ::raise(SIGTERM);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_FALSE(fs::exists(dir / ".tavrel-a"));
    EXPECT_TRUE(fs::exists(dir / ".tavrel-b"));
    EXPECT_FALSE(fs::exists(dir / ".tavrel-c"));
}

TEST_F(AtomicFileTest, ReadingRefusesWhatIsNoRegularFileWithoutWaiting)
{
    const std::string fifo = (dir / "fifo.tavrel").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    try {
        ReadWholeFile(fifo, 1000);
        FAIL() << "read a FIFO";
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + fifo + ": not a regular file");
    }
    EXPECT_THROW(ReadWholeFile("/dev/zero", 1000), FileError);
    std::ofstream(dir / "small") << "12345";
    EXPECT_EQ(ReadWholeFile((dir / "small").string(), 5), "12345");
    EXPECT_THROW(ReadWholeFile((dir / "small").string(), 4), FileError);
}

} // namespace

namespace {

// Every failure at the file layer's edge keeps the fixed text, the reason and the errno.
TEST_F(AtomicFileTest, FailuresKeepTheSystemsReason)
{
    const std::string missing = (dir / "none" / "menu.png").string();
    const std::string folder = dir.string();
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const Picture picture(4, 4);
    const struct {
        const char* what;
        std::function<void()> run;
        std::string text;
        std::string detail;
        int error;
    } cases[] = {
        {"picture into a missing folder",
         [&] { WritePictureFile(PictureType::Png, missing, picture); }, "Error saving " + missing,
         "No such file or directory", ENOENT},
        {"picture over a folder", [&] { WritePictureFile(PictureType::Bmp, folder, picture); },
         "Error saving " + folder, "Is a directory", EISDIR},
        {"empty picture", [&] { WritePictureFile(PictureType::Gif, missing, Picture()); },
         "Error saving " + missing, "the picture is empty", 0},
        {"reading a missing file", [&] { ReadWholeFile(missing, 100); },
         "Cannot open file " + missing, "No such file or directory", ENOENT},
        {"reading a FIFO", [&] { OpenRegularFile(fifo); }, "Cannot open file " + fifo,
         "not a regular file", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.run();
            ADD_FAILURE() << "no failure";
        } catch (const Failure& e) {
            EXPECT_EQ(e.text(), c.text);
            EXPECT_EQ(e.detail(), c.detail);
            EXPECT_EQ(e.systemError(), c.error);
        }
    }
    EXPECT_FALSE(SaveAsPNG(missing, picture));
    EXPECT_TRUE(temporaryFiles(dir).empty());
}

} // namespace
