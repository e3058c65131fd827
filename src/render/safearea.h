#pragma once

#include "canvas.h"
#include "document/menudocument.h"

// The action-safe and title-safe rectangles of a frame of `width` x `height`: each a
// centred share of the frame, its margins rounded to whole pixels (720 x 576 at 90 %
// gives x 36..684, y 29..547).
struct SafeAreas {
    Rect action;
    Rect title;
};

SafeAreas ComputeSafeAreas(int width, int height, SafeAreaSet set);
