#pragma once

#include "base/picture.h"

// "TV-safe output": every pixel's saturation lowered just enough to bring it inside the
// composite gamut (its luma kept, so white, black and greys stay as they are), then a
// 1-2-1 vertical low-pass, (above + 2 x row + below + 2) / 4 with the edge rows
// repeated, against the flicker of fine horizontal detail on an interlaced screen.
// Works in place.
void MakeTvSafe(Picture& picture);
