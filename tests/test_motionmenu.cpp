#include "childrun.h"
#include "motion/motionmenu.h"
#include "testmovies.h"

#include "base/failure.h"
#include "thumbs/ffmpegptr.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Every picture of `file`'s video as RGB, in order.
void decodeFrames(const fs::path& file, const std::function<void(const Picture&)>& each)
{
    AVFormatContext* raw = nullptr;
    ASSERT_GE(avformat_open_input(&raw, file.c_str(), nullptr, nullptr), 0);
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> input(
        raw, [](AVFormatContext* p) { avformat_close_input(&p); });
    ASSERT_GE(avformat_find_stream_info(raw, nullptr), 0);
    const int stream = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    ASSERT_GE(stream, 0);
    const AVCodecParameters* par = raw->streams[stream]->codecpar;
    CodecPtr decoder(avcodec_alloc_context3(avcodec_find_decoder(par->codec_id)));
    avcodec_parameters_to_context(decoder.get(), par);
    ASSERT_GE(avcodec_open2(decoder.get(), decoder->codec, nullptr), 0);
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    SwsPtr sws;
    Picture rgb;
    for (bool more = true; more;) {
        more = av_read_frame(raw, packet.get()) >= 0;
        if (more && packet->stream_index != stream) {
            av_packet_unref(packet.get());
            continue;
        }
        avcodec_send_packet(decoder.get(), more ? packet.get() : nullptr);
        av_packet_unref(packet.get());
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            rgb.reset(frame->width, frame->height);
            sws.reset(sws_getContext(
                frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), rgb.width(),
                rgb.height(), AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr));
            std::uint8_t* target[1] = {rgb.data()};
            const int stride[1] = {static_cast<int>(rgb.stride())};
            sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, target, stride);
            each(rgb);
        }
    }
}

Picture crop(const Picture& p, const MotionThumbnail& t)
{
    Picture out(t.width, t.height);
    for (int y = 0; y < t.height; ++y)
        std::copy_n(p.pixel(t.x, t.y + y), 3 * t.width, out.row(y));
    return out;
}

// The largest mean difference of any 16 x 16 block of `a` and `b` that keeps 8 pixels
// clear of every thumbnail.
double worstStaticBlock(const Picture& a, const Picture& b, const std::vector<MotionThumbnail>& ts)
{
    double worst = 0;
    for (int by = 0; by + 16 <= a.height(); by += 16)
        for (int bx = 0; bx + 16 <= a.width(); bx += 16) {
            bool clear = true;
            for (const MotionThumbnail& t : ts)
                clear = clear && (bx + 16 + 8 <= t.x || bx >= t.x + t.width + 8 ||
                                  by + 16 + 8 <= t.y || by >= t.y + t.height + 8);
            if (!clear)
                continue;
            int sum = 0;
            for (int y = by; y < by + 16; ++y)
                for (int i = 0; i < 48; ++i)
                    sum += std::abs(a.pixel(bx, y)[i] - b.pixel(bx, y)[i]);
            worst = std::max(worst, sum / (16.0 * 48));
        }
    return worst;
}

class MotionMenuTest : public ::testing::Test {
protected:
    fs::path dir = FreshTestDir("motionmenu");

    std::string run(const std::string& command)
    {
        RunShell(command + " > " + ShellQuoted((dir / "out.txt").string()) + " 2>&1");
        return ReadWholeFile(dir / "out.txt");
    }

    MotionMenuRequest request()
    {
        MotionMenuRequest r;
        r.still = Picture(720, 576);
        for (int y = 0; y < 576; ++y) // a gradient and hard-edged bars, like a drawn menu
            for (int x = 0; x < 720; ++x) {
                std::uint8_t* p = r.still.pixel(x, y);
                const bool bar = (y / 24) % 5 == 0 && x > 40 && x < 680;
                p[0] = bar ? 250 : static_cast<std::uint8_t>(x * 200 / 720);
                p[1] = bar ? 240 : static_cast<std::uint8_t>(y * 200 / 576);
                p[2] = bar ? 30 : 120;
            }
        // One starts at a frame number, one at a time; an odd corner is trimmed to even
        // pixels.
        r.thumbnails = {{TestMoviePath("movie.mp4"), 0, 25, 61, 101, 240, 180},
                        {TestMoviePath("small.mpg"), 0, -1, 400, 300, 200, 150}};
        r.seconds = 5;
        r.music = TestMoviePath("title43.mp4");
        return r;
    }
};

