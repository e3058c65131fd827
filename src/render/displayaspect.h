#pragma once

#include "document/menudocument.h"

// A disc frame's pixels are not square: a 720 x 576 frame fills a 4:3 screen 768 pixels
// wide. These give the square-pixel canvas a menu is laid out on for its aspect, with
// the generic pixel aspect ratios that software players show.

struct PixelAspect {
    int num = 1;
    int den = 1;
};

// The pixel aspect ratio of a frame of `width` x `height` shown at `aspect`; 1:1 for
// "pixels" and for frame sizes that are not disc sizes.
PixelAspect FramePixelAspect(int width, int height, MenuAspect aspect);

// R(width x pixel aspect): the display canvas width (768 or 1024 for 720 x 576).
int DisplayWidth(int width, int height, MenuAspect aspect);
