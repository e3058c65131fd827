#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The whole number of frames that makes one second of a movie with `framesPerSecond`
// (29.97 counts 30, as non-drop time codes do); at least 1.
int FramesPerSecond(double framesPerSecond);

// Frame `frame` as the time code h:mm:ss.ff, the frames counted in whole seconds of
// `perSecond` frames.
std::string FrameTimeCode(std::int64_t frame, int perSecond);

// The frame a typed position names: a time code h:mm:ss.ff or m:ss (frames counted in
// `perSecond` as FrameTimeCode writes them), or a number of seconds ("65", "12.5",
// "12.5s") at the movie's real `framesPerSecond`. Empty when the text is neither, or
// is longer than any movie; the caller clamps to the movie's frames.
std::optional<std::int64_t> ParseFramePosition(std::string_view text, int perSecond,
                                               double framesPerSecond);
