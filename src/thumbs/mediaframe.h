#pragma once

#include "base/picture.h"

#include <cstdint>
#include <string>

// Takes one frame of a movie without any window: opens `path`, clamps `frame` into
// 0..last frame, decodes that frame (frame-exact) into `out` at the movie's own size.
// `frame` becomes the clamped frame position (0 when the movie cannot be opened).
// Returns false with `error` set ("<FFmpeg text> ($code)." style) on failure; `out`
// is then untouched; `message`, when given, gets the plain sentence for the user
// ("Cannot open movie x.mpg: it has no video track."). Never throws.
bool TakeMovieFrame(const std::string& path, std::int32_t& frame, Picture& out, std::string& error,
                    std::string* message = nullptr);
