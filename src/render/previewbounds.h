#pragma once

#include <string>

// Where the preview box sits inside its panel.
struct PreviewBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int percent = 0; // width * 100 / image width, truncated

    // False when the panel leaves no room: nothing may be drawn then.
    bool visible() const { return width > 0 && height > 0; }
};

// Fits an image of imageWidth x imageHeight into a panel of panelWidth x panelHeight
// with a 5-pixel margin, keeping its shape and never enlarging it beyond 100%, and
// centres it. A panel under 11 pixels either way (or an empty image) gives an
// invisible box of size 0 at the panel's centre.
PreviewBounds ComputePreviewBounds(int panelWidth, int panelHeight, int imageWidth,
                                   int imageHeight);

// The strip text, e.g. "720 x 576 at 71% preview".
std::string PreviewScaleText(int imageWidth, int imageHeight, const PreviewBounds& bounds);
