#include "base/failure.h"
#include "childrun.h"
#include "mediamodule/mediamodule.h"
#include "testmovies.h"
#include "thumbs/autoframe.h"
#include "thumbs/mediadecoder.h"
#include "thumbs/mediaerror.h"
#include "thumbs/mediaframe.h"
#include "thumbs/mediaplayer.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <regex>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The movies come from TestMovies().
struct MovieCase {
    const char* name;
    const char* file;
};

const MovieCase kMovies[] = {
    {"Mpeg1Program", "movie.mpg"},    {"Mpeg4Avi", "movie.avi"}, {"Wmv2Asf", "movie.wmv"},
    {"Mpeg2Transport", "movie.ts"},   // timeline starts well after 0
    {"Mpeg1Elementary", "movie.m1v"}, // no container timing at all
    {"H264Mp4", "movie.mp4"},         // edit list: B-frames shift the start
    {"Mpeg4Matroska", "movie.mkv"},   // 1 ms timestamps, counted frames
};

void PrintTo(const MovieCase& m, std::ostream* os)
{
    *os << m.file;
}

constexpr int kFrames = 120;

fs::path& Folder()
{
    static fs::path folder;
    return folder;
}

// A file in this process's scratch folder.
std::string PathOf(const char* file)
{
    return (Folder() / file).string();
}

std::string MoviePath(const char* file)
{
    return TestMoviePath(file);
}

std::int64_t TimeOf(const MediaDecoder& d, std::int64_t frame)
{
    return static_cast<std::int64_t>(
        std::nearbyint(static_cast<double>(frame) * static_cast<double>(d.duration()) /
                       static_cast<double>(d.frameCount())));
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadPrefix(const std::string& path, std::size_t n)
{
    std::ifstream in(path, std::ios::binary);
    std::string s(n, '\0');
    in.read(s.data(), static_cast<std::streamsize>(n));
    s.resize(static_cast<std::size_t>(in.gcount()));
    return s;
}

// One second of 8 kHz mono silence.
std::string WavBytes()
{
    auto le = [](std::uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += static_cast<char>((v >> (8 * i)) & 0xFF);
        return s;
    };
    const std::uint32_t data = 16000;
    return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) +
           le(16000, 4) + le(2, 2) + le(16, 2) + "data" + le(data, 4) + std::string(data, '\0');
}

std::int64_t TimeOfFrameForPlayer(const MediaPlayer& p, std::int64_t frame)
{
    return static_cast<std::int64_t>(
        std::nearbyint(static_cast<double>(frame) * static_cast<double>(p.duration()) /
                       static_cast<double>(p.frameCount())));
}

// Copies the packets of `from` into `to` (container by extension) with every timestamp
// moved by `shift` stream ticks; empty on success, else what failed.
std::string Remux(const std::string& from, const std::string& to, std::int64_t shift)
{
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, from.c_str(), nullptr, nullptr) < 0)
        return "cannot open " + from;
    AVFormatContext* out = nullptr;
    std::string error;
    if (avformat_find_stream_info(in, nullptr) < 0 ||
        avformat_alloc_output_context2(&out, nullptr, nullptr, to.c_str()) < 0)
        error = "no container for " + to;
    for (unsigned i = 0; error.empty() && i < in->nb_streams; ++i) {
        AVStream* st = avformat_new_stream(out, nullptr);
        if (!st || avcodec_parameters_copy(st->codecpar, in->streams[i]->codecpar) < 0)
            error = "stream";
        else
            st->time_base = in->streams[i]->time_base;
    }
    AVPacket* pkt = av_packet_alloc();
    if (error.empty() && (avio_open(&out->pb, to.c_str(), AVIO_FLAG_WRITE) < 0 ||
                          avformat_write_header(out, nullptr) < 0))
        error = "cannot write " + to;
    while (error.empty() && av_read_frame(in, pkt) >= 0) {
        AVStream* st = out->streams[pkt->stream_index];
        av_packet_rescale_ts(pkt, in->streams[pkt->stream_index]->time_base, st->time_base);
        if ((pkt->pts != AV_NOPTS_VALUE && __builtin_add_overflow(pkt->pts, shift, &pkt->pts)) ||
            (pkt->dts != AV_NOPTS_VALUE && __builtin_add_overflow(pkt->dts, shift, &pkt->dts)))
            error = "timestamp beyond 64 bits";
        else if (av_write_frame(out, pkt) < 0)
            error = "cannot write a packet";
        av_packet_unref(pkt);
    }
    if (error.empty() && av_write_trailer(out) < 0)
        error = "cannot write trailer";
    av_packet_free(&pkt);
    if (out) {
        avio_closep(&out->pb);
        avformat_free_context(out);
    }
    avformat_close_input(&in);
    return error;
}