// A menu of two playing thumbnails (one shorter than the menu, so it loops) and music
// from a movie's sound: the stream a DVD menu needs, the thumbnails showing their movies
// frame by frame from the chosen start, and everything else the still.
TEST_F(MotionMenuTest, ThumbnailsPlayOverTheStillWithMusic)
{
    const MotionMenuRequest r = request();
    const fs::path out = dir / "menu.mpg";
    EncodeMotionMenu(r, out.string());

    const std::string probe =
        run("ffprobe -v error -show_entries stream=codec_name,width,height,r_frame_rate,"
            "display_aspect_ratio,sample_rate,channels:format=format_name,duration -of "
            "default=nw=1 " +
            ShellQuoted(out.string()));
    for (const char* expected :
         {"codec_name=mpeg2video", "width=720", "height=576", "r_frame_rate=25/1",
          "display_aspect_ratio=4:3", "codec_name=ac3", "sample_rate=48000", "channels=2"})
        EXPECT_NE(probe.find(expected), std::string::npos) << expected << " in\n" << probe;
    const auto at = probe.find("duration=");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NEAR(std::atof(probe.c_str() + at + 9), 5.0, 0.2);
    // The music is there (looped: the movie's tone lasts three seconds).
    const std::string volume = run("ffmpeg -v info -ss 3.5 -t 1 -i " + ShellQuoted(out.string()) +
                                   " -map 0:a -af volumedetect -f null - 2>&1");
    const auto mean = volume.find("mean_volume:");
    ASSERT_NE(mean, std::string::npos) << volume;
    EXPECT_GT(std::atof(volume.c_str() + mean + 12), -40.0) << volume;

    const int fadeFrames = 12; // the last half second turns back toward the first picture
    int n = 0;
    decodeFrames(out, [&](const Picture& frame) {
        SCOPED_TRACE("menu frame " + std::to_string(n));
        EXPECT_LT(worstStaticBlock(frame, r.still, r.thumbnails), 10.0);
        if (n < 125 - fadeFrames) {
            // Both play again from their start when their movie ends.
            EXPECT_EQ(FrameIndexOf(crop(frame, r.thumbnails[0])), 25 + n % 95);
            EXPECT_EQ(FrameIndexOf(crop(frame, r.thumbnails[1])), n % 80);
        }
        ++n;
    });
    EXPECT_EQ(n, 125);
}

// A movie that is missing and music that is text: the reason in words, and the file that
// was there before left as it was.
TEST_F(MotionMenuTest, BadInputFailsAndKeepsTheOldFile)
{
    const fs::path out = dir / "menu.mpg";
    std::ofstream(out) << "old menu";
    std::ofstream(dir / "notes.txt") << "These are words, not music.\n";
    struct Case {
        std::function<void(MotionMenuRequest&)> spoil;
        const char* says;
    };
    const Case cases[] = {
        {[&](MotionMenuRequest& r) { r.thumbnails[1].movie = (dir / "gone.mp4").string(); },
         "gone.mp4: the file does not exist"},
        {[&](MotionMenuRequest& r) { r.music = (dir / "notes.txt").string(); },
         "Cannot use the menu music notes.txt: it is no sound or movie file"},
    };
    for (const Case& c : cases) {
        MotionMenuRequest r = request();
        c.spoil(r);
        try {
            EncodeMotionMenu(r, out.string());
            ADD_FAILURE() << "no failure for " << c.says;
        } catch (const Failure& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
        EXPECT_EQ(ReadWholeFile(out), "old menu");
    }
}

} // namespace
