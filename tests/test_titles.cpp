#include "childrun.h"
#include "testmovies.h"
#include "titles/encodetitles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Records what the runner reports, and cancels on request.
struct Recorder : TitleProgress {
    bool cancel = false;
    std::vector<TitlesStatus> seen;
    void update(const TitlesStatus& status) override { seen.push_back(status); }
    bool cancelled() override { return cancel; }
};

class TitlesTest : public ::testing::Test {
protected:
    fs::path dir = FreshTestDir("titles");

    std::string run(const std::string& command)
    {
        const fs::path out = dir / "out.txt";
        RunShell("cd " + ShellQuoted(dir.string()) + " && " + command + " > out.txt 2>&1");
        return ReadWholeFile(out);
    }

    // ffprobe's view of one stream of `file` (v or a) as key=value.
    std::map<std::string, std::string> probe(const fs::path& file, const char* stream)
    {
        std::istringstream lines(run(std::string("ffprobe -v error -select_streams ") + stream +
                                     " -show_entries stream=codec_name,width,height,r_frame_rate,"
                                     "display_aspect_ratio,sample_rate,channels:format=duration "
                                     "-of default=nw=1 " +
                                     ShellQuoted(file.string())));
        std::map<std::string, std::string> fields;
        for (std::string line; std::getline(lines, line);)
            if (const auto eq = line.find('='); eq != std::string::npos)
                fields[line.substr(0, eq)] = line.substr(eq + 1);
        return fields;
    }

    // The longest run of pictures from one keyframe to the next.
    int longestGop(const fs::path& file)
    {
        std::istringstream types(run("ffprobe -v error -select_streams v -show_entries "
                                     "frame=pict_type -of csv=p=0 " +
                                     ShellQuoted(file.string())));
        int longest = 0, current = 0;
        for (std::string t; std::getline(types, t);) {
            if (t.find_first_of("IPB") == std::string::npos)
                continue; // side data
            current = t.find('I') != std::string::npos ? 1 : current + 1;
            longest = std::max(longest, current);
        }
        return longest;
    }

    // dvdauthor's own verdict on a title, as the only title of a disc: made, and with
    // sound and pictures that follow each other without gaps.
    bool dvdauthorAccepts(const fs::path& file, std::string* log)
    {
        *log = run("dvdauthor -o dvd" + file.stem().string() + " -t " + ShellQuoted(file.string()) +
                   " && echo ACCEPTED");
        return log->find("ACCEPTED") != std::string::npos &&
               log->find("Discontinuity") == std::string::npos;
    }

    // The video stream's packets, as a checksum, to tell a copy from a new encode.
    std::string videoChecksum(const std::string& file)
    {
        return run("ffmpeg -v error -i " + ShellQuoted(file) + " -map 0:v -c copy -f md5 -");
    }
};