const std::regex kErrorPattern(R"(.+ \(\$[0-9a-f]{8}\)\.)");

class MediaEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        Folder() = fs::temp_directory_path() / ("tavrel_media_" + std::to_string(getpid()));
        fs::create_directories(Folder());
    }
    void TearDown() override { fs::remove_all(Folder()); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new MediaEnvironment);

class MovieTest : public ::testing::TestWithParam<MovieCase> {};

TEST_P(MovieTest, ReportsSizeFrameCountAndDuration)
{
    MediaDecoder d;
    d.open(MoviePath(GetParam().file));
    EXPECT_EQ(d.videoWidth(), 320);
    EXPECT_EQ(d.videoHeight(), 240);
    EXPECT_EQ(d.frameCount(), kFrames);
    EXPECT_EQ(d.duration(), kFrames * 400'000LL);
}

TEST_P(MovieTest, SeeksFrameExactlyForwardAndBackward)
{
    MediaDecoder d;
    d.open(MoviePath(GetParam().file));
    // Forward through keyframes and B-frames, then back across the keyframe at 60,
    // then the last frame and past the end (the last frame stands for both).
    const int targets[] = {0, 1, 37, 59, 60, 61, 119, 1, 58, 60, 30, 119, 120, 0, 121, 2};
    for (int target : targets) {
        Picture p;
        std::int64_t number = -1;
        ASSERT_TRUE(d.decodeAt(TimeOf(d, target), p, &number));
        const int expected = std::min(target, kFrames - 1);
        EXPECT_EQ(FrameIndexOf(p), expected) << "target " << target;
        EXPECT_EQ(number, expected) << "target " << target;
        EXPECT_EQ(p.width(), 320);
        EXPECT_EQ(p.height(), 240);
    }
}

TEST_P(MovieTest, TimesBetweenFramesShowTheFrameStartedBefore)
{
    MediaDecoder d;
    d.open(MoviePath(GetParam().file));
    Picture p;
    // 2 ms before frame 46 starts (container timestamps may be rounded to 1 ms)
    ASSERT_TRUE(d.decodeAt(TimeOf(d, 45) + 380'000, p));
    EXPECT_EQ(FrameIndexOf(p), 45);
    ASSERT_TRUE(d.decodeAt(TimeOf(d, 10) + 1, p));
    EXPECT_EQ(FrameIndexOf(p), 10);
    ASSERT_TRUE(d.decodeAt(d.duration() * 10, p)); // far beyond the end
    EXPECT_EQ(FrameIndexOf(p), kFrames - 1);
}

TEST_P(MovieTest, TakeMovieFrameClampsIntoTheSliderRange)
{
    const std::string path = MoviePath(GetParam().file);
    std::string error;
    Picture p;
    std::int32_t frame = 37;
    ASSERT_TRUE(TakeMovieFrame(path, frame, p, error)) << error;
    EXPECT_EQ(frame, 37);
    EXPECT_EQ(FrameIndexOf(p), 37);

    frame = 5000; // beyond the movie: the slider's end, the last frame
    ASSERT_TRUE(TakeMovieFrame(path, frame, p, error)) << error;
    EXPECT_EQ(frame, kFrames - 1);
    EXPECT_EQ(FrameIndexOf(p), kFrames - 1);

    frame = -7;
    ASSERT_TRUE(TakeMovieFrame(path, frame, p, error)) << error;
    EXPECT_EQ(frame, 0);
    EXPECT_EQ(FrameIndexOf(p), 0);
}

INSTANTIATE_TEST_SUITE_P(Containers, MovieTest, ::testing::ValuesIn(kMovies),
                         [](const auto& info) { return std::string(info.param.name); });

// A 16:9 disc movie has 720 x 576 coded pixels 64:45 wide: its frames come out at their
// display shape, 1024 x 576, in the decoder, the headless frame grab and the reported
// size alike; a square-pixel movie of the same size is left as it is.
TEST(SampleAspect, WidescreenFramesKeepTheirShape)
{
    struct Case {
        const char* file;
        int sarNum;
        int sarDen;
        int shownWidth;
    };
    for (const Case& c : {Case{"wide.mpg", 64, 45, 1024}, Case{"square.mpg", 1, 1, 720},
                          Case{"unstated.mpg", 0, 1, 720}}) {
        SCOPED_TRACE(c.file);
        MovieSpec spec;
        spec.path = PathOf(c.file);
        spec.codec = "mpeg2video";
        spec.width = 720;
        spec.height = 576;
        spec.frames = 6;
        spec.gop = 3;
        spec.sarNum = c.sarNum;
        spec.sarDen = c.sarDen;
        ASSERT_EQ(MakeMovie(spec), "");

        MediaDecoder decoder;
        decoder.open(spec.path);
        EXPECT_EQ(decoder.videoWidth(), c.shownWidth);
        EXPECT_EQ(decoder.videoHeight(), 576);
        Picture p;
        ASSERT_TRUE(decoder.decodeAt(TimeOf(decoder, 5), p));
        EXPECT_EQ(p.width(), c.shownWidth);
        EXPECT_EQ(p.height(), 576);
        EXPECT_EQ(FrameIndexOf(p), 5); // the picture itself is stretched, not cropped

        std::int32_t frame = 3;
        std::string error;
        ASSERT_TRUE(TakeMovieFrame(spec.path, frame, p, error)) << error;
        EXPECT_EQ(p.width(), c.shownWidth);
        EXPECT_EQ(FrameIndexOf(p), 3);
    }
}

// Discs also carry 30, 29.97 and 23.976 frames per second; the last two have no whole
// number of 100 ns ticks per frame.
TEST(MediaFrameRates, SeeksFrameExactlyAtEveryRate)
{
    for (const char* file :
         {"rate30.mpg", "rate2997.mpg", "rate23976.mpg", "rate2997.mp4", "rate23976.mkv"}) {
        SCOPED_TRACE(file);
        const MovieSpec& spec = TestMovieNamed(file).spec;
        MediaDecoder d;
        d.open(MoviePath(file));
        EXPECT_EQ(d.frameCount(), spec.frames);
        const double frameTicks = 1e7 * spec.fpsBase / spec.fps;
        EXPECT_NEAR(static_cast<double>(d.duration()), spec.frames * frameTicks, 10'000);
        for (int target : {0, 1, 29, 30, 44, 45, 46, 89, 100, 119, 3, 60, 59, 0}) {
            Picture p;
            std::int64_t number = -1;
            ASSERT_TRUE(d.decodeAt(TimeOf(d, target), p, &number));
            EXPECT_EQ(FrameIndexOf(p), target) << "target " << target;
            EXPECT_EQ(number, target) << "target " << target;
            // 2 ms before the next frame starts (containers may round to 1 ms).
            ASSERT_TRUE(d.decodeAt(TimeOf(d, target + 1) - 20'000, p, &number));
            EXPECT_EQ(FrameIndexOf(p), target) << "before " << target + 1;
            EXPECT_EQ(number, target) << "before " << target + 1;
        }
        for (std::int32_t frame : {0, 1, 77, 118, 119}) {
            std::int32_t asked = frame;
            Picture p;
            std::string error;
            ASSERT_TRUE(TakeMovieFrame(MoviePath(file), asked, p, error)) << error;
            EXPECT_EQ(asked, frame);
            EXPECT_EQ(FrameIndexOf(p), frame);
        }
    }
}

TEST(MediaPlayer, PauseShowsTheFirstFrameAndNewestSeekWins)
{
    MediaPlayer player;
    std::atomic<int> delivered{0};
    player.setFrameReadyCallback([&] { ++delivered; });
    player.open(MoviePath("movie.mpg"));
    ASSERT_TRUE(player.isOpen());
    EXPECT_FALSE(player.waitForFrame(std::chrono::milliseconds(0))); // nothing asked yet

    player.pause();
    ASSERT_TRUE(player.waitForFrame(std::chrono::seconds(10)));
    Picture p;
    std::int64_t number = -1;
    ASSERT_TRUE(player.takeFrame(p, &number));
    EXPECT_EQ(FrameIndexOf(p), 0);
    EXPECT_EQ(number, 0);

    // A drag across the movie: only the last position counts.
    const double perFrame =
        static_cast<double>(player.duration()) / static_cast<double>(player.frameCount());
    for (int i = 0; i < 200; ++i)
        player.seek(static_cast<std::int64_t>(std::nearbyint(((i * 37) % kFrames) * perFrame)));
    player.seek(static_cast<std::int64_t>(std::nearbyint(73 * perFrame)));
    ASSERT_TRUE(player.waitForFrame(std::chrono::seconds(10)));
    std::int64_t time = -1;
    ASSERT_TRUE(player.takeFrame(p, &number, &time));
    EXPECT_EQ(FrameIndexOf(p), 73);
    EXPECT_EQ(number, 73);
    EXPECT_EQ(time, static_cast<std::int64_t>(std::nearbyint(73 * perFrame)));
    EXPECT_GE(delivered.load(), 2);
    EXPECT_EQ(player.frameSerial(), static_cast<std::uint64_t>(delivered.load()));

    player.release();
    EXPECT_FALSE(player.isOpen());
    EXPECT_FALSE(player.takeFrame(p));
    player.seek(0); // ignored once released
    EXPECT_FALSE(player.waitForFrame(std::chrono::milliseconds(0)));
}

TEST(MediaPlayer, ReleaseWhileSeekingAndReopen)
{
    MediaPlayer player;
    player.open(MoviePath("movie.avi"));
    for (int i = 0; i < 20; ++i)
        player.seek(i * 1'000'000LL);
    player.release(); // must not wait for the queue
    player.open(MoviePath("movie.wmv"));
    player.seek(TimeOfFrameForPlayer(player, 90));
    ASSERT_TRUE(player.waitForFrame(std::chrono::seconds(10)));
    Picture p;
    ASSERT_TRUE(player.takeFrame(p));
    EXPECT_EQ(FrameIndexOf(p), 90);
}

TEST(MediaPlayer, CallbackThatThrowsDoesNotStopTheWorker)
{
    MediaPlayer player;
    std::atomic<int> calls{0};
    player.setFrameReadyCallback([&] {
        ++calls;
        throw std::runtime_error("listener failed");
    });
    player.open(MoviePath("movie.avi"));
    for (int frame : {10, 50}) {
        player.seek(TimeOfFrameForPlayer(player, frame));
        ASSERT_TRUE(player.waitForFrame(std::chrono::seconds(10)));
        Picture p;
        ASSERT_TRUE(player.takeFrame(p));
        EXPECT_EQ(FrameIndexOf(p), frame);
    }
    EXPECT_EQ(calls.load(), 2);
}

TEST(MediaPlayer, ReplacedCallbackIsNeverCalledAfterwards)
{
    MediaPlayer player;
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    player.setFrameReadyCallback([&] {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        finished = true;
    });
    player.open(MoviePath("movie.avi"));
    player.pause();
    while (!started)
        std::this_thread::yield();
    // The owner of the callback may be gone as soon as this returns.
    player.setFrameReadyCallback(nullptr);
    EXPECT_TRUE(finished.load());
    started = false;
    player.seek(TimeOfFrameForPlayer(player, 30));
    ASSERT_TRUE(player.waitForFrame(std::chrono::seconds(10)));
    EXPECT_FALSE(started.load());
}

TEST(MediaErrors, TextIsFfmpegsFollowedByTheHexCode)
{
    EXPECT_EQ(MediaErrorText(AVERROR(ENOENT)), "No such file or directory ($fffffffe).");
    EXPECT_EQ(MediaErrorText(AVERROR_INVALIDDATA),
              "Invalid data found when processing input ($bebbb1b7).");
    EXPECT_EQ(MediaError(AVERROR_EOF).code(), AVERROR_EOF);
}

TEST(MediaErrors, FilesThatAreNoMoviesAreRefused)
{
    const std::string text = PathOf("notes.mpg");
    WriteFile(text, std::string(3000, 'x') + "this is not a movie\n");
    const std::string wav = PathOf("sound.wav");
    WriteFile(wav, WavBytes());
    const std::string truncated = PathOf("truncated.avi");
    WriteFile(truncated, ReadPrefix(MoviePath("movie.avi"), 4096));
    const std::string empty = PathOf("empty.mpg");
    WriteFile(empty, "");
    const std::string mp3 = PathOf("song.mp3");
    ASSERT_EQ(RunShell("ffmpeg -v error -y -f lavfi -i sine=d=0.3 " + ShellQuoted(mp3)), 0);

    struct Case {
        std::string path;
        std::string exact; // empty: only the pattern is checked
        std::string plain; // the user's sentence; empty: only its start is checked
    };
    const Case cases[] = {
        {PathOf("missing.mpg"), "No such file or directory ($fffffffe).",
         "Cannot open movie missing.mpg: the file does not exist."},
        {text, "Invalid data found when processing input ($bebbb1b7).",
         "Cannot open movie notes.mpg: the file is damaged or not a movie FFmpeg can read."},
        {wav, MediaErrorText(AVERROR_STREAM_NOT_FOUND),
         "Cannot open movie sound.wav: it has no video track."},
        {truncated, "",
         "Cannot open movie truncated.avi: the file is damaged or not a movie FFmpeg can read."},
        {empty, "", "Cannot open movie empty.mpg: the file is empty."},
        {mp3, "", "Cannot open movie song.mp3: it has no video track."},
    };
    for (const Case& c : cases) {
        MediaDecoder d;
        try {
            d.open(c.path);
            ADD_FAILURE() << c.path << " opened";
        } catch (const MediaError& e) {
            EXPECT_TRUE(std::regex_match(e.what(), kErrorPattern)) << e.what();
            if (!c.exact.empty()) {
                EXPECT_EQ(std::string(e.what()), c.exact);
            }
        }
        EXPECT_FALSE(d.isOpen());

        MediaPlayer player;
        EXPECT_THROW(player.open(c.path), MediaError);
        EXPECT_FALSE(player.isOpen());

        Picture untouched(2, 3);
        std::int32_t frame = 12;
        std::string error;
        std::string plain;
        EXPECT_FALSE(TakeMovieFrame(c.path, frame, untouched, error, &plain));
        EXPECT_EQ(frame, 0);
        const std::string name = c.path.substr(c.path.rfind('/') + 1);
        EXPECT_TRUE(plain.starts_with("Cannot open movie " + name + ": ")) << plain;
        if (!c.plain.empty()) {
            EXPECT_EQ(plain, c.plain);
        }
        // The commands' automatic frame says the same, in words.
        try {
            LinkedMediaFunctions().chooseMovieFrame(c.path);
            ADD_FAILURE() << c.path << " gave a frame";
        } catch (const Failure& e) {
            EXPECT_EQ(std::string(e.what()), plain);
        }
        EXPECT_TRUE(std::regex_match(error, kErrorPattern)) << error;
        EXPECT_EQ(untouched.width(), 2);
    }
}

// Only a regular file opens, and no format that opens other files by name: a playlist
// naming a good movie is refused like one naming a FIFO.
TEST(MediaErrors, PlaylistsDevicesAndFifosAreRefused)
{
    const std::string movie = MoviePath("movie.avi");
    const std::string fifo = PathOf("fifo.mpg");
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string hls = PathOf("list.m3u8");
    WriteFile(hls, "#EXTM3U\n#EXT-X-TARGETDURATION:5\n#EXTINF:5,\n" + movie + "\n#EXT-X-ENDLIST\n");
    const std::string concat = PathOf("list.ffconcat");
    WriteFile(concat, "ffconcat version 1.0\nfile " + movie + "\nfile " + fifo + "\n");
    const std::pair<std::string, std::string> cases[] = {
        {hls, MediaErrorText(AVERROR_DEMUXER_NOT_FOUND)},
        {concat, MediaErrorText(AVERROR_DEMUXER_NOT_FOUND)},
        {fifo, MediaErrorText(AVERROR(EPERM))},
        {"/dev/zero", MediaErrorText(AVERROR(EPERM))},
    };
    for (const auto& [path, text] : cases) {
        MediaDecoder d;
        try {
            d.open(path);
            ADD_FAILURE() << path << " opened";
        } catch (const MediaError& e) {
            EXPECT_EQ(std::string(e.what()), text) << path;
        }
    }
    ::unlink(fifo.c_str());
    MediaDecoder d;
    d.open(movie); // the movie itself is fine
    EXPECT_TRUE(d.isOpen());
}

TEST(MediaErrors, OpeningPastTheTimeBudgetTookTooLong)
{
    MediaLimits limits;
    limits.timeBudgetMs = 0;
    MediaDecoder d;
    try {
        d.open(MoviePath("movie.mpg"), limits);
        ADD_FAILURE() << "opened";
    } catch (const MediaError& e) {
        EXPECT_EQ(std::string(e.what()), "The movie took too long to open or seek ($abb6a7bb).");
    }
    EXPECT_FALSE(d.isOpen());
}

TEST(MediaErrors, DamagedMiddleStillSeeksWithoutCrashing)
{
    std::string bytes = ReadPrefix(MoviePath("movie.mpg"), 1 << 24);
    for (std::size_t i = bytes.size() / 3; i < bytes.size() / 3 + 4000 && i < bytes.size(); i += 7)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    const std::string damaged = PathOf("damaged.mpg");
    WriteFile(damaged, bytes);
    MediaDecoder d;
    d.open(damaged);
    Picture p;
    for (int target : {0, 40, 119, 60, 10}) {
        // Frames may be lost or broken here; only a sane picture or a clean error counts.
        try {
            if (d.decodeAt(TimeOf(d, target), p)) {
                EXPECT_EQ(p.width(), 320);
            }
        } catch (const MediaError& e) {
            EXPECT_TRUE(std::regex_match(e.what(), kErrorPattern)) << e.what();
        }
    }
    ASSERT_TRUE(d.decodeAt(0, p));
    EXPECT_EQ(FrameIndexOf(p), 0);
}

TEST(MediaErrors, ExtremeTimestampsGiveAFrameOrACleanError)
{
    // Timelines far out in the 64-bit range (the muxers keep them a little short of
    // its end). The demuxers lose precision there, so only a sane frame counts, or a
    // clean refusal.
    const std::int64_t shifts[] = {std::int64_t{1} << 62,
                                   std::numeric_limits<std::int64_t>::max() / 1000 * 999};
    for (const std::int64_t shift : shifts) {
        for (const char* file : {"extreme.mkv", "extreme.nut"}) {
            SCOPED_TRACE(std::string(file) + " shifted by " + std::to_string(shift));
            const std::string path = PathOf(file);
            ASSERT_EQ(Remux(MoviePath("movie.mkv"), path, shift), "");
            try {
                MediaDecoder d;
                d.open(path);
                EXPECT_EQ(d.frameCount(), kFrames);
                Picture p;
                for (const std::int64_t time :
                     {std::int64_t{0}, d.duration() / 2, std::int64_t{1},
                      std::numeric_limits<std::int64_t>::max(), d.duration() / 3}) {
                    std::int64_t number = -1;
                    ASSERT_TRUE(d.decodeAt(time, p, &number));
                    EXPECT_EQ(p.width(), 320);
                    EXPECT_GE(number, 0);
                    EXPECT_LT(number, kFrames);
                    EXPECT_GE(FrameIndexOf(p), 0);
                    EXPECT_LT(FrameIndexOf(p), kFrames);
                }
            } catch (const MediaError& e) {
                EXPECT_TRUE(std::regex_match(e.what(), kErrorPattern)) << e.what();
            }
        }
    }
}

// The pictures a movie gives: the thumbnail's frame, the automatic frame and the frame
// picker's, each checked by `check` with the frame's number.
void EachPictureOf(const std::string& path,
                   const std::function<void(const Picture&, int frame)>& check)
{
    std::int32_t frame = 1;
    std::string error;
    Picture p;
    ASSERT_TRUE(TakeMovieFrame(path, frame, p, error)) << error;
    check(p, 1);
    const AutoFrame chosen = ChooseMovieFrame(path);
    check(chosen.picture, chosen.frame);
    MediaPlayer picker;
    picker.open(path);
    picker.seek(TimeOfFrameForPlayer(picker, 1));
    ASSERT_TRUE(picker.waitForFrame(std::chrono::seconds(20)));
    ASSERT_TRUE(picker.takeFrame(p));
    check(p, 1);
}

// Every size FFmpeg decodes comes out whole and at its shown width: odd and tiny sides,
// portrait phone shapes, very wide frames, with and without a sample aspect (raw video
// carries any size). A conversion writing past a picture aborts here.
TEST(FrameSizes, EverySizeComesOutWhole)
{
    const std::array<int, 5> cases[] = {
        {1, 1, 0, 1, 1},          {1, 1, 4, 1, 4},          {17, 9, 0, 1, 17},
        {33, 1, 0, 1, 33},        {1, 47, 0, 1, 1},         {360, 640, 0, 1, 360},
        {1080, 1920, 0, 1, 1080}, {1080, 1350, 0, 1, 1080}, {1080, 1920, 16, 11, 1571},
        {721, 577, 64, 45, 1025}, {8191, 17, 0, 1, 8191},   {8192, 31, 10, 11, 7447},
    }; // width, height, sample aspect, shown width
    for (const auto& [width, height, sarNum, sarDen, shown] : cases) {
        MovieSpec spec = TestMovieSpec("rawvideo", 0, width, height, 2, 1);
        spec.path = PathOf((std::to_string(width) + "x" + std::to_string(height) + "_" +
                            std::to_string(sarNum) + ".avi")
                               .c_str());
        SCOPED_TRACE(spec.path);
        spec.sarNum = sarNum;
        spec.sarDen = sarDen;
        ASSERT_EQ(MakeMovie(spec), "");
        const bool readable = width >= 16 && height >= 16; // the frame-number blocks
        EachPictureOf(spec.path, [&, h = height, w = shown](const Picture& p, int frame) {
            EXPECT_EQ(p.width(), w);
            EXPECT_EQ(p.height(), h);
            EXPECT_TRUE(!readable || FrameIndexOf(p) == frame);
        });
    }
}

// Phones record sideways and say so in the display matrix: every picture of the movie
// stands as the ffmpeg player shows it, for each quarter turn with and without a mirror,
// and for the test movies' phone clips (a portrait, and a 1920 x 1080 one turned into one).
TEST(DisplayMatrix, PicturesStandAsThePlayerShowsThem)
{
    std::vector<std::string> movies = {MoviePath("phone90.mp4"), MoviePath("portrait.mp4")};
    for (int turn = 0; turn < 360; turn += 90)
        for (bool mirror : {false, true}) {
            MovieSpec spec = TestMovieSpec("mpeg4", 0, 96, 64, 3, 1);
            spec.path =
                PathOf(("turn" + std::to_string(turn) + (mirror ? "m.mp4" : ".mp4")).c_str());
            spec.paint = StillTexture(spec);
            spec.displayRotation = turn;
            spec.displayMirror = mirror;
            ASSERT_EQ(MakeMovie(spec), "");
            movies.push_back(spec.path);
        }
    std::string command = "ffmpeg -v error -y";
    for (const std::string& movie : movies)
        command += " -i " + ShellQuoted(movie);
    for (std::size_t i = 0; i < movies.size(); ++i)
        command += " -map " + std::to_string(i) + ":v -frames:v 1 -f rawvideo -pix_fmt rgb24 " +
                   ShellQuoted(movies[i] + ".rgb");
    ASSERT_EQ(RunShell(command), 0);
    for (const std::string& movie : movies) {
        SCOPED_TRACE(movie);
        const std::string player = ReadWholeFile(movie + ".rgb");
        EachPictureOf(movie, [&](const Picture& p, int) {
            ASSERT_EQ(player.size(), static_cast<std::size_t>(p.width()) * p.height() * 3);
            double difference = 0;
            for (int y = 0; y < p.height(); ++y)
                for (int x = 0; x < p.width() * 3; ++x)
                    difference += std::abs(
                        p.row(y)[x] - static_cast<std::uint8_t>(player[y * p.width() * 3 + x]));
            EXPECT_LT(difference / static_cast<double>(player.size()), 6.0);
        });
    }
}

} // namespace
