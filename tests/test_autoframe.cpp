#include "moviemaker.h"
#include "thumbs/autoframe.h"
#include "thumbs/mediaerror.h"
#include "thumbs/mediaframe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Luma value for every pixel, neutral chroma.
void paintFlat(AVFrame* f, int width, int height, std::uint8_t luma)
{
    for (int y = 0; y < height; ++y)
        std::memset(f->data[0] + y * f->linesize[0], luma, static_cast<std::size_t>(width));
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < height / 2; ++y)
            std::memset(f->data[plane] + y * f->linesize[plane], 128,
                        static_cast<std::size_t>(width / 2));
}

// Sharp-edged shapes that move a little from frame to frame: a frame worth showing.
void paintDetail(AVFrame* f, int width, int height, int i)
{
    paintFlat(f, width, height, 110);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = 0; x < width; ++x)
            if (((x + i) / 12 + y / 12) % 2 == 0)
                row[x] = static_cast<std::uint8_t>(30 + (x * 7 + y * 3) % 200);
    }
}

class AutoFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::path(::testing::TempDir()) / ("autoframe_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

// 25 fps, 300 frames: a black first second, flat grey to frame 199, detail in 200..259,
// flat grey again at the end.
MovieSpec staged(const std::string& path, const std::string& codec)
{
    MovieSpec spec;
    spec.path = path;
    spec.codec = codec;
    spec.frames = 300;
    spec.gop = 25;
    spec.bFrames = codec == "libx264" ? 2 : 0;
    spec.paint = [w = spec.width, h = spec.height](AVFrame* f, int i) {
        if (i < 25)
            paintFlat(f, w, h, 16);
        else if (i >= 200 && i < 260)
            paintDetail(f, w, h, i);
        else
            paintFlat(f, w, h, 128);
    };
    return spec;
}

TEST_F(AutoFrameTest, ChosenFrameLiesInTheDetailedStretch)
{
    // MP4 is looked at through its keyframes, MPEG program streams frame by frame.
    for (const auto& [file, codec] :
         {std::pair{"staged.mp4", "libx264"}, std::pair{"staged.mpg", "mpeg1video"}}) {
        SCOPED_TRACE(file);
        const std::string path = (dir / file).string();
        ASSERT_EQ(MakeMovie(staged(path, codec)), "");
        const AutoFrame chosen = ChooseMovieFrame(path);
        EXPECT_GE(chosen.frame, 200);
        EXPECT_LT(chosen.frame, 260);
        EXPECT_TRUE(chosen.look.acceptable);
        // The stored number gives back the very picture that was judged.
        std::int32_t frame = chosen.frame;
        Picture again;
        std::string error;
        ASSERT_TRUE(TakeMovieFrame(path, frame, again, error)) << error;
        EXPECT_EQ(frame, chosen.frame);
        EXPECT_TRUE(again.samePixels(chosen.picture));
    }
}

TEST_F(AutoFrameTest, BlackMovieStillGivesAFrame)
{
    MovieSpec spec;
    spec.path = (dir / "black.mp4").string();
    spec.codec = "libx264";
    spec.frames = 100;
    spec.paint = [w = spec.width, h = spec.height](AVFrame* f, int) { paintFlat(f, w, h, 16); };
    ASSERT_EQ(MakeMovie(spec), "");
    const AutoFrame chosen = ChooseMovieFrame(spec.path);
    EXPECT_FALSE(chosen.look.acceptable);
    EXPECT_GE(chosen.frame, 0);
    EXPECT_LE(chosen.frame, 100);
    EXPECT_EQ(chosen.picture.width(), spec.width);
    EXPECT_EQ(chosen.picture.height(), spec.height);
}

TEST_F(AutoFrameTest, NotAMovieIsAMediaError)
{
    const std::string path = (dir / "junk.mp4").string();
    std::ofstream(path, std::ios::binary) << "not a movie at all";
    EXPECT_THROW(ChooseMovieFrame(path), MediaError);
    EXPECT_THROW(ChooseMovieFrame((dir / "missing.mp4").string()), MediaError);
}

// The choice is counted in decoded pictures, not time: a run slowed down between its
// looks (a busy machine) chooses the very frame a quick one does. One keyframe only, so
// that the exact pass over the samples decides; the detail lies late in the movie.
TEST_F(AutoFrameTest, SlowRunChoosesTheSameFrame)
{
    MovieSpec spec = staged((dir / "onekey.mp4").string(), "libx264");
    spec.gop = 300;
    ASSERT_EQ(MakeMovie(spec), "");
    const AutoFrame quick = ChooseMovieFrame(spec.path);
    int looks = 0;
    const AutoFrame slow = ChooseMovieFrame(spec.path, [&looks] {
        if (++looks == 25) // the first exact look stalls as on a machine far too busy
            std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    });
    EXPECT_GE(quick.frame, 200);
    EXPECT_LT(quick.frame, 260);
    EXPECT_EQ(slow.frame, quick.frame);
    EXPECT_TRUE(slow.picture.samePixels(quick.picture));
}

TEST(FrameLook, RejectsBlackFlatAndBlurredFrames)
{
    auto picture = [](auto value) {
        Picture p(160, 120);
        for (int y = 0; y < p.height(); ++y)
            for (int x = 0; x < p.width(); ++x) {
                const std::uint8_t v = value(x, y);
                std::uint8_t* px = p.pixel(x, y);
                px[0] = px[1] = px[2] = v;
            }
        return p;
    };
    const FrameLook black = MeasureFrameLook(picture([](int x, int) { return x % 2 ? 8 : 0; }));
    const FrameLook flat = MeasureFrameLook(picture([](int, int) { return 128; }));
    // A smooth ramp has plenty of contrast but no edge anywhere.
    const FrameLook blurred =
        MeasureFrameLook(picture([](int x, int) { return static_cast<std::uint8_t>(40 + x); }));
    const FrameLook sharp =
        MeasureFrameLook(picture([](int x, int y) { return ((x / 8 + y / 8) % 2) ? 200 : 40; }));
    // A dark frame full of detail (mean 25) is passed over like flat black, though it
    // ranks above it when a movie has nothing better; a lit one with less detail is taken.
    const FrameLook darkDetail =
        MeasureFrameLook(picture([](int x, int y) { return (x / 8 % 2 && y / 8 % 2) ? 100 : 0; }));
    const FrameLook litDetail =
        MeasureFrameLook(picture([](int x, int y) { return ((x / 8 + y / 8) % 2) ? 140 : 110; }));
    EXPECT_NEAR(darkDetail.brightness, 25, 3);
    EXPECT_FALSE(darkDetail.acceptable);
    EXPECT_GT(darkDetail.score, black.score);
    EXPECT_TRUE(litDetail.acceptable);
    EXPECT_GT(darkDetail.score, litDetail.score);
    EXPECT_FALSE(black.acceptable);
    EXPECT_FALSE(flat.acceptable);
    EXPECT_FALSE(blurred.acceptable);
    EXPECT_GT(blurred.spread, 30);
    EXPECT_TRUE(sharp.acceptable);
    EXPECT_GT(sharp.score, blurred.score);
    EXPECT_FALSE(MeasureFrameLook(Picture()).acceptable);
}

} // namespace
