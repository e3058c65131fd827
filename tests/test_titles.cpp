#include "childrun.h"
#include "testmovies.h"
#include "titles/encodetitles.h"

#include <dvdnav/dvdnav.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
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
        std::istringstream lines(
            run(std::string("ffprobe -v error -select_streams ") + stream +
                " -show_entries stream=codec_name,width,height,r_frame_rate,"
                "display_aspect_ratio,field_order,sample_rate,channels:format=duration "
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

    // What a player's decoder needs of an encoded video stream, from ffprobe's packets in
    // stream order: B-pictures, the peak rate kept (bits in any second no more than the
    // peak plus the player's buffer), and each chapter starting with a keyframe that no
    // later picture precedes, so that nothing before the chapter is needed to show it.
    std::string streamRuleBroken(const fs::path& file, const std::vector<double>& chapters)
    {
        std::istringstream rows(run("ffprobe -v error -select_streams v -show_entries "
                                    "packet=pts_time,size,flags -of csv=p=0 " +
                                    ShellQuoted(file.string())));
        struct Packet {
            double pts;
            double bits;
            bool key;
        };
        std::vector<Packet> packets;
        for (std::string row; std::getline(rows, row);) {
            double pts = 0, size = 0;
            char flags[8] = {};
            if (std::sscanf(row.c_str(), "%lf,%lf,%7s", &pts, &size, flags) == 3)
                packets.push_back({pts, size * 8, flags[0] == 'K'});
        }
        if (packets.empty())
            return "no video packets";
        const double start = std::min_element(packets.begin(), packets.end(), [](auto& a, auto& b) {
                                 return a.pts < b.pts;
                             })->pts;
        double latest = packets.front().pts; // a B-picture comes after a later one
        if (std::none_of(packets.begin(), packets.end(), [&](const Packet& p) {
                return p.pts < std::exchange(latest, std::max(latest, p.pts));
            }))
            return "no B-pictures";
        for (std::size_t i = 0; i < packets.size(); ++i) {
            double bits = 0;
            for (std::size_t j = i; j < packets.size() && j < i + 25; ++j)
                bits += packets[j].bits;
            if (bits > 9'800'000 + 1'835'008)
                return "over the peak rate at packet " + std::to_string(i);
        }
        for (const double chapter : chapters) {
            const auto key = std::find_if(packets.begin(), packets.end(), [&](const Packet& p) {
                return std::abs(p.pts - start - chapter) < 0.01;
            });
            if (key == packets.end() || !key->key ||
                std::any_of(key, packets.end(), [&](const Packet& p) { return p.pts < key->pts; }))
                return "chapter at " + std::to_string(chapter) + " s needs the GOP before it";
        }
        return {};
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

    // One picture of `file` at `seconds`, as 8-bit grey rows of `width` x `height`, as
    // FFmpeg shows it (a source upright by its display matrix, before the scaling).
    std::string greyPicture(const fs::path& file, double seconds, int width, int height)
    {
        const fs::path out = dir / "picture.grey";
        run("ffmpeg -v error -y -ss " + std::to_string(seconds) + " -i " +
            ShellQuoted(file.string()) + " -frames:v 1 -vf scale=" + std::to_string(width) + ":" +
            std::to_string(height) + " -pix_fmt gray -f rawvideo " + ShellQuoted(out.string()));
        return ReadWholeFile(out);
    }

    // The languages a player offers (libdvdnav) for `title` authored by dvdauthor, its
    // tracks named as the movie's were found.
    std::vector<std::string> playerLanguages(const TitleInfo& info, const fs::path& title)
    {
        std::string tracks;
        for (const TitleAudio& a : info.audio)
            tracks += std::string(tracks.empty() ? "" : ",") + "ac3+" + a.language;
        run("dvdauthor -o langs -t -a " + tracks + " " + ShellQuoted(title.string()) +
            " && VIDEO_FORMAT=PAL dvdauthor -o langs -T");
        const fs::path disc = dir / "langs";
        std::vector<std::string> found;
        dvdnav_t* nav = nullptr;
        if (dvdnav_open(&nav, disc.c_str()) != DVDNAV_STATUS_OK)
            return found;
        std::uint8_t block[DVD_VIDEO_LB_LEN];
        int event = 0, length = 0;
        dvdnav_title_play(nav, 1);
        for (int step = 0; step < 200 && event != DVDNAV_CELL_CHANGE; ++step)
            if (dvdnav_get_next_block(nav, block, &event, &length) != DVDNAV_STATUS_OK)
                break;
        for (std::uint8_t i = 0; i < 8; ++i) {
            const std::uint16_t lang = dvdnav_audio_stream_to_lang(nav, i);
            if (lang != 0xffff)
                found.push_back({static_cast<char>(lang >> 8), static_cast<char>(lang & 0xff)});
        }
        dvdnav_close(nav);
        return found;
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
        if (c.copyVideo)
            EXPECT_EQ(videoChecksum(out), videoChecksum(c.movie));
        else
            EXPECT_EQ(streamRuleBroken(out, jobs[i].info.chapterStarts), "");
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

// Plans for evenings of content, with several sound tracks and titles copied as they are,
// fit the disc when every stream is counted for its whole length; and chapters of a movie
// without its own fall every N minutes.
TEST_F(TitlesTest, LongDiscsAreFittedAndChaptered)
{
    const auto title = [](double hours, int tracks, std::int64_t rate, std::int64_t copied = 0) {
        TitleInfo t;
        t.seconds = hours * 3600;
        t.audio.assign(static_cast<std::size_t>(tracks), TitleAudio{-1, 2, true, rate, ""});
        t.audioBitRate = tracks * rate;
        t.copyVideo = copied > 0;
        t.videoBitRate = copied;
        return t;
    };
    struct Plan {
        std::vector<TitleInfo> titles;
        std::uint64_t capacity;
    };
    const Plan plans[] = {
        {{title(2, 3, 448'000)}, kSingleLayerBytes},
        {{title(1.5, 8, 448'000)}, kSingleLayerBytes},
        {{title(1, 2, 192'000), title(1, 2, 192'000, 7'000'000), title(1.2, 3, 448'000)},
         kDualLayerBytes},
        {{title(0.5, 2, 192'000, 9'000'000), title(0.2, 8, 448'000)}, kSingleLayerBytes},
    };
    constexpr std::uint64_t kMenus = 3'000'000;
    for (const Plan& p : plans) {
        const BitratePlan plan = PlanBitrate(p.titles, p.capacity, kMenus);
        double bytes = kMenus;
        for (const TitleInfo& t : p.titles) {
            double rate = static_cast<double>(t.copyVideo ? t.videoBitRate : plan.videoBitRate);
            for (const TitleAudio& a : t.audio)
                rate += static_cast<double>(a.bitRate);
            // A program stream's packs and navigation cost about 3 % on top.
            bytes += rate / 8 * t.seconds * 1.03;
            EXPECT_LE(plan.maxVideoBitRate + t.audioBitRate, 10'080'000) << t.seconds;
        }
        EXPECT_LE(bytes, static_cast<double>(p.capacity)) << plan.videoBitRate;
        EXPECT_GE(plan.videoBitRate, kMinimumVideoBitRate);
        EXPECT_LE(plan.maxVideoBitRate, 9'800'000);
    }

    MovieSpec tiny = TestMovieSpec("mpeg4", 0, 64, 48, 7 * 60 + 30, 10, 1); // 7:30, 1 fps
    tiny.path = (dir / "tiny.mkv").string();
    ASSERT_EQ(MakeMovie(tiny), "");
    for (const auto& [minutes, starts] :
         {std::pair<int, std::vector<double>>{2, {0, 120, 240, 360}}, {5, {0, 300}}, {0, {0}}})
        EXPECT_EQ(ProbeTitle(tiny.path, DiscSystem::Ntsc, minutes).chapterStarts, starts)
            << minutes;
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

// Where the picture of a decoded frame lies (rows and columns brighter than black) and
// where inside it a bright marker sits, as fractions of the picture.
struct Placement {
    int left = 0, top = 0, right = -1, bottom = -1;
    double markX = -1, markY = -1;
};

Placement placementOf(const std::string& grey, int width, int height)
{
    Placement p{width, height, -1, -1};
    const auto at = [&](int x, int y) {
        return static_cast<unsigned char>(grey[static_cast<std::size_t>(y) * width + x]);
    };
    double sx = 0, sy = 0, n = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (at(x, y) > 50) {
                p = {std::min(p.left, x), std::min(p.top, y), std::max(p.right, x),
                     std::max(p.bottom, y)};
                if (at(x, y) > 180)
                    sx += x, sy += y, ++n;
            }
    if (n > 0 && p.right > p.left && p.bottom > p.top) {
        p.markX = (sx / n - p.left) / (p.right - p.left);
        p.markY = (sy / n - p.top) / (p.bottom - p.top);
    }
    return p;
}

// A movie as people bring them: how FFmpeg's command makes it, and what its title must be.
struct PeopleMovie {
    std::string movie, make;
    DiscSystem system;
    const char* aspect;             // of the disc's frame
    double shape;                   // of the picture inside it; 0: not judged
    const char* fields;             // ffprobe's field order of the title
    std::vector<std::string> langs; // of the sound tracks; empty: not judged
    double seconds;                 // of the title; 0: under 7 s of a 10 s header
    const char* warning;            // that names it, if any
};

std::vector<PeopleMovie> peopleMovies()
{
    // A grey picture with a white block near its top left, moving a little.
    const auto marked = [](int w, int h, int seconds = 2) {
        return "-f lavfi -i color=c=0x808080:s=" + std::to_string(w) + "x" + std::to_string(h) +
               ":r=25:d=" + std::to_string(seconds) + ",drawbox=x=" + std::to_string(w / 8) +
               "+t*4:y=" + std::to_string(h / 8) + ":w=" + std::to_string(w / 4) +
               ":h=" + std::to_string(h / 4) + ":c=white:t=fill";
    };
    // Moving edges, each field a moment of its own (50 per second), top field first.
    const auto interlaced = [](const char* size) {
        return std::string("-f lavfi -i testsrc2=s=") + size +
               ":r=50:d=2,tinterlace=interleave_top,setfield=tff -c:v mpeg2video -flags "
               "+ildct+ilme -top 1 -b:v 15M -r 25";
    };
    const std::string sine = " -f lavfi -i sine=d=2";
    // clang-format off
    return {
        {"turned.mp4", "ffmpeg -v error -y " + marked(320, 180) + sine + " -c:v libx264 -c:a aac "
             "t.mp4 && ffmpeg -v error -y -i t.mp4 -c copy -metadata:s:v:0 rotate=90 turned.mp4",
         DiscSystem::Pal, "4:3", 9.0 / 16, "progressive", {}, 2, ""},
        {"portrait.mp4", "ffmpeg -v error -y " + marked(180, 320) + sine + " portrait.mp4",
         DiscSystem::Pal, "4:3", 9.0 / 16, "progressive", {}, 2, ""},
        {"scope.mkv", "ffmpeg -v error -y " + marked(470, 200) + " scope.mkv",
         DiscSystem::Ntsc, "16:9", 2.35, "progressive", {}, 2, ""},
        {"flat.mkv", "ffmpeg -v error -y " + marked(332, 200) + " flat.mkv",
         DiscSystem::Pal, "16:9", 1.66, "progressive", {}, 2, ""},
        {"fivefour.mkv", "ffmpeg -v error -y " + marked(320, 256) + " fivefour.mkv",
         DiscSystem::Ntsc, "4:3", 1.25, "progressive", {}, 2, ""},
        {"camcorder.mpg", "ffmpeg -v error -y " + interlaced("720x576") + " camcorder.mpg",
         DiscSystem::Pal, "4:3", 0, "tt", {}, 2, ""},
        // The same without a word of its fields: they are measured.
        {"camcorder.avi", "ffmpeg -v error -y -i camcorder.mpg -c:v ffv1 camcorder.avi",
         DiscSystem::Pal, "4:3", 0, "tt", {}, 2, ""},
        {"broadcast.mpg", "ffmpeg -v error -y " + interlaced("1920x1080") + " broadcast.mpg",
         DiscSystem::Pal, "16:9", 0, "tt", {}, 2, ""},
        {"broadcast.mpg", "", DiscSystem::Ntsc, "16:9", 0, "progressive", {}, 2, ""},
        {"dubbed.mkv", "ffmpeg -v error -y " + marked(320, 240) + sine + " -f lavfi -i "
             "sine=f=880:d=2 -map 0 -map 1 -map 2 -c:a:0 aac -c:a:1 ac3 -b:a:1 640k "
             "-metadata:s:a:0 language=eng -metadata:s:a:1 language=ger -disposition:a:0 0 "
             "-disposition:a:1 default dubbed.mkv",
         DiscSystem::Pal, "4:3", 4.0 / 3, "progressive", {"de", "en"}, 2, ""},
        {"download.mp4", "ffmpeg -v error -y " + marked(320, 240, 10) + " -f lavfi -i sine=d=10 "
             "-movflags +faststart d.mp4 && head -c $(( $(stat -c %s d.mp4) / 2 )) d.mp4 > "
             "download.mp4",
         DiscSystem::Pal, "4:3", 4.0 / 3, "progressive", {}, 0, "it may be cut off"},
        // 12 s of pictures under a header that says 4 s (Matroska's Duration rewritten).
        {"longer.mkv", "ffmpeg -v error -y " + marked(320, 240, 12) + " longer.mkv && perl -0777 "
             "-pi -e 's/\\x44\\x89\\x88.{8}/\\x44\\x89\\x88\\x40\\xAF\\x40\\0\\0\\0\\0\\0/s' "
             "longer.mkv",
         DiscSystem::Pal, "4:3", 4.0 / 3, "progressive", {}, 12, "though its file says 0:04.0"},
    };
    // clang-format on
}

// Movies as phones, camcorders, television and downloads make them, each made by FFmpeg's
// own command and judged from outside: the frame's shape, where the picture and its marker
// lie, the field order and combing (ffprobe, idet), the sound tracks, the length, and the
// languages a player offers (libdvdnav).
TEST_F(TitlesTest, MoviesAsPeopleHaveThem)
{
    struct Warnings : Recorder {
        std::vector<std::string> said;
        void warning(const std::string& text) override { said.push_back(text); }
    };
    for (const PeopleMovie& c : peopleMovies()) {
        SCOPED_TRACE(c.movie);
        if (!c.make.empty()) {
            ASSERT_EQ(run(c.make + " && echo MADE"), "MADE\n");
        }
        const TitleInfo info = ProbeTitle((dir / c.movie).string(), c.system, 0);
        const fs::path out = dir / ("title-" + c.movie + ".mpg");
        Warnings progress;
        EncodeTitles({{info, out.string()}}, PlanBitrate({info}, kSingleLayerBytes, 0), c.system, 1,
                     progress);
        const bool pal = c.system == DiscSystem::Pal;
        const int height = pal ? 576 : 480;
        auto video = probe(out, "v");
        EXPECT_EQ(video["width"] + "x" + video["height"], pal ? "720x576" : "720x480");
        EXPECT_EQ(video["r_frame_rate"], pal ? "25/1" : "30000/1001");
        EXPECT_EQ(video["display_aspect_ratio"], c.aspect);
        EXPECT_LE(longestGop(out), pal ? 15 : 18);
        EXPECT_EQ(video["field_order"], c.fields);
        // The length of the pictures, not of the header: a cut-off half is not padded.
        EXPECT_NEAR(std::stod(video["duration"]), c.seconds > 0 ? c.seconds : 5,
                    c.seconds > 0 ? 0.15 : 1.5);
        if (*c.warning) {
            ASSERT_FALSE(progress.said.empty());
            EXPECT_EQ(progress.said[0].find("title 1: "), 0u) << progress.said[0];
            EXPECT_NE(progress.said[0].find(c.warning), std::string::npos) << progress.said[0];
        } else {
            EXPECT_TRUE(progress.said.empty()) << progress.said.front();
        }
        if (c.shape > 0) {
            // The picture's own shape, upright and centred, its marker where FFmpeg shows it.
            const Placement title = placementOf(greyPicture(out, 1, 720, height), 720, height);
            const Placement source = placementOf(greyPicture(dir / c.movie, 1, 64, 64), 64, 64);
            const double pixelShape = (c.aspect[1] == '6' ? 16.0 / 9 : 4.0 / 3) * height / 720;
            const double shape =
                (title.right - title.left + 1.0) / (title.bottom - title.top + 1.0) * pixelShape;
            EXPECT_NEAR(shape / c.shape, 1.0, 0.03) << shape;
            EXPECT_NEAR(title.left, 719 - title.right, 4);
            EXPECT_NEAR(title.top, height - 1 - title.bottom, 4);
            EXPECT_NEAR(title.markX, source.markX, 0.08);
            EXPECT_NEAR(title.markY, source.markY, 0.08);
        }
        if (c.fields[0] != 'p' || c.movie == "broadcast.mpg") {
            // idet sees combing where the fields were kept apart, none where they were woven.
            const std::string idet = run("ffmpeg -i " + ShellQuoted(out.string()) +
                                         " -vf idet -an -f null - 2>&1 | grep 'Multi frame'");
            const auto count = [&](const char* key) {
                const auto at = idet.find(key);
                return at == std::string::npos ? -1 : std::stoi(idet.substr(at + std::strlen(key)));
            };
            const int kept = count("TFF:"), woven = count("Progressive:");
            EXPECT_GT(c.fields[0] == 't' ? kept : woven, 35) << idet;
        }
        if (!c.langs.empty()) {
            EXPECT_EQ(playerLanguages(info, out), c.langs);
        }
    }
}

} // namespace
