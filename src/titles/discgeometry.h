#pragma once

#include "titleinfo.h"

extern "C" {
#include <libavutil/rational.h>
}

// The frame a disc of one system carries, and the shapes its titles are shown at.
struct DiscFrame {
    int width = 720;
    int height = 576;
    AVRational rate{25, 1};
    int maxGop = 15; // pictures between keyframes a player accepts
};

DiscFrame DiscFrameOf(DiscSystem system);

// The sample aspect ratio that shows the disc's frame at 16:9 or 4:3.
AVRational DiscSampleAspect(DiscSystem system, bool widescreen);

// Whether a picture of display aspect `shown` (width / height) goes out as 16:9: the
// nearer of the two shapes.
bool IsWidescreen(double shown);
