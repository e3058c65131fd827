#pragma once

// The movies the tests read, made once per build by maketestmovies into the build folder
// (the test_movies target), so that no test process spends its time encoding.

#include "moviemaker.h"

#include <gtest/gtest.h>

#include <filesystem>
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
