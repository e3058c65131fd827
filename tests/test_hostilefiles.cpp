// The headless command against hostile pictures, movies, projects and write targets:
// each case is made here by a small generator, run in a child process, and judged by
// its outcome, its time and its peak memory (getrusage of the child).
#include "base/escapecontrols.h"
#include "childrun.h"
#include "moviemaker.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A normal export peaks near 50 MB; a file that gets past a limit takes hundreds.
constexpr long kQuietPeakKb = 150 * 1024;

using Bytes = std::string;

void put16le(Bytes& out, unsigned v)
{
    out += char(v & 0xFF);
    out += char(v >> 8);
}
void put32le(Bytes& out, std::uint32_t v)
{
    put16le(out, v & 0xFFFF);
    put16le(out, v >> 16);
}
void put16be(Bytes& out, unsigned v)
{
    out += char(v >> 8);
    out += char(v & 0xFF);
}
void put32be(Bytes& out, std::uint32_t v)
{
    put16be(out, v >> 16);
    put16be(out, v & 0xFFFF);
}

// 35 bytes: a logical screen of width x height, one 1 x 1 frame.
Bytes gifBomb(unsigned width, unsigned height)
{
    Bytes g = "GIF89a";
    put16le(g, width);
    put16le(g, height);
    g += std::string("\x80\x00\x00", 3) + std::string("\x00\x00\x00\xff\xff\xff", 6) + ",";
    put16le(g, 0);
    put16le(g, 0);
    put16le(g, 1);
    put16le(g, 1);
    g += std::string("\x00\x02\x02\x44\x01\x00;", 8);
    return g;
}

// An RLE8 bitmap whose data is only the end-of-bitmap code (about 1 KB with its palette).
Bytes rleBomb(int width, int height)
{
    const std::uint32_t offset = 14 + 40 + 1024;
    Bytes b = "BM";
    put32le(b, offset + 2);
    put32le(b, 0);
    put32le(b, offset);
    put32le(b, 40);
    put32le(b, std::uint32_t(width));
    put32le(b, std::uint32_t(height));
    put16le(b, 1);
    put16le(b, 8);
    put32le(b, 1); // RLE8
    put32le(b, 2);
    put32le(b, 2835);
    put32le(b, 2835);
    put32le(b, 256);
    put32le(b, 0);
    b += std::string(1024, '\0');
    b += std::string("\x00\x01", 2);
    return b;
}

Bytes pngChunk(const char* type, const Bytes& data)
{
    Bytes c;
    put32be(c, std::uint32_t(data.size()));
    const Bytes body = std::string(type, 4) + data;
    c += body;
    put32be(
        c, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    return c;
}

// A PNG of width x height whose rows come from `row(y)` (filter byte included),
// deflated at `level` as they are made.
template <typename RowFn>
Bytes makePng(std::uint32_t width, std::uint32_t height, int depth, int colorType, int level,
              RowFn row)
{
    Bytes ihdr;
    put32be(ihdr, width);
    put32be(ihdr, height);
    ihdr += char(depth);
    ihdr += char(colorType);
    ihdr += std::string(3, '\0');
    z_stream z{};
    deflateInit(&z, level);
    Bytes idat;
    std::vector<unsigned char> out(1 << 20);
    for (std::uint32_t y = 0; y <= height; ++y) {
        const Bytes line = y < height ? row(y) : Bytes();
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(line.data()));
        z.avail_in = uInt(line.size());
        int r;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            r = deflate(&z, y < height ? Z_NO_FLUSH : Z_FINISH);
            idat.append(reinterpret_cast<char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_out == 0 || (y == height && r != Z_STREAM_END));
    }
    deflateEnd(&z);
    return "\x89PNG\r\n\x1a\n" + pngChunk("IHDR", ihdr) + pngChunk("IDAT", idat) +
           pngChunk("IEND", "");
}

Bytes jpegSegment(unsigned marker, const Bytes& data)
{
    Bytes s = "\xFF";
    s += char(marker);
    put16be(s, unsigned(data.size() + 2));
    return s + data;
}

