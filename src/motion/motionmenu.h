#pragma once

#include "base/picture.h"
#include "disc/discxml.h"

#include <cstdint>
#include <string>
#include <vector>

// One moving thumbnail: the movie plays from `startSeconds` inside the area where the
// still shows its picture, fitted to the movie's upright display shape and centred; what
// the area leaves around it stays as the still has it.
struct MotionThumbnail {
    std::string movie;
    double startSeconds = 0; // from the movie's first picture: the frame the still shows
    // When 0 or more, the start as a frame number at the movie's frame rate instead (as
    // the still's frame is chosen).
    std::int64_t startFrame = -1;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct MotionMenuRequest {
    // The finished still (titles, captions, frames, numbers drawn), at the frame's size.
    Picture still;
    DiscFormat format;
    std::vector<MotionThumbnail> thumbnails;
    // A movie stretched over the whole frame where the still shows its background:
    // `foreground` has one byte per pixel, row by row, 255 where the still's drawing
    // covers the background, 0 where the movie shows, values between for soft edges.
    std::string backgroundMovie;
    std::vector<std::uint8_t> foreground;
    int seconds = 15;  // 5..60
    std::string music; // any sound FFmpeg reads, or a movie's; empty: silence
    // The whole encode gives up after this, naming the movie that held it up.
    int timeLimitSeconds = 600;
};

inline constexpr int kMotionMinSeconds = 5;
inline constexpr int kMotionMaxSeconds = 60;

// Writes the moving menu as a DVD menu stream to `path` (replaced only when complete):
// an MPEG program stream like the still menu's, MPEG-2 at the disc's rate in closed GOPs
// with the aspect flag, and AC-3 48 kHz stereo music (faded in and out, looped or cut to
// the length) or silence. The first picture is the still with every thumbnail at its
// start; over the last half second the thumbnails fade back toward their first pictures,
// so the menu loops without a jump. Throws Failure with the reason in words.
void EncodeMotionMenu(const MotionMenuRequest& request, const std::string& path);