// Every kind of movie a title comes from, through one parallel run, judged by ffprobe,
// dvdauthor and the stream checksum of what should be copied.
TEST_F(TitlesTest, MoviesBecomeDiscTitles)
{
    struct Case {
        std::string movie;
        bool widescreen;
        bool copyVideo;
        const char* audioCodec;
        const char* channels;
        bool sameBytes = false; // the file itself copied
    };
    // A disc's program stream whose middle pack claims a multiplex faster than a DVD's:
    // its copy stops there and starts again as new packs of the same streams.
    const std::string damaged = (dir / "titlefast.mpg").string();
    {
        std::string bytes = ReadWholeFile(TestMoviePath("titledvd.mpg"));
        bytes[bytes.size() / 4096 * 2048 + 10] = '\xff';
        std::ofstream(damaged, std::ios::binary) << bytes;
    }
    const Case cases[] = {
        {TestMoviePath("title43.mp4"), false, false, "ac3", "2"},       // from 44.1 kHz
        {TestMoviePath("title169sar.mkv"), true, false, "ac3", "2"},    // silence added
        {TestMoviePath("titledvd.mpg"), false, true, "ac3", "2", true}, // the file copied
        {damaged, false, true, "ac3", "2"},                             // new packs
        {TestMoviePath("titlechapters.mkv"), false, false, "ac3", "6"}, // 5.1 AC-3 kept
    };
    std::vector<TitleJob> jobs;
    for (const Case& c : cases)
        jobs.push_back({ProbeTitle(c.movie, DiscSystem::Pal, 5),
                        (dir / (fs::path(c.movie).filename().string() + ".mpg")).string()});
    EXPECT_EQ(jobs[4].info.chapterStarts, (std::vector<double>{0, 2, 4}));
    const BitratePlan plan = PlanBitrate(
        [&] {
            std::vector<TitleInfo> infos;
            for (const TitleJob& j : jobs)
                infos.push_back(j.info);
            return infos;
        }(),
        kSingleLayerBytes, 0);
    Recorder progress;
    EncodeTitles(jobs, plan, DiscSystem::Pal, 2, progress);
    ASSERT_FALSE(progress.seen.empty());
    EXPECT_EQ(progress.seen.back().overallDone, 1.0);

    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.movie);
        EXPECT_EQ(jobs[i].info.widescreen, c.widescreen);
        EXPECT_EQ(jobs[i].info.copyVideo, c.copyVideo);
        const fs::path out = jobs[i].output;
        auto video = probe(out, "v");
        EXPECT_EQ(video["codec_name"], "mpeg2video");
        EXPECT_EQ(video["width"] + "x" + video["height"], "720x576");
        EXPECT_EQ(video["r_frame_rate"], "25/1");
        EXPECT_EQ(video["display_aspect_ratio"], c.widescreen ? "16:9" : "4:3");
        EXPECT_NEAR(std::stod(video["duration"]), jobs[i].info.seconds, 0.15);
        EXPECT_LE(longestGop(out), 15);
        auto audio = probe(out, "a");
        EXPECT_EQ(audio["codec_name"], c.audioCodec);
        EXPECT_EQ(audio["sample_rate"], "48000");
        EXPECT_EQ(audio["channels"], c.channels);
        if (c.copyVideo) {
            EXPECT_EQ(videoChecksum(out), videoChecksum(c.movie));
        }
        EXPECT_EQ(ReadWholeFile(out) == ReadWholeFile(c.movie), c.sameBytes);
        std::string log;
        EXPECT_TRUE(dvdauthorAccepts(out, &log)) << log;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()),
              2 * static_cast<long>(jobs.size()) /* titles, dvdauthor's folders */ +
                  1 /* out.txt */ + 1 /* the damaged movie */);
}

// A failing title stops the others, a cancel stops all, and neither leaves a title behind.
TEST_F(TitlesTest, FailureAndCancelLeaveNoTitles)
{
    const TitleInfo good = ProbeTitle(TestMoviePath("title169.mkv"), DiscSystem::Ntsc, 0);
    const BitratePlan plan = PlanBitrate({good, good}, kSingleLayerBytes, 0);
    const std::vector<TitleJob> failing = {{good, (dir / "one.mpg").string()},
                                           {good, (dir / "nowhere" / "two.mpg").string()}};
    Recorder progress;
    try {
        EncodeTitles(failing, plan, DiscSystem::Ntsc, 2, progress);
        ADD_FAILURE() << "a title that cannot be written was reported as made";
    } catch (const Failure& e) {
        EXPECT_EQ(e.text(), "Cannot make title 2 (title169.mkv)");
        EXPECT_NE(e.detail().find("No such file or directory"), std::string::npos) << e.what();
    }
    progress.cancel = true;
    const std::vector<TitleJob> cancelled = {{good, (dir / "three.mpg").string()}};
    EXPECT_THROW(EncodeTitles(cancelled, plan, DiscSystem::Ntsc, 1, progress), TitlesCancelled);
    EXPECT_TRUE(fs::is_empty(dir)) << "left behind: " << fs::directory_iterator(dir)->path();
}