// A JPEG header with frame type `sof` and some scan bytes, preceded by `comments`.
Bytes jpegHeader(unsigned sof, unsigned width, unsigned height, int comments)
{
    Bytes j = "\xFF\xD8";
    for (int i = 0; i < comments; ++i)
        j += jpegSegment(0xFE, std::string(65000, 'c'));
    j += jpegSegment(0xDB, std::string(1, '\0') + std::string(64, '\1'));
    Bytes frame;
    frame += char(8);
    put16be(frame, height);
    put16be(frame, width);
    frame += std::string("\x01\x01\x11\x00", 4);
    j += jpegSegment(sof, frame);
    j += jpegSegment(0xDA, std::string("\x01\x01\x00\x00\x3f\x00", 6));
    return j + std::string(100, '\0') + "\xFF\xD9";
}

struct ChildRun {
    int status = -1; // exit status, -1 when killed
    std::string err;
    double seconds = 0;
    long peakKb = 0;
    bool hung = false;
};

class HostileFilesTest : public ::testing::Test {
protected:
    void SetUp() override { dir = FreshTestDir("hostile"); }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const Bytes& bytes)
    {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }

    // Runs the command in `dir`; a child still running after `limitSeconds` is killed
    // and counts as hung.
    ChildRun tavrel(const std::vector<std::string>& args, int limitSeconds = 60)
    {
        const fs::path errFile = dir / "stderr.txt";
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            if (::chdir(dir.c_str()) != 0)
                ::_exit(120);
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(err, 2);
            ::dup2(null, 1);
            ::dup2(null, 0);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            std::vector<char*> argv{const_cast<char*>(TAVREL_BINARY)};
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(TAVREL_BINARY, argv.data());
            ::_exit(127);
        }
        ChildRun run;
        int status = 0;
        rusage usage{};
        const auto until = start + std::chrono::seconds(limitSeconds);
        while (::wait4(child, &status, WNOHANG, &usage) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                ::kill(child, SIGKILL);
                ::wait4(child, &status, 0, &usage);
                run.hung = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.peakKb = usage.ru_maxrss;
        run.err = ReadWholeFile(errFile);
        return run;
    }

    // The export with picture `path` as item 1..count's thumbnail.
    ChildRun exportWithPicture(const std::string& path, int count = 1)
    {
        std::vector<std::string> args{"--export", "out.png",
                                      "--set",    "thumbs=true",
                                      "--set",    "menucount=" + std::to_string(count)};
        for (int n = 1; n <= count; ++n) {
            args.push_back("--set");
            args.push_back("menuclip" + std::to_string(n) + "=" + path);
            args.push_back("--set");
            args.push_back("menuframe" + std::to_string(n) + "=-1");
        }
        return tavrel(args);
    }

    ChildRun exportWithMovie(const std::string& path, int frame = 0)
    {
        return tavrel({"--export", "out.png", "--set", "thumbs=true", "--set", "menucount=1",
                       "--set", "menuclip1=" + path, "--set",
                       "menuframe1=" + std::to_string(frame)});
    }

    fs::path dir;
};

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A source that cannot be loaded ends the export cleanly: status 3, nothing written.
#define EXPECT_QUIET(run)                                                                          \
    do {                                                                                           \
        EXPECT_FALSE((run).hung) << (run).err;                                                     \
        EXPECT_EQ((run).status, 3) << (run).err;                                                   \
        EXPECT_FALSE(fs::exists(dir / "out.png"));                                                 \
        EXPECT_LT((run).peakKb, kQuietPeakKb) << (run).err;                                        \
        EXPECT_LT((run).seconds, 10.0) << (run).err;                                               \
    } while (0)

