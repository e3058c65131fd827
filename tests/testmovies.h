#pragma once

// The movies the tests read, made once per build by maketestmovies into the build folder
// (the test_movies target), so that no test process spends its time encoding.

#include "moviemaker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct TestMovie {
    const char* file;
    MovieSpec spec; // path left empty: the file goes into the movie folder
};

inline MovieSpec TestMovieSpec(const char* codec, int bFrames, int width = 320, int height = 240,
                               int frames = 120, int gop = 60, int fps = 25, int fpsBase = 1)
{
    MovieSpec s;
    s.codec = codec;
    s.bFrames = bFrames;
    s.width = width;
    s.height = height;
    s.frames = frames;
    s.gop = gop;
    s.fps = fps;
    s.fpsBase = fpsBase;
    return s;
}

// Three seconds each, the shapes and sounds a disc's titles come in.
inline std::vector<TestMovie> TitleMovies()
{
    // 4:3 with sound that must be resampled to 48 kHz.
    TestMovie sound = {"title43.mp4", TestMovieSpec("libx264", 3, 320, 240, 75, 25)};
    sound.spec.audioChannels = 2;
    sound.spec.audioRate = 44100;
    sound.spec.audioCodec = "aac";
    // 16:9 with square pixels, and 16:9 from a 352 x 288 frame of 16:11 pixels.
    TestMovie wide = {"title169.mkv", TestMovieSpec("mpeg4", 2, 320, 180, 75, 25)};
    TestMovie anamorphic = {"title169sar.mkv", TestMovieSpec("mpeg4", 2, 352, 288, 75, 25)};
    anamorphic.spec.sarNum = 16;
    anamorphic.spec.sarDen = 11;
    // Already fit for a PAL disc: MPEG-2 720 x 576 at 25 fps, AC-3 at 48 kHz.
    TestMovie legal = {"titledvd.mpg", TestMovieSpec("mpeg2video", 2, 720, 576, 75, 12)};
    legal.spec.format = "dvd";
    legal.spec.videoBitRate = 4'000'000;
    legal.spec.sarNum = 16; // 4:3
    legal.spec.sarDen = 15;
    legal.spec.audioChannels = 2;
    legal.spec.audioCodec = "ac3";
    // Chapters of its own, and 5.1 AC-3 sound that can be kept as it is.
    TestMovie chapters = {"titlechapters.mkv", TestMovieSpec("mpeg4", 2, 320, 240, 150, 25)};
    chapters.spec.audioChannels = 6;
    chapters.spec.audioCodec = "ac3";
    chapters.spec.chapterStarts = {0, 2, 4};
    for (TestMovie* t : {&sound, &wide, &anamorphic, &legal, &chapters})
        t->spec.texture = true;
    return {sound, wide, anamorphic, legal, chapters};
}

// Paints the same textured picture into every frame, so that any frame stands for all.
inline std::function<void(AVFrame*, int)> StillTexture(MovieSpec spec)
{
    spec.texture = true;
    return [spec](AVFrame* f, int) { moviemaker_detail::fillFrame(f, spec, 0); };
}

// Phone clips, short: one filmed upright (its width not a multiple of 16), and one coded
// landscape whose display matrix has a player turn it a quarter clockwise into a portrait.
inline std::vector<TestMovie> PhoneMovies()
{
    TestMovie portrait = {"portrait.mp4", TestMovieSpec("libx264", 2, 360, 640, 20, 10)};
    portrait.spec.paint = StillTexture(portrait.spec);
    TestMovie turned = {"phone90.mp4", TestMovieSpec("libx264", 2, 1920, 1080, 6, 3)};
    turned.spec.displayRotation = 90;
    turned.spec.paint = StillTexture(turned.spec);
    return {portrait, turned};
}

inline const std::vector<TestMovie>& TestMovies()
{
    static const std::vector<TestMovie> movies = [] {
        std::vector<TestMovie> m = {
            // 320 x 240, 120 frames at 25 per second, one container each.
            {"movie.mpg", TestMovieSpec("mpeg1video", 2)},
            {"movie.avi", TestMovieSpec("mpeg4", 2)},
            {"movie.wmv", TestMovieSpec("wmv2", 0)},
            {"movie.ts", TestMovieSpec("mpeg2video", 2)},
            {"movie.m1v", TestMovieSpec("mpeg1video", 2)},
            {"movie.mp4", TestMovieSpec("libx264", 3)},
            {"movie.mkv", TestMovieSpec("mpeg4", 2)},
            // Other frame rates.
            {"rate30.mpg", TestMovieSpec("mpeg1video", 2, 160, 120, 120, 45, 30)},
            {"rate2997.mpg", TestMovieSpec("mpeg1video", 2, 160, 120, 120, 45, 30000, 1001)},
            {"rate23976.mpg", TestMovieSpec("mpeg1video", 2, 160, 120, 120, 45, 24000, 1001)},
            {"rate2997.mp4", TestMovieSpec("libx264", 3, 160, 120, 120, 45, 30000, 1001)},
            {"rate23976.mkv", TestMovieSpec("mpeg4", 2, 160, 120, 120, 45, 24000, 1001)},
            // 160 x 120, 80 frames: the editor and the headless command.
            {"small.mpg", TestMovieSpec("mpeg1video", 2, 160, 120, 80, 30)},
        };
        TestMovie red = {"smallred.mpg", TestMovieSpec("mpeg1video", 2, 160, 120, 80, 30)};
        red.spec.u = 90;
        red.spec.v = 210;
        m.push_back(red);
        for (const TestMovie& title : TitleMovies())
            m.push_back(title);
        for (const TestMovie& phone : PhoneMovies())
            m.push_back(phone);
        return m;
    }();
    return movies;
}

inline const TestMovie& TestMovieNamed(const std::string& file)
{
    for (const TestMovie& m : TestMovies())
        if (file == m.file)
            return m;
    throw std::invalid_argument("no test movie " + file);
}

// The path of one of TestMovies(); a missing file is a test failure that says why.
inline std::string TestMoviePath(const std::string& file)
{
    const std::filesystem::path path = std::filesystem::path(TAVREL_TEST_MOVIES) / file;
    if (!std::filesystem::is_regular_file(path))
        ADD_FAILURE() << "Test movie " << path.string()
                      << " is missing: build the test_movies target first.";
    return path.string();
}