// What cannot become a title is refused, with its reason, before anything is encoded.
TEST_F(TitlesTest, RefusalsComeBeforeEncoding)
{
    const fs::path notMovie = dir / "notes.mpg";
    RunShell("echo not a movie > " + ShellQuoted(notMovie.string()));
    const std::pair<std::string, std::string> movies[] = {
        {(dir / "missing.mp4").string(), "missing.mp4: the file does not exist"},
        {notMovie.string(), "notes.mpg: the file is damaged or not a movie"},
    };
    for (const auto& [movie, reason] : movies) {
        try {
            ProbeTitle(movie, DiscSystem::Pal, 5);
            ADD_FAILURE() << movie << " was taken";
        } catch (const Failure& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }

    TitleInfo evening;
    evening.seconds = 5 * 3600;
    evening.audioBitRate = 192'000;
    try {
        PlanBitrate({evening}, kSingleLayerBytes, 1'000'000);
        ADD_FAILURE() << "five hours were planned onto one layer";
    } catch (const Failure& e) {
        EXPECT_NE(e.detail().find("together they run 5:00:00; about 3:"), std::string::npos)
            << e.what();
    }
    EXPECT_GE(PlanBitrate({evening}, kDualLayerBytes, 1'000'000).videoBitRate,
              kMinimumVideoBitRate);
    evening.seconds *= 3; // too long for two layers too: no advice to take two layers
    try {
        PlanBitrate({evening}, kDualLayerBytes, 1'000'000);
        ADD_FAILURE() << "fifteen hours were planned onto two layers";
    } catch (const Failure& e) {
        EXPECT_EQ(e.detail().find("8.5G"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ParseCapacity("8.5G"), kDualLayerBytes);
    for (const char* bad : {"4.7X", "", "-1G", "50G", "0x10G", "1e10"})
        EXPECT_THROW(ParseCapacity(bad), Failure) << bad;
}

// An HD movie's colours reach the disc as a player decodes them, in BT.601: flat patches
// painted in BT.709 (unflagged, as most HD files are), read back by FFmpeg's decoder.
TEST_F(TitlesTest, HdColoursBecomeBt601)
{
    using Yuv = std::array<int, 3>;
    // Limited-range Y'CbCr of an RGB colour under the matrix with weights kr and kb.
    const auto yuvOf = [](std::array<double, 3> rgb, double kr, double kb) {
        const double y = (kr * rgb[0] + (1 - kr - kb) * rgb[1] + kb * rgb[2]) / 255;
        return Yuv{static_cast<int>(std::lround(16 + 219 * y)),
                   static_cast<int>(std::lround(128 + 112 * (rgb[2] / 255 - y) / (1 - kb))),
                   static_cast<int>(std::lround(128 + 112 * (rgb[0] / 255 - y) / (1 - kr)))};
    };
    const std::array<double, 3> patches[] = {
        {200, 40, 40}, {40, 180, 60}, {50, 60, 200}, {220, 180, 140}};
    std::vector<Yuv> painted;
    for (const auto& rgb : patches)
        painted.push_back(yuvOf(rgb, 0.2126, 0.0722));
    MovieSpec spec;
    spec.path = (dir / "hd.mkv").string();
    spec.codec = "mpeg2video";
    spec.width = 1280;
    spec.height = 720;
    spec.frames = 5;
    spec.paint = [&](AVFrame* f, int) {
        for (int plane = 0; plane < 3; ++plane) {
            const int shift = plane > 0 ? 1 : 0;
            for (int y = 0; y < spec.height >> shift; ++y)
                for (int x = 0; x < spec.width >> shift; ++x)
                    f->data[plane][y * f->linesize[plane] + x] = static_cast<std::uint8_t>(
                        painted[static_cast<std::size_t>((x << shift) * 4 / spec.width)][plane]);
        }
    };
    ASSERT_EQ(MakeMovie(spec), "");
    const TitleInfo info = ProbeTitle(spec.path, DiscSystem::Pal, 0);
    Recorder progress;
    EncodeTitles({{info, (dir / "hd.mpg").string()}}, PlanBitrate({info}, kSingleLayerBytes, 0),
                 DiscSystem::Pal, 1, progress);
    run("ffmpeg -v error -i hd.mpg -frames:v 1 -f rawvideo -pix_fmt yuv420p frame.yuv");
    const std::string frame = ReadWholeFile(dir / "frame.yuv");
    constexpr int kW = 720, kH = 576;
    ASSERT_EQ(frame.size(), static_cast<std::size_t>(kW * kH * 3 / 2));
    const auto sample = [&](std::size_t at) {
        return static_cast<int>(static_cast<unsigned char>(frame[at]));
    };
    for (std::size_t i = 0; i < std::size(patches); ++i) {
        SCOPED_TRACE(i);
        const std::size_t x = kW / 8 + i * kW / 4, y = kH / 2;
        const std::size_t chroma = y / 2 * kW / 2 + x / 2;
        const Yuv got = {sample(y * kW + x), sample(kW * kH + chroma),
                         sample(kW * kH * 5 / 4 + chroma)};
        const Yuv expected = yuvOf(patches[i], 0.299, 0.114);
        for (int p = 0; p < 3; ++p)
            EXPECT_NEAR(got[p], expected[p], 2) << "plane " << p;
    }
}

} // namespace
