#pragma once

#include <cstdint>
#include <string>

// The whole number of frames that makes one second of a movie with `framesPerSecond`
// (29.97 counts 30, as non-drop time codes do); at least 1.
int FramesPerSecond(double framesPerSecond);

// Frame `frame` as the time code h:mm:ss.ff, the frames counted in whole seconds of
// `perSecond` frames.
std::string FrameTimeCode(std::int64_t frame, int perSecond);
