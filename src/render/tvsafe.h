#pragma once

#include "imageio/picture.h"

// "TV-safe output": every channel brought into the broadcast range 16..235 (scaled, so
// that shades stay apart), then a 1-2-1 vertical low-pass, (above + 2 x row + below + 2) / 4
// with the edge rows repeated, against the flicker of fine horizontal detail on an
// interlaced screen. Works in place.
void MakeTvSafe(Picture& picture);