TEST_F(HostileFilesTest, PicturesLargerThanTheirDataOrTheLimitAreRefusedCheaply)
{
    struct Case {
        std::string name;
        Bytes bytes;
        std::string reason;
    };
    const Bytes onebitRow(1 + 20000 / 8, '\0');
    const std::vector<Case> cases = {
        {"screen.gif", gifBomb(30000, 13333),
         "the picture is too large: 30000 x 13333 pixels (at most 179 megapixels)"},
        {"screen169.gif", gifBomb(13000, 13000),
         "the file's data cannot fill a picture of 13000 x 13000 pixels"},
        {"rle.bmp", rleBomb(30000, 13333), "the picture is too large: 30000 x 13333 pixels"},
        {"rle144.bmp", rleBomb(12000, 12000),
         "the file's data cannot fill a picture of 12000 x 12000 pixels"},
        {"onebit.png", makePng(20000, 20000, 1, 0, 9, [&](std::uint32_t) { return onebitRow; }),
         "the picture is too large: 20000 x 20000 pixels"},
        {"arithmetic.jpg", jpegHeader(0xC9, 30000, 13333, 0),
         "the picture is too large: 30000 x 13333 pixels"},
        {"arithmetic144.jpg", jpegHeader(0xC9, 12000, 12000, 0),
         "the file's data cannot fill a picture of 12000 x 12000 pixels"},
        // 800 KB of comments do not count as picture data.
        {"comments.jpg", jpegHeader(0xC0, 10000, 10000, 13),
         "the file's data cannot fill a picture of 10000 x 10000 pixels"},
        {"progressive.jpg", jpegHeader(0xC2, 30000, 13333, 0),
         "the picture is too large: 30000 x 13333 pixels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = write(c.name, c.bytes);
        const ChildRun run = exportWithPicture(path);
        EXPECT_QUIET(run);
        EXPECT_NE(run.err.find("Cannot read picture " + c.name + ": " + c.reason),
                  std::string::npos)
            << run.err;
    }
    EXPECT_LT(fs::file_size(dir / "screen.gif"), 40u);
    EXPECT_LT(fs::file_size(dir / "rle.bmp"), 1200u);
    EXPECT_LT(fs::file_size(dir / "onebit.png"), 60'000u);
}

TEST_F(HostileFilesTest, TenBombsAsThumbnailsStayCheap)
{
    const std::string path = write("screen.gif", gifBomb(13000, 13000));
    const ChildRun run = exportWithPicture(path, 10);
    EXPECT_QUIET(run);
    EXPECT_EQ(count(run.err, "Cannot read picture screen.gif: the file's data cannot fill"), 10u)
        << run.err;
}

TEST_F(HostileFilesTest, HugeFileIsJudgedByItsHeaderBeforeItIsRead)
{
    // A valid 1 x 1 header in front of 2 GB (sparse: no disk used), and 2 GB of zeros.
    const std::string header =
        write("header.png", makePng(1, 1, 8, 2, 6, [](std::uint32_t) { return Bytes(4, '\0'); }));
    fs::resize_file(header, 2ULL << 30);
    const std::string zeros = write("zeros.png", "");
    fs::resize_file(zeros, 2ULL << 30);
    ChildRun run = exportWithPicture(header);
    EXPECT_QUIET(run);
    EXPECT_NE(run.err.find("the file is far larger than a picture of 1 x 1 pixels needs"),
              std::string::npos)
        << run.err;
    run = exportWithPicture(zeros);
    EXPECT_QUIET(run);
    EXPECT_NE(run.err.find("zeros.png: the file is damaged (not a PNG file)"), std::string::npos)
        << run.err;
}

TEST_F(HostileFilesTest, PlaylistsAndConcatenationAreNoMovies)
{
    const std::string fifo = (dir / "fifo.ts").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string self = (dir / "self.m3u8").string();
    write("self.m3u8", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\n" + self + "\n");
    const std::vector<std::string> movies = {
        self,
        write("concat.ffconcat", "ffconcat version 1.0\nfile " + fifo + "\n"),
        write("fifo.m3u8",
              "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + fifo + "\n#EXT-X-ENDLIST\n"),
        write("list.txt", "file '" + fifo + "'\n"),
    };
    for (const std::string& movie : movies) {
        SCOPED_TRACE(movie);
        const ChildRun run = exportWithMovie(movie);
        EXPECT_QUIET(run);
        EXPECT_EQ(run.err.find("saved"), run.err.rfind("saved")) << run.err;
        EXPECT_NE(run.err.find("Cannot open movie"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("($"), std::string::npos) << run.err; // in words, not tags
    }
    // The FIFO itself is no regular file.
    const ChildRun run = exportWithMovie(fifo);
    EXPECT_QUIET(run);
    EXPECT_NE(run.err.find(fifo + " (item 1) not found"), std::string::npos) << run.err;
}

TEST_F(HostileFilesTest, GarbageAfterAMovieEndsWithinTheTimeBudget)
{
    MovieSpec spec;
    spec.path = (dir / "movie.ts").string();
    spec.codec = "mpeg2video";
    spec.frames = 25;
    ASSERT_EQ(MakeMovie(spec), "");
    {
        std::ofstream out(spec.path, std::ios::binary | std::ios::app);
        std::mt19937 random(7);
        std::vector<std::uint32_t> block(1 << 18);
        for (int i = 0; i < 200; ++i) { // 200 MB
            for (auto& word : block)
                word = random();
            out.write(reinterpret_cast<const char*>(block.data()),
                      std::streamsize(block.size() * 4));
        }
    }
    const ChildRun run = exportWithMovie(spec.path, 10);
    EXPECT_FALSE(run.hung);
    // Open and seek have 10 s each; a movie without its frame stops the export.
    EXPECT_LT(run.seconds, 25.0) << run.err;
    EXPECT_LT(run.peakKb, 300 * 1024) << run.err;
    if (run.err.find("out.png saved") == std::string::npos)
        EXPECT_EQ(run.status, 3) << run.err;
    else
        EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(HostileFilesTest, ProjectThatIsAFifoIsRefusedAtOnce)
{
    const std::string fifo = (dir / "menu.tavrel").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const ChildRun run = tavrel({"--export", "out.png", fifo}, 20);
    EXPECT_FALSE(run.hung);
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("Cannot open file " + fifo), std::string::npos) << run.err;
}

TEST_F(HostileFilesTest, SpecialWriteTargetsAreRefusedAndLinksWrittenThrough)
{
    const std::string fifo = (dir / "out.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ChildRun run = tavrel({"--export", fifo, "--type", "png"}, 20);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("Error saving " + fifo + ": not a regular file"), std::string::npos)
        << run.err;
    EXPECT_TRUE(fs::is_fifo(fifo));

    run = tavrel({"--export", "/dev/null", "--type", "bmp"}, 20);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("Error saving /dev/null"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    run = tavrel({"--save", "/dev/null"}, 20);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("Cannot create file /dev/null"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    fs::create_directory(dir / "pictures");
    fs::create_symlink("pictures/menu.png", dir / "menu.png");
    run = tavrel({"--export", "menu.png"}, 20);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(dir / "menu.png"));
    EXPECT_TRUE(ReadWholeFile(dir / "pictures" / "menu.png").starts_with("\x89PNG"));
}

TEST_F(HostileFilesTest, PathBytesSurviveAProjectAndMessagesAreEscaped)
{
    // A Latin-1 name that exists as these bytes, and a name holding a terminal escape.
    const std::string latin = (dir / "caf\xE9.gif").string();
    write("caf\xE9.gif", gifBomb(0, 0));
    ChildRun run = tavrel({"--save", "a.tavrel", "--set", "menuclip1=" + latin, "--set",
                           "menuframe1=-1", "--set", "bgimage=" + latin},
                          20);
    ASSERT_EQ(run.status, 0) << run.err;
    run = tavrel({"--save", "b.tavrel", "a.tavrel"}, 20);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string a = ReadWholeFile(dir / "a.tavrel");
    EXPECT_NE(a.find("menuclip1=" + latin + "\r\n"), std::string::npos);
    EXPECT_NE(a.find("bgimage=" + latin + "\r\n"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(dir / "b.tavrel"), a);

    const std::string escape = (dir / "\x1b[2J\x1b]0;owned\x07.png").string();
    run = exportWithPicture(escape);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\x07'), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\\x1b[2J\\x1b]0;owned\\x07.png"), std::string::npos) << run.err;
}

TEST(EscapeControls, ControlsAndBrokenUtf8AreEscapedTextIsKept)
{
    EXPECT_EQ(EscapeControls("a\x1b[31mb\tc\x7f"), "a\\x1b[31mb\\x09c\\x7f");
    EXPECT_EQ(EscapeControls("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(EscapeControls("csi \xC2\x9B"
                             "1m"),
              "csi \\x9b1m"); // C1 as UTF-8
    EXPECT_EQ(EscapeControls("raw \x9B"
                             "1m caf\xE9"),
              "raw \\x9b1m caf\\xe9");
    EXPECT_EQ(EscapeControls("two\nlines", true), "two\nlines");
    EXPECT_EQ(EscapeControls("two\nlines"), "two\\x0alines");
}

} // namespace
