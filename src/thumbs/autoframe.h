#pragma once

#include "base/picture.h"

#include <cstdint>
#include <functional>
#include <string>

// How a frame looks on a small grey copy: what tells a black, flat or blurred frame
// from one worth showing as a thumbnail.
struct FrameLook {
    double brightness = 0; // mean grey level, 0..255
    double spread = 0;     // standard deviation of the grey levels
    double sharpness = 0;  // mean absolute Laplacian of the grey copy
    bool acceptable = false;
    double score = 0; // higher is better; any acceptable frame beats every other
};

FrameLook MeasureFrameLook(const Picture& frame);

struct AutoFrame {
    std::int32_t frame = 0; // the frame number to store (menuframeN)
    Picture picture;        // that frame at the movie's size
    FrameLook look;
};

// Picks a representative frame of a movie: frames sampled evenly between 5 % and 95 % of
// its length, black, flat and blurred ones rejected, the best of the rest taken. A movie
// with no acceptable frame still gives its best one. Looks at keyframes where the
// container can seek to them, so that long movies take well under a second. The work is
// counted in decoded pictures, never in time: the same movie gives the same frame on any
// machine. Throws MediaError when the movie cannot be opened or decoded, or a look at it
// takes longer than the decoder's time limit (a hostile file).
AutoFrame ChooseMovieFrame(const std::string& path);
// The same, calling `betweenLooks` before each look at the movie (progress, or a test
// that slows the choice down; its time changes nothing).
AutoFrame ChooseMovieFrame(const std::string& path, const std::function<void()>& betweenLooks);
