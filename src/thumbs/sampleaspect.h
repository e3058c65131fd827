#pragma once

#include "base/picture.h"

// Frames of a movie whose sample aspect ratio is not 1:1 are shown at their display
// shape: width scaled by num / den, height kept (720 x 576 at 64:45 is 1024 x 576).

// The width a frame `width` pixels wide is shown at; `width` itself for 1:1, an unknown
// (0 or negative) ratio, or one that would make the width implausible (beyond 4 times
// either way or above `maxSide`).
int ShownFrameWidth(int width, int num, int den, int maxSide);

// Rescales `native` horizontally into `out` at `shownWidth` x the native height with
// FilteredResize (Lanczos3).
void ResizeToShownWidth(const Picture& native, Picture& out, int shownWidth);
